#pragma once
#include <atomic>
#include <functional>

// The I/O thread of a port: waits on its wake pipe and its device until shutdown is set.
struct WakeLoopHooks {
    std::function<int()> deviceFd;  // -1 stops watching the device
    std::function<void(short revents)> readable;
    std::function<void()> afterWake;  // runs after every wake-up, e.g. to send a queued frame
    std::function<void(int err)> pollFailed;
};

void RunWakeLoop(const std::atomic<bool>& shutdown, int wakeRead, const WakeLoopHooks& hooks);
