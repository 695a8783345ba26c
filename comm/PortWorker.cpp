#include "comm/PortWorker.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace vm {

Result<> PortWorker::Open()
{
    Stop();
    int wake[2];
    if (::pipe2(wake, O_NONBLOCK | O_CLOEXEC) != 0)
        return Failure{errno, std::strerror(errno)};
    wakeRead_ = wake[0];
    wakeWrite_ = wake[1];
    return {};
}

Result<> PortWorker::Start(Hooks hooks)
{
    if (thread_.joinable())
        return {};
    shutdown_ = false;
    try {
        thread_ = std::thread([this, hooks = std::move(hooks)] { Run(hooks); });
    } catch (const std::system_error& e) {
        return Failure{e.code().value(), e.what()};
    }
    return {};
}

void PortWorker::Stop()
{
    if (thread_.joinable()) {
        shutdown_ = true;
        Wake();
        thread_.join();
    }
    for (int* fd : {&wakeRead_, &wakeWrite_}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
    std::lock_guard lock(txMutex_);
    tx_.clear();
    txPending_ = false;
}

void PortWorker::Post(std::span<const uint8_t> bytes, RxQueue& rx)
{
    {
        std::lock_guard lock(txMutex_);
        tx_.assign(bytes.begin(), bytes.end());
        txPending_ = true;
        txTicket_ = rx.BeginDiscard();
    }
    Wake();
}

std::optional<PortWorker::Frame> PortWorker::Take()
{
    std::lock_guard lock(txMutex_);
    if (!txPending_)
        return std::nullopt;
    txPending_ = false;
    return Frame{std::move(tx_), txTicket_};
}

PortWorker::WriteEnd PortWorker::WriteAll(int fd, std::span<const uint8_t> bytes, bool socket) const
{
    size_t done = 0;
    while (done < bytes.size()) {
        if (Stopping())
            return {Write::Stopped};
        const uint8_t* at = bytes.data() + done;
        const size_t left = bytes.size() - done;
        const ssize_t n = socket ? ::send(fd, at, left, MSG_NOSIGNAL) : ::write(fd, at, left);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd out{fd, POLLOUT, 0};
            if (::poll(&out, 1, 1000) == 0)
                return {Write::NoRoom};
            continue;
        }
        return {Write::Failed, n < 0 ? errno : EIO};
    }
    return {Write::Done};
}

bool PortWorker::FirstFailure(const char* call)
{
    std::lock_guard lock(reportMutex_);
    return failing_.insert(call).second;
}

void PortWorker::Cleared(const char* call)
{
    std::lock_guard lock(reportMutex_);
    failing_.erase(call);
}

void PortWorker::ForgetFailures()
{
    std::lock_guard lock(reportMutex_);
    failing_.clear();
}

void PortWorker::Wake()
{
    const uint8_t byte = 1;
    if (wakeWrite_ >= 0) {
        [[maybe_unused]] ssize_t n = ::write(wakeWrite_, &byte, 1);
    }
}

void PortWorker::Run(const Hooks& hooks)
{
    while (!shutdown_) {
        pollfd fds[2] = {{wakeRead_, POLLIN, 0}, {hooks.deviceFd(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno != EINTR)
                hooks.pollFailed(errno);
            continue;
        }
        if (fds[0].revents & POLLIN) {
            uint8_t drain[64];
            while (::read(wakeRead_, drain, sizeof drain) > 0) {
            }
        }
        if (shutdown_)
            break;
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR))
            hooks.readable(fds[1].revents);
        hooks.afterWake();
    }
}

}  // namespace vm
