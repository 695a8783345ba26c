#include "PtyResponder.h"

#include "comm/CommReply.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <stdexcept>

namespace vm::test {

PtyPair::PtyPair()
{
    char name[128] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    slavePath = name;
    // The master side sees bytes exactly as written.
    termios tio{};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave, TCSANOW, &tio);
}

PtyPair::~PtyPair()
{
    if (slave >= 0)
        ::close(slave);
    if (master >= 0)
        ::close(master);
}

PtyResponder::PtyResponder(int masterFd, int protocolMode) : m_fd(masterFd), m_mode(protocolMode)
{
    if (::pipe(m_stop) != 0)
        throw std::runtime_error("pipe failed");
    m_thread = std::thread(&PtyResponder::Run, this);
}

PtyResponder::~PtyResponder()
{
    const char stop = 0;
    [[maybe_unused]] ssize_t n = ::write(m_stop[1], &stop, 1);
    m_thread.join();
    ::close(m_stop[0]);
    ::close(m_stop[1]);
}

uint16_t PtyResponder::Register(uint16_t address)
{
    std::lock_guard lock(m_mutex);
    return Value(address);
}

uint16_t PtyResponder::Value(uint16_t address)
{
    auto it = m_registers.find(address);
    return it != m_registers.end() ? it->second : static_cast<uint16_t>(address * 3);
}

void PtyResponder::Send(const std::vector<uint8_t>& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(m_fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            return;
        done += static_cast<size_t>(n);
    }
}

void PtyResponder::HandleKx485(const kx485::Request& r)
{
    std::string reply;
    {
        std::lock_guard lock(m_mutex);
        std::vector<uint16_t> words;
        switch (r.command) {
        case 'R':
            words.push_back(Value(r.address));
            break;
        case 'W':
            m_registers[r.address] = r.value;
            words.push_back(r.value);
            break;
        case 'X':
            m_registered[r.station] = r.addresses;
            break;
        case 'Y':
            for (uint16_t a : m_registered[r.station])
                words.push_back(Value(a));
            break;
        }
        reply = kx485::BuildAck(r.station, r.command, words);
    }
    Send({reply.begin(), reply.end()});
}

void PtyResponder::HandleModbus(const modbus::Request& r)
{
    std::vector<uint8_t> reply;
    {
        std::lock_guard lock(m_mutex);
        const uint16_t address = static_cast<uint16_t>(r.reg + 1);
        if (r.function == modbus::kReadInput) {
            reply = modbus::BuildReadReply(r.station, Value(address));
        } else if (r.function == modbus::kWriteSingle) {
            m_registers[address] = r.value;
            reply = modbus::BuildWriteReply(r.station, r.reg, r.value);
        } else {
            reply = modbus::BuildException(r.station, r.function, 1);
        }
    }
    Send(reply);
}

void PtyResponder::Run()
{
    kx485::FrameReceiver frames(kx485::FrameReceiver::Side::Slave);
    std::vector<uint8_t> pending;
    for (;;) {
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_stop[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents)
            return;
        if (!(fds[0].revents & POLLIN))
            continue;
        uint8_t buffer[256];
        ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n <= 0)
            continue;
        for (ssize_t i = 0; i < n; ++i) {
            if (m_mode == kKx485) {
                if (!frames.Feed(buffer[i]))
                    continue;
                if (auto r = kx485::ParseRequest(frames.Frame())) {
                    ++m_requests;
                    HandleKx485(*r);
                }
            } else {
                pending.push_back(buffer[i]);
                if (pending.size() < 8)
                    continue;
                if (auto r = modbus::ParseRequest(std::span<const uint8_t>(pending).first(8))) {
                    ++m_requests;
                    HandleModbus(*r);
                    pending.clear();
                } else {
                    pending.erase(pending.begin());
                }
            }
        }
    }
}

}  // namespace vm::test
