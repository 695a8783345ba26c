// The simulator's line in both protocols: bytes arrive in chunks at chosen times, console
// commands come between them, and whatever the stations answer must be whole, valid frames.
// Input: protocol (0 KX485, 1 Modbus, else both), faults (bit 0 echo, bit 1 drops and damage,
// bits 2-3 reply latency), then operations: 0xFF n <n characters> is a console command;
// any other byte b is a chunk of b & 0x3F line bytes arriving 1 ms later, or after a silence
// longer than the frame gap when bit 7 is set.

#include "FuzzCheck.h"

#include "comm/CommReply.h"
#include "comm/Kx485.h"
#include "comm/ModbusRtu.h"
#include "tools/sim/SimLine.h"

#include <string>
#include <vector>

using namespace vm;
using namespace vm::sim;

namespace {

bool IsHex(uint8_t c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

// A reply the slave side built: ACK or NAK, hex text, checksum, EOT. Returns its length.
size_t CheckKx485Reply(std::span<const uint8_t> out)
{
    size_t end = 1;
    while (end < out.size() && out[end] != kx485::kEot)
        ++end;
    FUZZ_CHECK(end < out.size());
    const std::span<const uint8_t> frame = out.first(end + 1);
    FUZZ_CHECK(frame[0] == kx485::kAck || frame[0] == kx485::kNak);
    FUZZ_CHECK(frame.size() >= 7);
    const kx485::Evaluation judged =
        kx485::Evaluate(frame, {std::stoi(std::string(frame.begin() + 1, frame.begin() + 3), nullptr, 16),
                                static_cast<char>(frame[3]), static_cast<int>((frame.size() - 7) / 4)});
    FUZZ_CHECK(judged.error != kSumError);
    for (size_t i = 1; i + 3 < frame.size(); ++i)
        FUZZ_CHECK(IsHex(frame[i]) || i == 3 || (frame[0] == kx485::kNak && i >= 4));
    return frame.size();
}

// A Modbus reply or exception with a valid CRC. Returns its length.
size_t CheckModbusReply(std::span<const uint8_t> out)
{
    FUZZ_CHECK(out.size() >= 5);
    const uint8_t function = out[1];
    size_t length = 8;  // the writes echo address and value or count
    if (function & 0x80)
        length = 5;
    else if (function == 0x03 || function == modbus::kReadInput)
        length = 5u + out[2];
    FUZZ_CHECK(out.size() >= length);
    FUZZ_CHECK(modbus::Crc16(out.first(length)) == 0);
    return length;
}

void CheckOutput(std::span<const uint8_t> out)
{
    while (!out.empty()) {
        const bool kx = out[0] == kx485::kAck || out[0] == kx485::kNak;
        out = out.subspan(kx ? CheckKx485Reply(out) : CheckModbusReply(out));
    }
}

// The console's counters answer must report what the line itself counted.
void CheckCountersAnswer(const std::string& text, const LineCounters& counters)
{
    const std::string expected =
        "ok requests " + std::to_string(counters.requests) + " replies " + std::to_string(counters.replies) +
        " dropped " + std::to_string(counters.dropped) + " corrupted " + std::to_string(counters.corrupted);
    FUZZ_CHECK(text == expected);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const Protocol protocol = data[0] == 0   ? Protocol::Kx485
                              : data[0] == 1 ? Protocol::Modbus
                                             : Protocol::Auto;
    LineFaults faults;
    faults.echo = data[1] & 1;
    if (data[1] & 2) {
        faults.dropRate = 0.2;
        faults.corruptRate = 0.2;
    }
    faults.delayMs = 10 * ((data[1] >> 2) & 3);
    const bool checked = !faults.echo && faults.dropRate == 0;

    SimLine line(protocol, faults);
    FUZZ_CHECK(line.AddStation({1, 10, 0x0015, 1, 1}, {{0xA110, 0, 100, 40, true, false, false},
                                                       {0xA111, -100, 100, 0, true, true, true}}));
    FUZZ_CHECK(line.AddStation({5, 4, 0x0105, 4, 1}, {}));
    FUZZ_CHECK(line.AddStation({7, 5, 0x0210, 3, 0}, {{0xA201, 0, 0xFFFF, 5, true, false, false}}));
    FUZZ_CHECK(!line.AddStation({5, 4, 0x0105, 4, 1}, {}));

    int64_t now = 0;
    size_t at = 2;
    while (at < size) {
        const uint8_t op = data[at++];
        if (op == 0xFF) {
            size_t n = 0;
            if (at < size) {
                n = data[at++];
                n = std::min(n, size - at);
            }
            const std::string command(reinterpret_cast<const char*>(data + at), n);
            at += n;
            const SimLine::CommandResult result = line.Command(command, now);
            if (result.text.rfind("ok requests ", 0) == 0)
                CheckCountersAnswer(result.text, line.Counters());
            else
                FUZZ_CHECK(result.text == "ok" || result.text.rfind("error: ", 0) == 0);
            continue;
        }
        const size_t n = std::min<size_t>(op & 0x3F, size - at);
        now += (op & 0x80) ? SimLine::kFrameGapMs + 1 : 1;
        line.Receive({data + at, n}, now);
        at += n;
        const std::vector<uint8_t> out = line.TakeDue(now + faults.delayMs);
        FUZZ_CHECK(!line.NextDue());  // nothing is scheduled later than the reply latency
        if (checked)
            CheckOutput(out);
    }
    const LineCounters& counters = line.Counters();
    FUZZ_CHECK(counters.replies + counters.dropped <= counters.requests);
    FUZZ_CHECK(counters.corrupted <= counters.replies);
    return 0;
}
