#include "tools/sim/SimServer.h"

#include "comm/SerialPort.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>

#include <algorithm>
#include <memory>
#include <optional>
#include <system_error>
#include <vector>

namespace vm::sim {

namespace {

int g_signalPipe = -1;

void OnSignal(int)
{
    const int saved = errno;
    if (g_signalPipe >= 0) {
        const char byte = 1;
        [[maybe_unused]] ssize_t n = ::write(g_signalPipe, &byte, 1);
    }
    errno = saved;
}

// What failed and the system's reason, with errno as the code.
Failure SystemError(const std::string& what)
{
    const int err = errno != 0 ? errno : EIO;
    return {err, what + ": " + std::strerror(err)};
}

void Drain(int fd)
{
    char buf[64];
    while (::read(fd, buf, sizeof buf) > 0) {
    }
}

// The pseudo-terminal's symlink, removed again only if it still points at our device.
class Link {
public:
    Link() = default;
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;
    ~Link() { Remove(); }

    Result<> Create(const std::string& path, const std::string& target)
    {
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode))
                return Failure{EEXIST, path + " exists and is not a symlink"};
            ::unlink(path.c_str());  // left behind by a simulator that was killed
        }
        if (::symlink(target.c_str(), path.c_str()) != 0)
            return SystemError("symlink " + path);
        path_ = path;
        target_ = target;
        return {};
    }

    void Remove()
    {
        if (path_.empty())
            return;
        char buf[4096];
        const ssize_t n = ::readlink(path_.c_str(), buf, sizeof buf - 1);
        if (n >= 0 && std::string(buf, static_cast<size_t>(n)) == target_)
            ::unlink(path_.c_str());
        path_.clear();
    }

private:
    std::string path_;
    std::string target_;
};

// The line's two ends as the loop sees them: a descriptor to poll and byte transfer.
class LineEnd {
public:
    virtual ~LineEnd() = default;
    virtual int PollFd() const = 0;
    // Everything received so far.
    virtual std::vector<uint8_t> ReadAll() = 0;
    virtual void Write(const std::vector<uint8_t>& bytes) = 0;
};

class PtyEnd final : public LineEnd {
public:
    explicit PtyEnd(Pty pty) : pty_(pty) {}
    ~PtyEnd() override { ClosePty(pty_); }
    int PollFd() const override { return pty_.master; }

    std::vector<uint8_t> ReadAll() override
    {
        std::vector<uint8_t> bytes;
        uint8_t buf[4096];
        for (;;) {
            const ssize_t n = ::read(pty_.master, buf, sizeof buf);
            if (n <= 0)
                break;
            bytes.insert(bytes.end(), buf, buf + n);
        }
        return bytes;
    }

    void Write(const std::vector<uint8_t>& bytes) override
    {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(pty_.master, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            break;  // nobody reads the line and its buffer is full: the bytes are lost, as on a wire
        }
    }

private:
    Pty pty_;
};

// A real tty through the program's own serial port (its settings, RTS handling and thread);
// its reader thread wakes the loop through a pipe.
class PortEnd final : public LineEnd, public CommErrorSink {
public:
    explicit PortEnd(std::ostream& err) : err_(err) {}
    ~PortEnd() override
    {
        port_.Close();
        for (int fd : wake_)
            if (fd >= 0)
                ::close(fd);
    }

    Result<> Open(const PortSettings& settings)
    {
        if (::pipe2(wake_, O_NONBLOCK | O_CLOEXEC) != 0)
            return SystemError("pipe");
        const int wakeWrite = wake_[1];
        auto notify = [wakeWrite] {
            const char byte = 1;
            [[maybe_unused]] ssize_t n = ::write(wakeWrite, &byte, 1);
        };
        if (!port_.Open(settings, this, notify) || !port_.Start())
            return Failure{ENODEV, "cannot open " + settings.portName};
        return {};
    }

    int PollFd() const override { return wake_[0]; }

    std::vector<uint8_t> ReadAll() override
    {
        Drain(wake_[0]);
        std::vector<uint8_t> bytes;
        for (uint8_t b; port_.ReadByte(b);)
            bytes.push_back(b);
        return bytes;
    }

    void Write(const std::vector<uint8_t>& bytes) override { port_.WriteBytes(bytes); }

    void ReportPortError(const std::string& caption, const std::string& text) override
    {
        err_ << caption << ": " << text << std::flush;
    }

private:
    std::ostream& err_;
    SerialPort port_;
    int wake_[2] = {-1, -1};
};

class SignalGuard {
public:
    SignalGuard()
    {
        if (::pipe2(pipe_, O_NONBLOCK | O_CLOEXEC) != 0)
            throw std::system_error(errno, std::generic_category(), "pipe");
        g_signalPipe = pipe_[1];
        struct sigaction action {};
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        for (int s : {SIGINT, SIGTERM, SIGHUP})
            ::sigaction(s, &action, &saved_[s]);
        ::signal(SIGPIPE, SIG_IGN);  // a closed stdout must not kill us before the link is gone
    }
    ~SignalGuard()
    {
        for (int s : {SIGINT, SIGTERM, SIGHUP})
            ::sigaction(s, &saved_[s], nullptr);
        g_signalPipe = -1;
        ::close(pipe_[0]);
        ::close(pipe_[1]);
    }
    int Fd() const { return pipe_[0]; }

private:
    int pipe_[2] = {-1, -1};
    struct sigaction saved_[NSIG] {};
};

int64_t NowUs(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start)
        .count();
}

int64_t NowMs(std::chrono::steady_clock::time_point start)
{
    return NowUs(start) / 1000;
}

}  // namespace

