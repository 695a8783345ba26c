#pragma once
// Monitoring a line's stations through the program's own manager for a benchmark: every station
// polled for the same addresses while the Qt event loop runs for a set time.

#include "platform/CommDriver.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <span>

namespace bench {

// Polls stations 1 to count for the addresses, every reply to client.
inline void MonitorStations(vm::CommManager& manager, vm::CommClient& client, int count,
                            std::span<const uint16_t> addresses)
{
    for (int s = 1; s <= count; ++s) {
        manager.AddListener(s, &client);
        manager.AddMonitor(s, addresses);
    }
    manager.SetPollRange(1, count);
}

// Runs the event loop for ms; the seconds it really ran.
inline double RunEventLoop(int ms)
{
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return static_cast<double>(clock.nsecsElapsed()) * 1e-9;
}

}  // namespace bench
