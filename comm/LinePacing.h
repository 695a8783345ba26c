#pragma once
// When the next frame may go out. "30 ms tick": one frame per tick of the caller's timer, the
// time-out counted in ticks. "line-paced": as soon as the previous transaction has ended (reply
// complete or time-out) plus the line's gap, the time-out measured on a microsecond clock. The
// caller asks NextDueUs() when to call again, so tests drive it with an explicit clock.

#include "comm/CommPort.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace vm {

enum class Pacing { Tick, Line };

inline constexpr int kDefaultTurnaroundUs = 2000;
inline constexpr int kMaxTurnaroundUs = 1000000;

// "tick" or "line", as on the command lines.
std::optional<Pacing> ParsePacing(std::string_view text);

// Microseconds one character takes on the line: start, data, parity and stop bits.
int64_t CharacterTimeUs(const PortSettings& line);
// Modbus t3.5: three and a half character times; a fixed 1750 us above 19200 baud.
int64_t ModbusT35Us(const PortSettings& line);
// The silence kept between the end of one transaction and the next request: t3.5 in Modbus,
// then the turnaround some drives need between frames.
int64_t InterFrameGapUs(const PortSettings& line, bool modbus, int turnaroundUs);

class LinePacing {
public:
    void Configure(Pacing pacing, int64_t gapUs)
    {
        pacing_ = pacing;
        gapUs_ = gapUs;
        freeAtUs_ = 0;
        deadlineUs_ = 0;
        idle_ = false;
    }
    bool LinePaced() const { return pacing_ == Pacing::Line; }
    int64_t GapUs() const { return gapUs_; }

    void FrameSent(int64_t nowUs, int64_t timeoutUs)
    {
        deadlineUs_ = nowUs + timeoutUs;
        idle_ = false;
    }
    void TransactionEnded(int64_t nowUs)
    {
        freeAtUs_ = nowUs + gapUs_;
        idle_ = false;
    }
    // The line was free and there was nothing to send.
    void Idle() { idle_ = true; }
    // Work arrived while idle: due again at the end of the gap.
    void Wake() { idle_ = false; }
    bool TimedOut(int64_t nowUs) const { return nowUs >= deadlineUs_; }
    bool LineFree(int64_t nowUs) const { return nowUs >= freeAtUs_; }
    // When the caller should step again: the time-out while a reply is awaited, else the end
    // of the gap; -1 when idle.
    int64_t NextDueUs(bool waiting) const { return waiting ? deadlineUs_ : idle_ ? -1 : freeAtUs_; }

private:
    Pacing pacing_ = Pacing::Tick;
    int64_t gapUs_ = 0;
    int64_t freeAtUs_ = 0;
    int64_t deadlineUs_ = 0;
    bool idle_ = false;
};

}  // namespace vm
