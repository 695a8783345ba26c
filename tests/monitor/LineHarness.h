#pragma once
// A simulated line inside the test: the real CommManager talks through a CommPort that hands
// its frames to the simulator's line logic. Time is the test's: each Step() is one 30 ms tick.

#include "comm/CommManager.h"
#include "tools/sim/SimLine.h"
#include "tools/sim/SimStations.h"

#include <deque>
#include <functional>
#include <memory>

namespace vm::test {

class SimPort : public CommPort {
public:
    SimPort(sim::SimLine& line, const int64_t& now) : line_(line), now_(now) {}
    bool Open(const PortSettings&, CommErrorSink*, std::function<void()>) override { return open_ = true; }
    bool Start() override { return open_; }
    bool WriteBytes(std::span<const uint8_t> bytes) override
    {
        rx_.clear();  // a frame going out discards what was not taken
        ++frames_;
        line_.Receive(bytes, now_);
        return true;
    }
    bool WriteText(std::string_view text) override
    {
        return WriteBytes({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
    }
    bool IsOpen() const override { return open_; }
    void Close() override { open_ = false; }
    bool ReadByte(uint8_t& byte) override
    {
        if (rx_.empty())
            return false;
        byte = rx_.front();
        rx_.pop_front();
        return true;
    }
    void Deliver()
    {
        for (uint8_t b : line_.TakeDue(now_))
            rx_.push_back(b);
    }
    uint64_t Frames() const { return frames_; }

private:
    sim::SimLine& line_;
    const int64_t& now_;
    std::deque<uint8_t> rx_;
    bool open_ = false;
    uint64_t frames_ = 0;
};

struct LineHarness {
    static constexpr int kTickMs = 30;

    explicit LineHarness(sim::Protocol protocol = sim::Protocol::Kx485, int retries = 3,
                         int timeoutMs = 1000)
        : line(protocol, sim::LineFaults{})
    {
        manager.SetPortFactory([this] {
            auto p = std::make_unique<SimPort>(line, now);
            port = p.get();
            return p;
        });
        CommSettings s;
        s.portName = "sim";
        s.protocolMode = protocol == sim::Protocol::Modbus ? kModbusRtu : kKx485;
        s.retryCount = retries;
        s.timeoutMs = timeoutMs;
        manager.Start(s);
    }

    // Stations as "ID:MODEL[:VERSION[:CAPACITY[:VOLTAGE]]]", with their data file's parameters.
    void AddStations(const std::vector<std::string>& specs)
    {
        std::vector<sim::StationSpec> parsed;
        for (const std::string& text : specs) {
            sim::StationSpec spec;
            sim::ParseStationSpec(text, spec);
            parsed.push_back(spec);
        }
        std::vector<std::string> notes;
        sim::PopulateLine(parsed, VARIMON_TEST_DATA_DIR, line, notes);
    }

    void Step(int ticks = 1)
    {
        for (int i = 0; i < ticks; ++i) {
            now += kTickMs;
            line.AdvanceTo(now);
            manager.Tick();
            port->Deliver();
            manager.PumpReceived();
        }
    }

    // Steps until the condition holds; false after maxTicks.
    bool StepUntil(const std::function<bool()>& done, int maxTicks = 20000)
    {
        for (int i = 0; i < maxTicks; ++i) {
            if (done())
                return true;
            Step();
        }
        return done();
    }

    sim::SimLine line;
    int64_t now = 0;
    CommManager manager;
    SimPort* port = nullptr;
};

}  // namespace vm::test
