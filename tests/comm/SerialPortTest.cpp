#include "FakePort.h"
#include "PtyResponder.h"

#include "comm/LinePort.h"
#include "comm/SerialPort.h"
#include "tests/support/CpuTime.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <termios.h>
#include <unistd.h>
#include <chrono>
#include <condition_variable>
#include <thread>

using namespace vm;
using namespace vm::test;
using namespace std::chrono_literals;

namespace {

// Collects port warnings, which may come from the port's thread.
class Warnings : public CommErrorSink {
public:
    void ReportPortError(const std::string& caption, const std::string& text) override
    {
        std::lock_guard lock(m_mutex);
        m_items.push_back({caption, text});
        m_cv.notify_all();
    }
    bool WaitFor(size_t count, std::chrono::milliseconds timeout = 10s)
    {
        std::unique_lock lock(m_mutex);
        return m_cv.wait_for(lock, timeout, [&] { return m_items.size() >= count; });
    }
    std::vector<std::pair<std::string, std::string>> Items()
    {
        std::lock_guard lock(m_mutex);
        return m_items;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<std::pair<std::string, std::string>> m_items;
};

// Stands in for the UI thread's event loop: woken by the port, hands bytes to the manager.
class Loop {
public:
    std::function<void()> Notifier()
    {
        return [this] {
            std::lock_guard lock(m_mutex);
            m_ready = true;
            m_cv.notify_all();
        };
    }
    // Pumps received bytes into the manager until done() holds or the deadline passes.
    bool RunUntil(CommManager& m, const std::function<bool()>& done)
    {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (!done()) {
            {
                std::unique_lock lock(m_mutex);
                if (!m_cv.wait_until(lock, deadline, [&] { return m_ready; }))
                    return done();
                m_ready = false;
            }
            m.PumpReceived();
        }
        return true;
    }
    // Waits until the port reports received bytes, without taking them.
    bool WaitForBytes()
    {
        std::unique_lock lock(m_mutex);
        return m_cv.wait_for(lock, 10s, [&] { return m_ready; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_ready = false;
};

class PtyTest : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        settings.portName = pty.slavePath;
        settings.protocolMode = GetParam();
        settings.timeoutMs = 3000;
        m.SetErrorSink(&warnings);
        m.SetReceiveNotifier(loop.Notifier());
    }
    // One transaction: a tick sends, then the reply is awaited. No further ticks, so no time-out.
    void Exchange(Recorder& client, size_t replies, size_t monitors = 0)
    {
        m.Tick();
        ASSERT_TRUE(loop.RunUntil(
            m, [&] { return client.replies.size() >= replies && client.monitors.size() >= monitors; }));
    }

    PtyPair pty;
    Warnings warnings;
    Loop loop;
    CommSettings settings;
    CommManager m;
};

TEST_P(PtyTest, readWriteAndMonitorOverAPseudoTerminal)
{
    PtyResponder station(pty.master, GetParam());
    ASSERT_EQ(m.Start(settings), 0);
    Recorder client;
    m.QueueRead(1, 5, &client);
    Exchange(client, 1);
    EXPECT_EQ(client.replies[0].error, 0);
    EXPECT_EQ(client.replies[0].values[0], 15u);

    m.QueueWrite(1, 0x20, 0xBEEF, &client);
    Exchange(client, 2);
    EXPECT_EQ(client.replies[1].error, 0);
    EXPECT_EQ(station.Register(0x20), 0xBEEF);

    const uint16_t addrs[] = {0x20, 7};
    m.AddMonitor(1, addrs);
    m.AddListener(1, &client);
    m.SetPollRange(1, 1);
    for (size_t i = 1; i <= 4; ++i)
        Exchange(client, 2, i);
    const CommReply& last = client.monitors.back();
    EXPECT_EQ(last.error, 0);
    if (GetParam() == kKx485) {
        EXPECT_EQ(last.command, 'Y');
        EXPECT_EQ(last.values[0], 0xBEEFu);
        EXPECT_EQ(last.values[1], 21u);
    } else {
        EXPECT_EQ(last.addresses[0], 7u);
        EXPECT_EQ(last.values[0], 21u);
    }
    for (const auto& w : warnings.Items())
        ADD_FAILURE() << w.second;
}

TEST_P(PtyTest, repliesAreTimedWhereThePortWroteAndReceivedThem)
{
    PtyResponder station(pty.master, GetParam());
    ASSERT_EQ(m.Start(settings), 0);
    // A manager clock far off the port's: a reply timed on it would take ten seconds.
    int64_t managerUs = 0;
    m.SetClock([&] { return managerUs += 10'000'000; });
    Recorder client;
    m.QueueRead(1, 5, &client);
    Exchange(client, 1);
    const StationHealth& h = m.Health(1);
    ASSERT_EQ(h.replies, 1u);
    const int64_t written = m.Port()->LastWriteDoneUs();
    const int64_t arrived = m.Port()->LastArrivalUs();
    ASSERT_GE(written, 0);
    EXPECT_GE(arrived, written);
    EXPECT_EQ(h.replyLastUs, arrived - written);
}

TEST_P(PtyTest, bytesReceivedBeforeAFrameAreDiscarded)
{
    PtyResponder station(pty.master, GetParam());
    ASSERT_EQ(m.Start(settings), 0);
    // Junk that would misalign a Modbus reply or pose as a KX485 one.
    const std::string junk =
        "\x06"
        "01R000082\x04\x01\x04\x02";
    ASSERT_EQ(::write(pty.master, junk.data(), junk.size()), static_cast<ssize_t>(junk.size()));
    ASSERT_TRUE(loop.WaitForBytes());
    Recorder client;
    m.QueueRead(1, 9, &client);
    Exchange(client, 1);
    EXPECT_EQ(client.replies[0].error, 0);
    EXPECT_EQ(client.replies[0].retries, 0);
    EXPECT_EQ(client.replies[0].values[0], 27u);
}

TEST_P(PtyTest, rtsDirectionControlOnADeviceWithoutModemLinesIsQuiet)
{
    PtyResponder station(pty.master, GetParam());
    settings.autoTxEnable = false;
    ASSERT_EQ(m.Start(settings), 0);
    // The manager's own port chooses a serial device for a device name.
    auto* line = dynamic_cast<LinePort*>(m.Port());
    ASSERT_NE(line, nullptr);
    auto* port = dynamic_cast<SerialPort*>(line->Inner());
    ASSERT_NE(port, nullptr);
    EXPECT_FALSE(port->HasModemControl());
    Recorder client;
    m.QueueRead(2, 1, &client);
    Exchange(client, 1);
    EXPECT_EQ(client.replies[0].error, 0);
    for (const auto& w : warnings.Items())
        ADD_FAILURE() << w.second;
}

INSTANTIATE_TEST_SUITE_P(BothProtocols, PtyTest, ::testing::Values(kKx485, kModbusRtu),
                         [](const auto& info) { return info.param == kKx485 ? "Kx485" : "ModbusRtu"; });

TEST(SerialPort, portThatCannotBeOpenedWarnsAndStartReturnsTwo)
{
    struct Case {
        std::string port;
        int baud;
        std::string call;
    };
    PtyPair pty;
    const Case cases[] = {
        {"/dev/varimon-no-such-port", 9600, "CreateFile()"},
        {"/dev/null", 9600, "GetCommState()"},
        {pty.slavePath, 12345, "SetCommState()"},
    };
    for (const Case& c : cases) {
        Warnings warnings;
        CommManager m;
        m.SetErrorSink(&warnings);
        CommSettings settings;
        settings.portName = c.port;
        settings.baudRate = c.baud;
        EXPECT_EQ(m.Start(settings), 2) << c.port;
        EXPECT_FALSE(m.IsStarted());
        auto items = warnings.Items();
        ASSERT_EQ(items.size(), 1u) << c.port;
        EXPECT_EQ(items[0].first, "Application Error");
        EXPECT_EQ(items[0].second.rfind("WARNING:  " + c.call + " Failed with the following error: \n", 0),
                  0u)
            << items[0].second;
        EXPECT_NE(items[0].second.find("\nPort: " + c.port + "\n"), std::string::npos);
    }
    EXPECT_EQ(
        FormatPortWarning("CreateFile()", "No such file or directory", "ttyS9"),
        "WARNING:  CreateFile() Failed with the following error: \nNo such file or directory\nPort: ttyS9\n");
}

TEST(SerialPort, lineSettingsMapToTermios)
{
    struct Case {
        int baud;
        int dataBits;
        int parity;
        int stopBits;
        speed_t speed;
        tcflag_t size;
        tcflag_t flags;
    };
    const Case cases[] = {
        {9600, 8, 0, 0, B9600, CS8, 0},
        {19200, 7, 1, 2, B19200, CS7, PARENB | PARODD | CSTOPB},
        {38400, 5, 3, 1, B38400, CS5, PARENB | PARODD | CMSPAR | CSTOPB},
        {1200, 6, 4, 0, B1200, CS6, PARENB | CMSPAR},
        {115200, 8, 2, 0, B115200, CS8, PARENB},
    };
    for (const Case& c : cases) {
        PortSettings s;
        s.baudRate = c.baud;
        s.dataBits = c.dataBits;
        s.parity = c.parity;
        s.stopBits = c.stopBits;
        termios tio{};
        tio.c_cflag = CRTSCTS | PARENB | CS8;
        tio.c_lflag = ICANON | ECHO;
        ASSERT_TRUE(SerialPort::ApplySettings(s, tio)) << c.baud;
        EXPECT_EQ(::cfgetospeed(&tio), c.speed) << c.baud;
        EXPECT_EQ(tio.c_cflag & CSIZE, c.size) << c.baud;
        EXPECT_EQ(tio.c_cflag & (PARENB | PARODD | CMSPAR | CSTOPB), c.flags) << c.baud;
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u);
        EXPECT_EQ(tio.c_cflag & CRTSCTS, 0u);
    }
    const PortSettings bad[] = {
        {"", 14400, 0, 8, 0}, {"", 9600, 5, 8, 0}, {"", 9600, 0, 9, 0}, {"", 9600, 0, 8, 3}};
    for (const PortSettings& s : bad) {
        termios tio{};
        EXPECT_FALSE(SerialPort::ApplySettings(s, tio));
    }

