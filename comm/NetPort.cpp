#include "comm/NetPort.h"
#include "comm/WakeLoop.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <system_error>

namespace vm {
namespace {

std::string SystemText(int err)
{
    return std::error_code(err, std::generic_category()).message();
}

void SetOption(int fd, int level, int name, int value)
{
    ::setsockopt(fd, level, name, &value, sizeof value);
}

}  // namespace

NetPort::~NetPort()
{
    Close();
}

void NetPort::Report(const char* call, const std::string& text)
{
    {
        // One warning per failing call until that call succeeds again.
        std::lock_guard lock(reportMutex_);
        if (!failing_.insert(call).second)
            return;
    }
    if (errors_)
        errors_->ReportPortError(kPortErrorCaption, FormatPortWarning(call, text, settings_.portName));
}

void NetPort::Cleared(const char* call)
{
    std::lock_guard lock(reportMutex_);
    failing_.erase(call);
}

void NetPort::Lose(const char* call, int err)
{
    Report(call, err == 0 ? std::string("the server closed the connection") : SystemText(err));
    // After the warning, so that the owner hears of the loss after the reason for it.
    lost_ = true;
}

int NetPort::Connect(const NetAddress& address)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(address.port);
    if (const int rc = ::getaddrinfo(address.host.c_str(), service.c_str(), &hints, &found); rc != 0) {
        Report("getaddrinfo()", std::string(::gai_strerror(rc)) + " (host " + address.host + ")");
        return -1;
    }
    int lastError = ECONNREFUSED;
    int fd = -1;
    for (addrinfo* ai = found; ai && fd < 0; ai = ai->ai_next) {
        int s = ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
        if (s < 0) {
            lastError = errno;
            continue;
        }
        int rc = ::connect(s, ai->ai_addr, ai->ai_addrlen);
        if (rc != 0 && errno == EINPROGRESS) {
            pollfd p{s, POLLOUT, 0};
            rc = ::poll(&p, 1, kConnectTimeoutMs);
            if (rc == 0) {
                errno = ETIMEDOUT;
                rc = -1;
            } else if (rc > 0) {
                int soError = 0;
                socklen_t len = sizeof soError;
                ::getsockopt(s, SOL_SOCKET, SO_ERROR, &soError, &len);
                errno = soError;
                rc = soError == 0 ? 0 : -1;
            }
        }
        if (rc == 0) {
            fd = s;
        } else {
            lastError = errno;
            ::close(s);
        }
    }
    ::freeaddrinfo(found);
    if (fd < 0) {
        Report("connect()", SystemText(lastError));
        return -1;
    }
    // Frames are small and wait for their reply: no coalescing. Keep-alive notices a server that
    // vanished without closing the connection.
    SetOption(fd, IPPROTO_TCP, TCP_NODELAY, 1);
    SetOption(fd, SOL_SOCKET, SO_KEEPALIVE, 1);
    SetOption(fd, IPPROTO_TCP, TCP_KEEPIDLE, 5);
    SetOption(fd, IPPROTO_TCP, TCP_KEEPINTVL, 2);
    SetOption(fd, IPPROTO_TCP, TCP_KEEPCNT, 3);
    return fd;
}

bool NetPort::Open(const PortSettings& settings, CommErrorSink* errors, std::function<void()> onReceived)
{
    Close();
    settings_ = settings;
    errors_ = errors;
    {
        std::lock_guard lock(reportMutex_);
        failing_.clear();
    }
    rx_.SetNotifier(std::move(onReceived));
    rx_.EndDiscard(rx_.BeginDiscard());
    const Result<NetAddress> address = ParseNetAddress(settings.portName);
    if (!address) {
        Report("CreateFile()", address.Text());
        return false;
    }
    rfc2217_ = address.Value().rfc2217;
    const int fd = Connect(address.Value());
    if (fd < 0)
        return false;
    int wake[2];
    if (::pipe2(wake, O_NONBLOCK | O_CLOEXEC) != 0) {
        Report("CreateEvent()", SystemText(errno));
        ::close(fd);
        return false;
    }
    fd_ = fd;
    wakeRead_ = wake[0];
    wakeWrite_ = wake[1];
    lost_ = false;
    acknowledged_ = false;
    codec_.Reset();
    if (rfc2217_ && !SendAll(codec_.SessionStart(settings_))) {
        Close();
        return false;
    }
    return true;
}

