// KX485, master side: a request of each command is built as the manager builds it, then the
// line's bytes go through the reply receiver and every frame it completes is judged.
// Input: command (R W X Y by the low two bits), station, address count, then the line bytes.

#include "FuzzCheck.h"

#include "comm/CommReply.h"
#include "comm/Kx485.h"

#include <array>
#include <vector>

using namespace vm;

namespace {

void CheckReply(std::span<const uint8_t> frame, const kx485::Expected& expected)
{
    const kx485::Evaluation result = kx485::Evaluate(frame, expected);
    FUZZ_CHECK(result.error >= kNoError && result.error <= kUndefinedError);
    FUZZ_CHECK(result.count >= 0 && result.count <= kx485::kMaxWords);
    if (result.error != kNoError || result.notReply) {
        FUZZ_CHECK(result.count == 0);
        if (result.error >= kIllegalFunction && result.error != kUndefinedError) {
            // A known refusal code: the frame is a NAK from the expected station.
            FUZZ_CHECK(frame[0] == kx485::kNak);
            if (frame.size() == 9 && !fuzz::HasLowerHex(frame)) {
                const std::string code{static_cast<char>(frame[4]), static_cast<char>(frame[5])};
                const std::string rebuilt = kx485::BuildNak(expected.station, expected.command, code);
                FUZZ_CHECK(fuzz::SameBytes(fuzz::Bytes(rebuilt), frame));
            }
        }
        return;
    }
    FUZZ_CHECK(frame[0] == kx485::kAck);
    if (expected.command == 'X') {
        FUZZ_CHECK(result.count == 0);
        if (frame.size() != 7)
            return;  // a registration acknowledgement carries no data; extra characters are ignored
    } else {
        FUZZ_CHECK(result.count == expected.words);
    }
    // An accepted reply is what the slave side would have built for these values.
    const std::string rebuilt = kx485::BuildAck(
        expected.station, expected.command, std::span<const uint16_t>(result.values.data(), result.count));
    if (!fuzz::HasLowerHex(frame)) {
        FUZZ_CHECK(fuzz::SameBytes(fuzz::Bytes(rebuilt), frame));
    } else {
        const kx485::Evaluation again = kx485::Evaluate(fuzz::Bytes(rebuilt), expected);
        FUZZ_CHECK(again.error == kNoError && !again.notReply && again.count == result.count);
        FUZZ_CHECK(again.values == result.values);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    static constexpr char kCommands[] = {'R', 'W', 'X', 'Y'};
    const char command = kCommands[data[0] & 3];
    const int station = data[1];
    const int count = 1 + data[2] % kx485::kMaxWords;
    std::array<uint16_t, kx485::kMaxWords> addresses{};
    for (int i = 0; i < count; ++i)
        addresses[i] = static_cast<uint16_t>(0x0100 * station + i);

    std::string text;
    kx485::Expected expected{station, command, 1};
    switch (command) {
    case 'R':
        text = kx485::BuildRead(station, addresses[0]);
        break;
    case 'W':
        text = kx485::BuildWrite(station, addresses[0], 0x1234);
        break;
    case 'X':
        text = kx485::BuildRegister(station, std::span<const uint16_t>(addresses.data(), count));
        expected.words = 0;
        break;
    default:
        text = kx485::BuildExecute(station);
        expected.words = count;  // as many words as addresses were registered
        break;
    }
    const std::string request = kx485::Frame(text);
    FUZZ_CHECK(request.size() == text.size() + 4 && request.front() == kx485::kEnq &&
               request.back() == kx485::kEot);

    kx485::FrameReceiver receiver(kx485::FrameReceiver::Side::Master);
    for (size_t i = 3; i < size; ++i) {
        const bool complete = receiver.Feed(data[i]);
        FUZZ_CHECK(complete == (data[i] == kx485::kEot));
        FUZZ_CHECK(receiver.Frame().size() <= kx485::FrameReceiver::kCapacity);
        if (complete) {
            CheckReply(receiver.Frame(), expected);
            receiver.Reset();
        }
    }
    // The line's bytes as one frame, whatever the receiver would have cut.
    CheckReply({data + 3, size - 3}, expected);
    return 0;
}
