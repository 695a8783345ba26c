#pragma once
// The simulated line behind the real CommDriver, the way a serial port sits behind it: the
// driver's timer runs the manager, every frame moves the line's clock on by one 30 ms tick, and
// the replies come back from another thread through an RxQueue and the driver's queued
// hand-over. "Test time" is that clock.

#include "comm/CommPort.h"
#include "comm/RxQueue.h"
#include "tests/support/SimStationSpecs.h"
#include "tools/sim/SimLine.h"

#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace vm::test {

class QueuedSimPort final : public CommPort {
public:
    static constexpr int kTickMs = 30;

    QueuedSimPort(sim::SimLine& line, int64_t& clockMs) : line_(line), clockMs_(clockMs) {}

    bool Open(const PortSettings&, CommErrorSink*, std::function<void()> onReceived) override
    {
        rx_.SetNotifier(std::move(onReceived));
        return open_ = true;
    }
    bool Start() override { return open_; }
    bool WriteBytes(std::span<const uint8_t> bytes) override
    {
        rx_.EndDiscard(rx_.BeginDiscard());
        clockMs_ += kTickMs;
        line_.Receive(bytes, clockMs_);
        line_.AdvanceTo(clockMs_);
        const std::vector<uint8_t> reply = line_.TakeDue(clockMs_);
        // In two pieces from a reader thread, as a serial port hands them over.
        const size_t half = reply.size() / 2;
        std::thread reader([this, &reply, half] {
            rx_.Push({reply.data(), half});
            rx_.Push({reply.data() + half, reply.size() - half});
        });
        reader.join();
        return open_;
    }
    bool WriteText(std::string_view text) override
    {
        return WriteBytes({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
    }
    bool IsOpen() const override { return open_; }
    void Close() override { open_ = false; }
    bool ReadByte(uint8_t& byte) override { return rx_.Pop(byte); }
    size_t ReadAll(std::vector<uint8_t>& out) override { return rx_.TakeAll(out); }

private:
    sim::SimLine& line_;
    int64_t& clockMs_;
    RxQueue rx_;
    bool open_ = false;
};

}  // namespace vm::test