Result<Pty> OpenPty()
{
    Pty pty;
    pty.master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty.master < 0)
        return SystemError("posix_openpt");
    // Closes what was opened when a later step fails, keeping that step's reason.
    auto fail = [&pty](const std::string& what) {
        const Failure failure = SystemError(what);
        ClosePty(pty);
        return failure;
    };
    if (::grantpt(pty.master) != 0 || ::unlockpt(pty.master) != 0)
        return fail("unlockpt");
    char name[128];
    if (::ptsname_r(pty.master, name, sizeof name) != 0)
        return fail("ptsname");
    pty.path = name;
    pty.slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    if (pty.slave < 0 || ::tcgetattr(pty.slave, &tio) != 0)
        return fail("open " + pty.path);
    // No echo and no line editing: the line carries binary frames.
    ::cfmakeraw(&tio);
    ::tcsetattr(pty.slave, TCSANOW, &tio);
    ::fcntl(pty.master, F_SETFL, ::fcntl(pty.master, F_GETFL) | O_NONBLOCK);
    return pty;
}

void ClosePty(Pty& pty)
{
    for (int* fd : {&pty.master, &pty.slave}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

int RunSimulator(const SimOptions& options, SimLine& line, std::ostream& out, std::ostream& err)
{
    SignalGuard signals;
    std::unique_ptr<LineEnd> end;
    Link link;
    std::string device;
    if (!options.link.empty()) {
        const Result<Pty> pty = OpenPty();
        if (!pty) {
            err << "varimon-sim: " << pty.Text() << "\n";
            return 1;
        }
        end = std::make_unique<PtyEnd>(pty.Value());
        if (const Result<> linked = link.Create(options.link, pty.Value().path); !linked) {
            err << "varimon-sim: " << linked.Text() << "\n";
            return 1;
        }
        device = options.link;
    } else {
        auto port = std::make_unique<PortEnd>(err);
        PortSettings settings = options.line;
        settings.portName = options.port;
        if (const Result<> opened = port->Open(settings); !opened) {
            err << "varimon-sim: " << opened.Text() << "\n";
            return 1;
        }
        end = std::move(port);
        device = SerialPort::DevicePath(options.port);
    }

    const auto start = std::chrono::steady_clock::now();
    out << "ready " << device << std::endl;

    bool consoleOpen = true;
    std::string console;
    WireTiming timing = options.wire;
    if (options.pacing == Pacing::Line) {
        const bool modbus = options.protocol == Protocol::Modbus;
        timing.gapUs = InterFrameGapUs(options.line, modbus, options.turnaroundUs);
    }
    SimWire wire(timing);
    // The kernel may otherwise wake the poll up to 50 us late: a tenth of a fast reply's time.
    if (wire.Timed())
        ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    for (;;) {
        pollfd fds[3] = {{signals.Fd(), POLLIN, 0}, {end->PollFd(), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        // Microseconds: a reply on a fast wire is due well inside a millisecond.
        std::optional<int64_t> dueUs = wire.NextDueUs();
        if (auto due = line.NextDue())
            dueUs = std::min(dueUs.value_or(*due * 1000), *due * 1000);
        timespec wait{};
        if (dueUs) {
            const int64_t us = std::max<int64_t>(*dueUs - NowUs(start), 0);
            wait.tv_sec = static_cast<time_t>(us / 1000000);
            wait.tv_nsec = static_cast<long>(us % 1000000) * 1000;
        }
        const int ready = ::ppoll(fds, consoleOpen ? 3 : 2, dueUs ? &wait : nullptr, nullptr);
        if (ready < 0 && errno != EINTR) {
            err << "varimon-sim: " << SystemError("poll").text << "\n";
            return 1;
        }
        if (fds[0].revents & POLLIN)
            return 0;  // SIGINT, SIGTERM or SIGHUP: the link goes with us
        if (fds[1].revents & POLLIN) {
            const std::vector<uint8_t> bytes = end->ReadAll();
            wire.Requested(bytes.size(), NowUs(start));
            line.Receive(bytes, NowMs(start));
        } else if (fds[1].revents & (POLLERR | POLLHUP | POLLNVAL)) {
            err << "varimon-sim: the line is gone\n";
            return 1;
        }
        if (consoleOpen && (fds[2].revents & (POLLIN | POLLHUP | POLLERR))) {
            char buf[512];
            const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
            if (n <= 0) {
                consoleOpen = false;  // no console (e.g. /dev/null): keep serving the line
            } else {
                console.append(buf, static_cast<size_t>(n));
                for (size_t eol; (eol = console.find('\n')) != std::string::npos;) {
                    const std::string command = console.substr(0, eol);
                    console.erase(0, eol + 1);
                    if (command.find_first_not_of(" \t\r") == std::string::npos)
                        continue;
                    const SimLine::CommandResult result = line.Command(command, NowMs(start));
                    out << result.text;
                    if (timing.gapUs >= 0 && command.find("counters") != std::string::npos &&
                        result.text.starts_with("ok"))
                        out << " early " << wire.Early();
                    out << std::endl;
                    if (result.quit)
                        return 0;
                }
            }
        }
        std::vector<uint8_t> due = line.TakeDue(NowMs(start));
        if (!wire.Timed() && timing.gapUs < 0) {
            if (!due.empty())
                end->Write(due);
            continue;
        }
        if (!due.empty())
            wire.Replied(std::move(due), NowUs(start));
        if (const std::vector<uint8_t> passed = wire.TakeDue(NowUs(start)); !passed.empty())
            end->Write(passed);
    }
}

}  // namespace vm::sim