bool NetPort::Start()
{
    if (!IsOpen())
        return false;
    if (thread_.joinable())
        return true;
    shutdown_ = false;
    try {
        thread_ = std::thread(&NetPort::Run, this);
    } catch (const std::system_error& e) {
        Report("CreateThread()", SystemText(e.code().value()));
        return false;
    }
    return true;
}

void NetPort::Close()
{
    if (thread_.joinable()) {
        shutdown_ = true;
        const uint8_t wake = 0;
        [[maybe_unused]] ssize_t n = ::write(wakeWrite_, &wake, 1);
        thread_.join();
    }
    for (int* fd : {&fd_, &wakeRead_, &wakeWrite_}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
    std::lock_guard lock(txMutex_);
    tx_.clear();
    txPending_ = false;
}

bool NetPort::WriteBytes(std::span<const uint8_t> bytes)
{
    if (!IsOpen() || lost_ || bytes.size() > kBufferSize)
        return false;
    {
        std::lock_guard lock(txMutex_);
        tx_.assign(bytes.begin(), bytes.end());
        txPending_ = true;
        txTicket_ = rx_.BeginDiscard();
    }
    const uint8_t wake = 1;
    [[maybe_unused]] ssize_t n = ::write(wakeWrite_, &wake, 1);
    return true;
}

bool NetPort::WriteText(std::string_view text)
{
    if (text.size() >= kBufferSize)
        return false;
    return WriteBytes({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
}

void NetPort::Run()
{
    RunWakeLoop(shutdown_, wakeRead_,
                {[this] { return lost_ ? -1 : fd_; }, [this](short) { ReadSocket(true); },
                 [this] { WriteFrame(); }, [this](int err) { Report("WaitCommEvent()", SystemText(err)); }});
}

bool NetPort::ReadSocket(bool keepData)
{
    uint8_t buffer[512];
    std::vector<uint8_t> data, replies;
    for (;;) {
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) {
            const std::span<const uint8_t> got(buffer, static_cast<size_t>(n));
            if (!rfc2217_) {
                data.assign(got.begin(), got.end());
            } else {
                data.clear();
                replies.clear();
                codec_.Feed(got, data, replies);
                if (!replies.empty() && !SendAll(replies))
                    return false;
                if (!codec_.Error().empty())
                    Report("Telnet negotiation", codec_.Error());
                acknowledged_ = codec_.ComPortAcknowledged();
            }
            if (keepData && !data.empty()) {
                arrivalUs_ = SteadyMicroseconds();
                rx_.Push(data);
            }
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return true;
        Lose("ReadFile()", n == 0 ? 0 : errno);
        return false;
    }
}

bool NetPort::SendAll(const std::vector<uint8_t>& bytes)
{
    size_t done = 0;
    while (done < bytes.size() && !shutdown_) {
        const ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // The server does not take data: give the frame up after a second, as a serial write.
            pollfd out{fd_, POLLOUT, 0};
            if (::poll(&out, 1, 1000) == 0) {
                Report("GetOverlappedResults() in WriteFile()", SystemText(ETIMEDOUT));
                return false;
            }
            continue;
        }
        Lose("WriteFile()", n < 0 ? errno : EIO);
        return false;
    }
    return done == bytes.size();
}

void NetPort::WriteFrame()
{
    std::vector<uint8_t> frame;
    uint64_t ticket = 0;
    {
        std::lock_guard lock(txMutex_);
        if (!txPending_)
            return;
        frame = tx_;
        ticket = txTicket_;
        txPending_ = false;
    }
    if (lost_)
        return;
    // Whatever came in before this frame is stale; the server's negotiation is still answered.
    if (!ReadSocket(false))
        return;
    rx_.EndDiscard(ticket);
    std::vector<uint8_t> wire;
    if (rfc2217_)
        Rfc2217Codec::AppendEscaped(frame, wire);
    else
        wire = std::move(frame);
    if (SendAll(wire)) {
        Cleared("WriteFile()");
        Cleared("GetOverlappedResults() in WriteFile()");
        writeDoneUs_ = SteadyMicroseconds();
    }
}

}  // namespace vm