    // The speed and stop bits reach a real device (a pty keeps those, not size and parity).
    PtyPair pty;
    SerialPort port;
    PortSettings s;
    s.portName = pty.slavePath;
    s.baudRate = 19200;
    s.stopBits = 2;
    ASSERT_TRUE(port.Open(s, nullptr, nullptr));
    termios tio{};
    ASSERT_EQ(::tcgetattr(pty.slave, &tio), 0);
    EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B19200));
    EXPECT_NE(tio.c_cflag & CSTOPB, 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u);

    EXPECT_EQ(SerialPort::DevicePath("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(SerialPort::DevicePath("/dev/pts/3"), "/dev/pts/3");
}

TEST(SerialPort, writesFramesAndRefusesOversizeOnes)
{
    PtyPair pty;
    SerialPort port;
    PortSettings s;
    s.portName = pty.slavePath;
    EXPECT_FALSE(port.WriteText("01Y"));  // not open
    EXPECT_FALSE(port.Start());
    ASSERT_TRUE(port.Open(s, nullptr, nullptr));
    ASSERT_TRUE(port.Start());
    EXPECT_FALSE(port.WriteBytes(std::vector<uint8_t>(SerialPort::kBufferSize + 1)));
    EXPECT_FALSE(port.WriteText(std::string(SerialPort::kBufferSize, 'A')));
    ASSERT_TRUE(port.WriteText("hello"));
    std::string got;
    while (got.size() < 5) {
        char buffer[16];
        ssize_t n = ::read(pty.master, buffer, sizeof buffer);
        ASSERT_GT(n, 0);
        got.append(buffer, static_cast<size_t>(n));
    }
    EXPECT_EQ(got, "hello");
    port.Close();
    EXPECT_FALSE(port.IsOpen());
    // Opening again after a close works.
    ASSERT_TRUE(port.Open(s, nullptr, nullptr));
    EXPECT_TRUE(port.Start());
}

// Opens and starts port on a pseudo-terminal, then hangs its other side up and waits for the
// warning of it.
void OpenThenHangUp(SerialPort& port, PortSettings& s, Warnings& warnings)
{
    auto pty = std::make_unique<PtyPair>();
    s.portName = pty->slavePath;
    ASSERT_TRUE(port.Open(s, &warnings, nullptr));
    ASSERT_TRUE(port.Start());
    EXPECT_FALSE(port.IsLost());
    pty.reset();  // closes both ends the test held; the port's own slave fd hangs up
    ASSERT_TRUE(warnings.WaitFor(1));
}

TEST(SerialPort, hangUpOfTheOtherSideIsReportedAsAReadFailure)
{
    Warnings warnings;
    SerialPort port;
    PortSettings s;
    ASSERT_NO_FATAL_FAILURE(OpenThenHangUp(port, s, warnings));
    auto items = warnings.Items();
    EXPECT_EQ(items[0].second.rfind("WARNING:  ReadFile() Failed", 0), 0u) << items[0].second;
    port.Close();
}

using vm::test::ProcessCpuSeconds;

// Polls a flag the port sets on its own thread without telling anyone.
bool WaitUntil(const std::function<bool()>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

TEST(SerialPort, hangUpMakesThePortLostAndLeavesItsThreadIdle)
{
    Warnings warnings;
    SerialPort port;
    PortSettings s;
    ASSERT_NO_FATAL_FAILURE(OpenThenHangUp(port, s, warnings));
    ASSERT_TRUE(WaitUntil([&] { return port.IsLost(); }));
    // The manager goes on sending until it hears of the loss; those frames go nowhere.
    EXPECT_FALSE(port.WriteText("01Y"));

    const double cpuBefore = ProcessCpuSeconds();
    const auto wallBefore = std::chrono::steady_clock::now();
    // A second warning (a write to the dead device) must not come, nor may the thread spin.
    EXPECT_FALSE(warnings.WaitFor(2, 700ms));
    const double cpu = ProcessCpuSeconds() - cpuBefore;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
    EXPECT_LT(cpu, 0.1 * wall) << cpu << " s of CPU in " << wall << " s";
    RecordProperty("cpuWhileLost", std::to_string(cpu) + " s in " + std::to_string(wall) + " s");
    EXPECT_EQ(warnings.Items().size(), 1u);
    EXPECT_TRUE(port.IsOpen());

    // Opened again on a device that is there, it is no longer lost.
    PtyPair next;
    s.portName = next.slavePath;
    ASSERT_TRUE(port.Open(s, &warnings, nullptr));
    ASSERT_TRUE(port.Start());
    EXPECT_FALSE(port.IsLost());
    EXPECT_TRUE(port.WriteText("01Y"));
}

}  // namespace

namespace {

TEST(SerialPortLatency, usbLatencyTimerIsReadFromSysfsByTheDevicesName)
{
    char tmpl[] = "/tmp/varimon-sysfs-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    const std::filesystem::path root = tmpl;
    std::filesystem::create_directories(root / "bus/usb-serial/devices/ttyUSB7");
    std::ofstream(root / "bus/usb-serial/devices/ttyUSB7/latency_timer") << "16\n";
    // A symlinked adapter is found through its link.
    std::filesystem::create_directories(root / "dev");
    std::ofstream(root / "dev/ttyUSB7");
    std::filesystem::create_symlink(root / "dev/ttyUSB7", root / "dev/adapter");
    EXPECT_EQ(vm::SerialPort::UsbLatencyTimerMs("/dev/ttyUSB7", root.string()), 16);
    EXPECT_EQ(vm::SerialPort::UsbLatencyTimerMs((root / "dev/adapter").string(), root.string()), 16);
    EXPECT_FALSE(vm::SerialPort::UsbLatencyTimerMs("/dev/ttyS0", root.string()));
    std::ofstream(root / "bus/usb-serial/devices/ttyUSB7/latency_timer") << "garbage";
    EXPECT_FALSE(vm::SerialPort::UsbLatencyTimerMs("/dev/ttyUSB7", root.string()));
    std::filesystem::remove_all(root);
}

}  // namespace
