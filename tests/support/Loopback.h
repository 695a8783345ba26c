#pragma once
// TCP on 127.0.0.1 for tests and benchmarks that need a free port, a listener of their own or to
// know when a server has come up.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vm::test {

// A socket listening on a free port of 127.0.0.1; the port goes to *port.
inline int ListenOnLoopback(int* port, int backlog = 8)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(fd, backlog);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    *port = ntohs(a.sin_port);
    return fd;
}

// A port of 127.0.0.1 nothing listens on at the moment.
inline int FreeLoopbackPort()
{
    int port = 0;
    ::close(ListenOnLoopback(&port));
    return port;
}

// Whether something on 127.0.0.1 accepts a connection at port.
inline bool LoopbackAccepts(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

}  // namespace vm::test
