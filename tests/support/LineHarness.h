#pragma once
// A simulated line inside the test: the real CommManager talks through the simulator's in-process
// port to its line logic. Time is the test's: each Step() is one 30 ms tick.

#include "comm/CommManager.h"
#include "tests/support/SimStationSpecs.h"
#include "tools/sim/SimCommPort.h"
#include "tools/sim/SimLine.h"

#include <functional>
#include <memory>

namespace vm::test {

struct LineHarness {
    static constexpr int kTickMs = 30;

    explicit LineHarness(sim::Protocol protocol = sim::Protocol::Kx485, int retries = 3, int timeoutMs = 1000,
                         const sim::LineFaults& faults = {})
        : line(protocol, faults)
    {
        manager.SetPortFactory([this] {
            auto p = std::make_unique<sim::SimCommPort>(line, now);
            port = p.get();
            return p;
        });
        // Reply times on the test's clock, not the machine's.
        manager.SetClock([this] { return now * 1000; });
        CommSettings s;
        s.portName = "sim";
        s.protocolMode = protocol == sim::Protocol::Modbus ? kModbusRtu : kKx485;
        s.retryCount = retries;
        s.timeoutMs = timeoutMs;
        manager.Start(s);
    }

    // Stations as "ID:MODEL[:VERSION[:CAPACITY[:VOLTAGE]]]", with their data file's parameters.
    void AddStations(const std::vector<std::string>& specs) { AddSimStations(line, specs); }

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
    sim::SimCommPort* port = nullptr;
};

}  // namespace vm::test
