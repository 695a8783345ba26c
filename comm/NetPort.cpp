#include "comm/NetPort.h"

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
    // One warning per failing call until that call succeeds again.
    if (worker_.FirstFailure(call) && errors_)
        errors_->ReportPortError(kPortErrorCaption, FormatPortWarning(call, text, settings_.portName));
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
    worker_.ForgetFailures();
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
    if (const Result<> pipe = worker_.Open(); !pipe) {
        Report("CreateEvent()", SystemText(pipe.Code()));
        ::close(fd);
        return false;
    }
    fd_ = fd;
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
    const Result<> started = worker_.Start({[this] { return lost_ ? -1 : fd_; },
                                            [this](short) { ReadSocket(true); }, [this] { WriteFrame(); },
                                            [this](int err) { Report("WaitCommEvent()", SystemText(err)); }});
    if (!started)
        Report("CreateThread()", SystemText(started.Code()));
    return started.Ok();
}

void NetPort::Close()
{
    worker_.Stop();
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool NetPort::WriteBytes(std::span<const uint8_t> bytes)
{
    if (!IsOpen() || lost_ || bytes.size() > kBufferSize)
        return false;
    worker_.Post(bytes, rx_);
    return true;
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
    const PortWorker::WriteEnd end = worker_.WriteAll(fd_, bytes, true);
    // A server that takes nothing for a second loses the frame, as a serial write does.
    if (end.how == PortWorker::Write::NoRoom)
        Report("GetOverlappedResults() in WriteFile()", SystemText(ETIMEDOUT));
    else if (end.how == PortWorker::Write::Failed)
        Lose("WriteFile()", end.err);
    return end.how == PortWorker::Write::Done;
}

void NetPort::WriteFrame()
{
    std::optional<PortWorker::Frame> frame = worker_.Take();
    if (!frame || lost_)
        return;
    // Whatever came in before this frame is stale; the server's negotiation is still answered.
    if (!ReadSocket(false))
        return;
    rx_.EndDiscard(frame->ticket);
    std::vector<uint8_t> wire;
    if (rfc2217_)
        Rfc2217Codec::AppendEscaped(frame->bytes, wire);
    else
        wire = std::move(frame->bytes);
    if (SendAll(wire)) {
        worker_.Cleared("WriteFile()");
        worker_.Cleared("GetOverlappedResults() in WriteFile()");
        writeDoneUs_ = SteadyMicroseconds();
    }
}

}  // namespace vm
