#pragma once
// What the serial and the network port share: the worker thread that waits on a wake pipe and
// on the device, the one-frame mailbox through which the caller hands it frames, and the rule of
// one warning per failing call.
#include "base/Result.h"
#include "comm/RxQueue.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace vm {

class PortWorker {
public:
    // Called on the worker thread.
    struct Hooks {
        std::function<int()> deviceFd;  // -1 stops watching the device
        std::function<void(short revents)> readable;
        std::function<void()> afterWake;  // runs after every wake-up, e.g. to send a queued frame
        std::function<void(int err)> pollFailed;
    };
    struct Frame {
        std::vector<uint8_t> bytes;
        uint64_t ticket = 0;  // ends the discarding of input that came before the frame
    };

    PortWorker() = default;
    ~PortWorker() { Stop(); }
    PortWorker(const PortWorker&) = delete;
    PortWorker& operator=(const PortWorker&) = delete;

    // Makes the wake pipe; a failure's code is the errno.
    Result<> Open();
    // Starts the thread (if not running); a failure's code is the system error's.
    Result<> Start(Hooks hooks);
    // Ends the thread, closes the pipe and drops a frame not yet taken.
    void Stop();
    // True while Stop is ending the thread: long writes give up.
    bool Stopping() const { return shutdown_.load(); }

    // Caller side: replaces a frame not yet taken and wakes the worker. What rx holds, and
    // receives until the frame is taken, is stale.
    void Post(std::span<const uint8_t> bytes, RxQueue& rx);
    // Worker side: the frame waiting, if any.
    std::optional<Frame> Take();

    // Worker side: writes all of bytes to the non-blocking fd (send without SIGPIPE on a socket),
    // waiting for room up to a second at a time.
    enum class Write { Done, Stopped, NoRoom, Failed };
    struct WriteEnd {
        Write how = Write::Done;
        int err = 0;  // with Failed: the errno, EIO for a write that took nothing
    };
    WriteEnd WriteAll(int fd, std::span<const uint8_t> bytes, bool socket) const;

    // True the first time a call fails, and again only after Cleared(call). Any thread.
    bool FirstFailure(const char* call);
    void Cleared(const char* call);
    void ForgetFailures();

private:
    void Run(const Hooks& hooks);
    void Wake();

    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::thread thread_;
    std::atomic<bool> shutdown_{false};

    std::mutex txMutex_;  // guards the mailbox
    std::vector<uint8_t> tx_;
    bool txPending_ = false;
    uint64_t txTicket_ = 0;

    std::mutex reportMutex_;
    std::set<std::string> failing_;  // calls whose failure was reported and not yet cleared
};

}  // namespace vm
