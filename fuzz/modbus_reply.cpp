// Modbus-RTU, master side: a read or a write request is built, then the line's bytes go
// through the reply receiver and every reply it completes is judged. An accepted reply is
// exactly what the slave side builds for the value it carries; an exception reply is exactly the
// slave side's exception frame.
// Input: kind (bit 0 write, bit 1 expect again after each reply, bit 2 a block read of
// 1 + value % 125 registers), station, address (2), value (2), then the line bytes.

#include "FuzzCheck.h"

#include "comm/CommReply.h"
#include "comm/ModbusRtu.h"

using namespace vm;

namespace {

void CheckReply(std::span<const uint8_t> reply, const modbus::RequestFrame& request)
{
    const modbus::Evaluation result = modbus::Evaluate(reply, request);
    FUZZ_CHECK(result.error == kNoError || result.error == kFrameError || result.error == kCrcError ||
               IsModbusException(result.error));
    // The drive's refusal: exactly the exception frame the slave side builds for that code.
    if (IsModbusException(result.error)) {
        FUZZ_CHECK(modbus::IsExceptionReply(reply, request));
        FUZZ_CHECK(fuzz::SameBytes(
            modbus::BuildException(request[0], request[1], ModbusExceptionCode(result.error)), reply));
        return;
    }
    if (result.error != kNoError) {
        FUZZ_CHECK(result.value == 0);
        return;
    }
    const uint16_t reg = static_cast<uint16_t>(request[2] << 8 | request[3]);
    const int count = modbus::ReadCount(request);
    if (count > 1) {
        // A block: the station, function 4, the byte count and every register, as the slave
        // side lays them out.
        std::vector<uint8_t> rebuilt{request[0], modbus::kReadInput, static_cast<uint8_t>(2 * count)};
        for (int i = 0; i < count; ++i) {
            const uint16_t word = modbus::ReplyRegister(reply, static_cast<size_t>(i));
            rebuilt.push_back(static_cast<uint8_t>(word >> 8));
            rebuilt.push_back(static_cast<uint8_t>(word & 0xFF));
        }
        modbus::AppendCrc(rebuilt);
        FUZZ_CHECK(fuzz::SameBytes(rebuilt, reply));
        FUZZ_CHECK(result.value == modbus::ReplyRegister(reply, 0));
        return;
    }
    const std::vector<uint8_t> rebuilt = request[1] == modbus::kReadInput
                                             ? modbus::BuildReadReply(request[0], result.value)
                                             : modbus::BuildWriteReply(request[0], reg, result.value);
    FUZZ_CHECK(fuzz::SameBytes(rebuilt, reply));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 6)
        return 0;
    const bool write = data[0] & 1;
    const bool again = data[0] & 2;
    const int count = !write && (data[0] & 4)
                          ? 1 + static_cast<uint16_t>(data[4] << 8 | data[5]) % modbus::kMaxBlockRead
                          : 1;
    const int station = data[1];
    const uint16_t address = static_cast<uint16_t>(data[2] << 8 | data[3]);
    const uint16_t value = static_cast<uint16_t>(data[4] << 8 | data[5]);
    const modbus::RequestFrame request = write       ? modbus::BuildWrite(station, address, value)
                                         : count > 1 ? modbus::BuildBlockRead(station, address, count)
                                                     : modbus::BuildRead(station, address);
    const auto parsed = modbus::ParseRequest(request);
    FUZZ_CHECK(parsed && parsed->station == station && parsed->reg == static_cast<uint16_t>(address - 1));
    FUZZ_CHECK(parsed->value == (write ? value : count));

    modbus::ReplyReceiver receiver;
    FUZZ_CHECK(!receiver.Feed(0));  // nothing expected: discarded
    receiver.Expect(request);
    FUZZ_CHECK(receiver.Expected() == (write ? 8u : 5u + 2u * static_cast<size_t>(count)));
    for (size_t i = 6; i < size; ++i) {
        if (!receiver.Feed(data[i])) {
            FUZZ_CHECK(receiver.Frame().empty());
            continue;
        }
        const size_t length = receiver.Frame().size();
        FUZZ_CHECK(length == receiver.Expected() ||
                   (length == 5 && modbus::IsExceptionReply(receiver.Frame(), request)));
        FUZZ_CHECK(fuzz::SameBytes(receiver.Frame(), {data + i + 1 - length, length}));
        CheckReply(receiver.Frame(), request);
        if (again)
            receiver.Expect(request);
    }
    CheckReply({data + 6, size - 6}, request);
    return 0;
}
