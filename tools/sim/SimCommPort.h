#pragma once
// A CommPort wired straight to a simulated line, for running the real CommManager against
// simulated drives in one process on a clock of the caller's: frames go to the line at the
// clock's time, replies come back when Deliver() is called at a later time.

#include "comm/CommPort.h"
#include "tools/sim/SimLine.h"

#include <cstdint>
#include <deque>

namespace vm::sim {

class SimCommPort final : public CommPort {
public:
    SimCommPort(SimLine& line, const int64_t& clockMs) : line_(line), clockMs_(clockMs) {}

    bool Open(const PortSettings&, CommErrorSink*, std::function<void()>) override { return open_ = true; }
    bool Start() override { return open_; }
    bool WriteBytes(std::span<const uint8_t> bytes) override;
    bool IsOpen() const override { return open_; }
    void Close() override { open_ = false; }
    bool ReadByte(uint8_t& byte) override;
    // On the caller's clock: a frame goes out in no time, a reply arrives when it falls due.
    int64_t LastWriteDoneUs() const override { return writeDoneUs_; }
    int64_t LastArrivalUs() const override { return arrivalUs_; }

    // Takes what the line has sent up to the clock's time.
    void Deliver();
    uint64_t Frames() const { return frames_; }

private:
    SimLine& line_;
    const int64_t& clockMs_;
    std::deque<uint8_t> rx_;
    bool open_ = false;
    uint64_t frames_ = 0;
    int64_t writeDoneUs_ = -1;
    int64_t arrivalUs_ = -1;
};

}  // namespace vm::sim
