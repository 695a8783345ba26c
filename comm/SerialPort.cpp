#include "comm/SerialPort.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace vm {
namespace {

speed_t BaudConstant(int baud)
{
    struct Rate {
        int baud;
        speed_t speed;
    };
    static constexpr Rate kRates[] = {
        {1200, B1200},     {2400, B2400},     {4800, B4800},     {9600, B9600},       {19200, B19200},
        {38400, B38400},   {57600, B57600},   {115200, B115200}, {230400, B230400},   {460800, B460800},
        {500000, B500000}, {576000, B576000}, {921600, B921600}, {1000000, B1000000},
    };
    for (const Rate& r : kRates)
        if (r.baud == baud)
            return r.speed;
    return 0;
}

std::string SystemText(int err)
{
    return std::error_code(err, std::generic_category()).message();
}

// Errors after which the descriptor never works again: the device was hung up or removed.
bool DeviceGoneError(int err)
{
    return err == EIO || err == ENXIO || err == ENODEV;
}

}  // namespace

SerialPort::~SerialPort()
{
    Close();
}

std::string SerialPort::DevicePath(const std::string& portName)
{
    if (portName.find('/') != std::string::npos)
        return portName;
    return "/dev/" + portName;
}

void SerialPort::Report(const char* call, int err)
{
    // One warning per failing call until that call succeeds again, not one per frame.
    if (m_worker.FirstFailure(call) && m_errors)
        m_errors->ReportPortError(kPortErrorCaption,
                                  FormatPortWarning(call, SystemText(err), m_settings.portName));
}

void SerialPort::CheckLost(int err)
{
    struct stat st {};
    // Any other failure counts as a loss only when the device node itself has disappeared.
    if (DeviceGoneError(err) || ::stat(DevicePath(m_settings.portName).c_str(), &st) != 0)
        m_lost = true;
}

bool SerialPort::Open(const PortSettings& settings, CommErrorSink* errors, std::function<void()> onReceived)
{
    Close();
    m_settings = settings;
    m_errors = errors;
    m_worker.ForgetFailures();
    m_rx.SetNotifier(std::move(onReceived));
    m_rx.EndDiscard(m_rx.BeginDiscard());

    const std::string path = DevicePath(settings.portName);
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        Report("CreateFile()", errno);
        return false;
    }
    // Not shared with other programs; devices that cannot refuse other openers are used anyway.
    ::ioctl(fd, TIOCEXCL);
    if (!Configure(fd)) {
        ::close(fd);
        return false;
    }
    if (const Result<> pipe = m_worker.Open(); !pipe) {
        Report("CreateEvent()", pipe.Code());
        ::close(fd);
        return false;
    }
    // Pseudo-terminals and some adapters have no modem-control lines; RTS is then left alone.
    int lines = 0;
    m_modemControl = ::ioctl(fd, TIOCMGET, &lines) == 0;
    // Drivers that know the flag hand each received byte on at once instead of batching them;
    // others (a pty) refuse it, which costs nothing.
    serial_struct serial{};
    m_lowLatency = false;
    if (::ioctl(fd, TIOCGSERIAL, &serial) == 0) {
        serial.flags |= ASYNC_LOW_LATENCY;
        m_lowLatency = ::ioctl(fd, TIOCSSERIAL, &serial) == 0;
    }
    ::tcflush(fd, TCIOFLUSH);
    m_fd = fd;
    m_readBroken = false;
    m_lost = false;
    if (!m_settings.autoTxEnable)
        SetRts(false);
    return true;
}

std::optional<int> SerialPort::UsbLatencyTimerMs(const std::string& devicePath, const std::string& sysRoot)
{
    // A symlinked adapter (/dev/serial/by-id/...) names its tty only through the link.
    std::error_code ec;
    std::filesystem::path device = std::filesystem::canonical(devicePath, ec);
    if (ec)
        device = devicePath;
    std::ifstream in(sysRoot + "/bus/usb-serial/devices/" + device.filename().string() + "/latency_timer");
    int ms = -1;
    if (!(in >> ms) || ms < 0)
        return std::nullopt;
    return ms;
}

