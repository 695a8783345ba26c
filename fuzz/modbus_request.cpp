// Modbus-RTU, slave side: the whole input and every 8-byte window of it go to the request
// parser. A request that parses rebuilds to the same bytes, and for the two functions the
// master sends, the slave's reply is accepted by the master's judgement.

#include "FuzzCheck.h"

#include "comm/CommReply.h"
#include "comm/ModbusRtu.h"

#include <vector>

using namespace vm;

namespace {

void CheckRequest(std::span<const uint8_t> frame)
{
    const auto request = modbus::ParseRequest(frame);
    if (!request) {
        FUZZ_CHECK(frame.size() != 8 || modbus::Crc16(frame) != 0);
        return;
    }
    FUZZ_CHECK(frame.size() == 8);
    // A frame followed by its CRC sums to a zero CRC.
    FUZZ_CHECK(modbus::Crc16(frame) == 0);
    std::vector<uint8_t> rebuilt{
        static_cast<uint8_t>(request->station),    static_cast<uint8_t>(request->function),
        static_cast<uint8_t>(request->reg >> 8),   static_cast<uint8_t>(request->reg & 0xFF),
        static_cast<uint8_t>(request->value >> 8), static_cast<uint8_t>(request->value & 0xFF)};
    modbus::AppendCrc(rebuilt);
    FUZZ_CHECK(fuzz::SameBytes(rebuilt, frame));

    const uint16_t address = static_cast<uint16_t>(request->reg + 1);
    if (request->function == modbus::kReadInput && request->value == 1) {
        const modbus::RequestFrame built = modbus::BuildRead(request->station, address);
        FUZZ_CHECK(fuzz::SameBytes(built, frame));
        const auto judged = modbus::Evaluate(modbus::BuildReadReply(request->station, 0xBEEF), built);
        FUZZ_CHECK(judged.error == kNoError && judged.value == 0xBEEF);
    } else if (request->function == modbus::kWriteSingle) {
        const modbus::RequestFrame built = modbus::BuildWrite(request->station, address, request->value);
        FUZZ_CHECK(fuzz::SameBytes(built, frame));
        const auto judged =
            modbus::Evaluate(modbus::BuildWriteReply(request->station, request->reg, request->value), built);
        FUZZ_CHECK(judged.error == kNoError && judged.value == request->value);
        const auto refused =
            modbus::Evaluate(modbus::BuildException(request->station, request->function, 2), built);
        FUZZ_CHECK(refused.error != kNoError);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CheckRequest({data, size});
    for (size_t i = 0; i + 8 <= size; ++i)
        CheckRequest({data + i, 8});
    return 0;
}
