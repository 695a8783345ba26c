// KX485, slave side: the line's bytes go through the request receiver and every frame it
// completes is parsed. A request that parses is rebuilt by the master's builders to the same
// bytes, and the slave's answer to it is accepted by the master's judgement.

#include "FuzzCheck.h"

#include "comm/CommReply.h"
#include "comm/Kx485.h"

#include <vector>

using namespace vm;

namespace {

void CheckRequest(std::span<const uint8_t> frame)
{
    int error = -1;
    const auto request = kx485::ParseRequest(frame, &error);
    if (!request) {
        FUZZ_CHECK(error == kFrameError || error == kSumError);
        return;
    }
    FUZZ_CHECK(error == kNoError);
    FUZZ_CHECK(request->station >= 0 && request->station <= 0xFF);
    std::string text;
    std::vector<uint16_t> answer;
    kx485::Expected expected{request->station, request->command, 1};
    switch (request->command) {
    case 'R':
        text = kx485::BuildRead(request->station, request->address);
        answer = {request->address};
        break;
    case 'W':
        text = kx485::BuildWrite(request->station, request->address, request->value);
        answer = {request->value};
        break;
    case 'X':
        FUZZ_CHECK(!request->addresses.empty() && request->addresses.size() <= kx485::kMaxWords);
        text = kx485::BuildRegister(request->station, request->addresses);
        expected.words = 0;
        break;
    case 'Y':
        text = kx485::BuildExecute(request->station);
        answer = {1, 2, 3};
        expected.words = 3;
        break;
    default:
        FUZZ_CHECK(!"a request with an unknown command parsed");
    }
    const std::string rebuilt = kx485::Frame(text);
    if (!fuzz::HasLowerHex(frame)) {
        FUZZ_CHECK(fuzz::SameBytes(fuzz::Bytes(rebuilt), frame));
    } else {
        int again = -1;
        const auto reparsed = kx485::ParseRequest(fuzz::Bytes(rebuilt), &again);
        FUZZ_CHECK(reparsed && again == kNoError);
        FUZZ_CHECK(reparsed->station == request->station && reparsed->command == request->command);
        FUZZ_CHECK(reparsed->address == request->address && reparsed->value == request->value);
        FUZZ_CHECK(reparsed->addresses == request->addresses);
    }

    const std::string ack = kx485::BuildAck(request->station, request->command, answer);
    const kx485::Evaluation judged = kx485::Evaluate(fuzz::Bytes(ack), expected);
    FUZZ_CHECK(judged.error == kNoError && !judged.notReply);
    FUZZ_CHECK(judged.count == static_cast<int>(request->command == 'X' ? 0 : answer.size()));
    for (size_t i = 0; i < answer.size() && request->command != 'X'; ++i)
        FUZZ_CHECK(judged.values[i] == answer[i]);
    const std::string nak = kx485::BuildNak(request->station, request->command, "IA");
    FUZZ_CHECK(kx485::Evaluate(fuzz::Bytes(nak), expected).error == kAddressRangeError);
    // The master hearing its own request (a two-wire converter's echo) ignores it.
    const kx485::Evaluation echo = kx485::Evaluate(fuzz::Bytes(rebuilt), expected);
    FUZZ_CHECK(echo.error == kNoError && echo.notReply);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    kx485::FrameReceiver receiver(kx485::FrameReceiver::Side::Slave);
    for (size_t i = 0; i < size; ++i) {
        const bool complete = receiver.Feed(data[i]);
        FUZZ_CHECK(complete == (data[i] == kx485::kEot));
        FUZZ_CHECK(receiver.Frame().size() <= kx485::FrameReceiver::kCapacity);
        if (complete) {
            CheckRequest(receiver.Frame());
            receiver.Reset();
        }
    }
    CheckRequest({data, size});
    return 0;
}