bool SerialPort::ApplySettings(const PortSettings& settings, termios& tio)
{
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    // With the descriptor non-blocking, VMIN 1 makes an empty read fail with EAGAIN instead of
    // returning 0, which is kept for a hang-up.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;

    switch (settings.dataBits) {
    case 5:
        tio.c_cflag |= CS5;
        break;
    case 6:
        tio.c_cflag |= CS6;
        break;
    case 7:
        tio.c_cflag |= CS7;
        break;
    case 8:
        tio.c_cflag |= CS8;
        break;
    default:
        return false;
    }
    switch (settings.parity) {
    case 0:
        break;
    case 1:
        tio.c_cflag |= PARENB | PARODD;
        break;
    case 2:
        tio.c_cflag |= PARENB;
        break;
    case 3:
        tio.c_cflag |= PARENB | PARODD | CMSPAR;
        break;
    case 4:
        tio.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        return false;
    }
    switch (settings.stopBits) {
    case 0:
        break;
    case 1:  // one and a half: the UART sends 1.5 for five data bits when asked for two
    case 2:
        tio.c_cflag |= CSTOPB;
        break;
    default:
        return false;
    }
    const speed_t speed = BaudConstant(settings.baudRate);
    if (speed == 0)
        return false;
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    return true;
}

bool SerialPort::Configure(int fd)
{
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) {
        Report("GetCommState()", errno);
        return false;
    }
    if (!ApplySettings(m_settings, tio)) {
        Report("SetCommState()", EINVAL);
        return false;
    }
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
        Report("SetCommState()", errno);
        return false;
    }
    return true;
}

bool SerialPort::Start()
{
    if (!IsOpen())
        return false;
    const Result<> started = m_worker.Start(
        {[this] { return m_readBroken ? -1 : m_fd; }, [this](short revents) { ReadAvailable(revents); },
         [this] { WriteFrame(); }, [this](int err) { Report("WaitCommEvent()", err); }});
    if (!started)
        Report("CreateThread()", started.Code());
    return started.Ok();
}

bool SerialPort::IsOpen() const
{
    return m_fd >= 0;
}

void SerialPort::Close()
{
    m_worker.Stop();
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_modemControl = false;
}

bool SerialPort::WriteBytes(std::span<const uint8_t> bytes)
{
    // A lost device is not woken for: every frame would only fail again.
    if (!IsOpen() || m_lost || bytes.size() > kBufferSize)
        return false;
    m_worker.Post(bytes, m_rx);
    return true;
}

bool SerialPort::ReadByte(uint8_t& byte)
{
    return m_rx.Pop(byte);
}

void SerialPort::ReadAvailable(short events)
{
    uint8_t buffer[256];
    for (;;) {
        ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n > 0) {
            m_arrivalUs = SteadyMicroseconds();
            m_rx.Push({buffer, static_cast<size_t>(n)});
            m_worker.Cleared("ReadFile()");
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        if (n == 0 && !(events & (POLLHUP | POLLERR)))
            return;
        // Hung up or failed: stop watching input until the next frame is written.
        const int err = n == 0 ? EIO : errno;
        Report("ReadFile()", err);
        m_readBroken = true;
        // After the warning, so that the owner hears of the loss after the reason for it.
        CheckLost(err);
        return;
    }
}

void SerialPort::SetRts(bool transmitting)
{
    if (!m_modemControl)
        return;
    int bit = TIOCM_RTS;
    const bool high = transmitting == m_settings.txActiveHigh;
    if (::ioctl(m_fd, high ? TIOCMBIS : TIOCMBIC, &bit) != 0)
        Report("EscapeCommFunction()", errno);
}

void SerialPort::WriteFrame()
{
    const std::optional<PortWorker::Frame> taken = m_worker.Take();
    // A frame queued just before the loss would only fail with a second warning.
    if (!taken || m_lost)
        return;
    // Whatever came in before this frame is stale.
    ::tcflush(m_fd, TCIFLUSH);
    m_rx.EndDiscard(taken->ticket);
    m_readBroken = false;

    const bool rts = !m_settings.autoTxEnable && m_modemControl;
    if (rts)
        SetRts(true);
    const PortWorker::WriteEnd end = m_worker.WriteAll(m_fd, taken->bytes, false);
    // A full output buffer that does not drain within a second gives the frame up.
    if (end.how == PortWorker::Write::NoRoom)
        Report("GetOverlappedResults() in WriteFile()", ETIMEDOUT);
    if (end.how == PortWorker::Write::Failed) {
        Report("WriteFile()", end.err);
        CheckLost(end.err);
    }
    if (end.how == PortWorker::Write::Done) {
        m_worker.Cleared("WriteFile()");
        m_worker.Cleared("GetOverlappedResults() in WriteFile()");
        // The transmitter may only be released once the last bit has left the UART.
        if (rts && ::tcdrain(m_fd) != 0)
            Report("GetOverlappedResults() in WriteFile()", errno);
        m_writeDoneUs = SteadyMicroseconds();
        ++m_framesWritten;
    }
    if (rts)
        SetRts(false);
}

}  // namespace vm
