#include "comm/WakeLoop.h"
#include <poll.h>
#include <unistd.h>
#include <cerrno>
#include <cstdint>

void RunWakeLoop(const std::atomic<bool>& shutdown, int wakeRead, const WakeLoopHooks& hooks)
{
    while (!shutdown) {
        pollfd fds[2] = {{wakeRead, POLLIN, 0}, {hooks.deviceFd(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno != EINTR)
                hooks.pollFailed(errno);
            continue;
        }
        if (fds[0].revents & POLLIN) {
            uint8_t drain[64];
            while (::read(wakeRead, drain, sizeof drain) > 0) {
            }
        }
        if (shutdown)
            break;
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR))
            hooks.readable(fds[1].revents);
        hooks.afterWake();
    }
}
