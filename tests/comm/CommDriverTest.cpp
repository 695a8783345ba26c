#include "FakePort.h"
#include "PtyResponder.h"

#include "platform/CommDriver.h"
#include "tests/support/CpuTime.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

using namespace vm;
using namespace vm::test;

namespace {

// Notes on which thread each notification arrived.
class ThreadCheckingClient : public Recorder {
public:
    void OnCommReply(int station, const CommReply& reply) override
    {
        onGuiThread = onGuiThread && QThread::currentThread() == QCoreApplication::instance()->thread();
        Recorder::OnCommReply(station, reply);
    }
    bool onGuiThread = true;
};

class CommDriverTest : public ::testing::TestWithParam<int> {};

TEST_P(CommDriverTest, timerAndByteHandOverRunTheManagerOnTheGuiThread)
{
    PtyPair pty;
    PtyResponder station(pty.master, GetParam());
    CommDriver driver;
    QSignalSpy traffic(&driver, &CommDriver::traffic);
    QSignalSpy errors(&driver, &CommDriver::portError);
    CommSettings settings;
    settings.portName = pty.slavePath;
    settings.protocolMode = GetParam();
    settings.timeoutMs = 3000;
    ASSERT_EQ(driver.Start(settings), 0);
    EXPECT_TRUE(driver.IsRunning());

    ThreadCheckingClient client;
    driver.Manager().QueueRead(3, 0x10, &client);
    driver.Manager().QueueWrite(3, 0x11, 77, &client);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return client.replies.size() >= 2 && client.replies.back().error == 0; }, 20000));
    EXPECT_EQ(client.replies.front().error, 0);
    EXPECT_EQ(client.replies.front().values[0], 0x30u);
    EXPECT_EQ(station.Register(0x11), 77);
    EXPECT_TRUE(client.onGuiThread);

    ASSERT_TRUE(QTest::qWaitFor([&] { return traffic.count() >= 4; }, 20000));
    EXPECT_EQ(traffic.at(0).at(0).toInt(), CommManager::kFrameSent);
    EXPECT_EQ(traffic.at(1).at(0).toInt(), CommManager::kReplyAccepted);
    EXPECT_EQ(errors.count(), 0);

    driver.Stop();
    EXPECT_FALSE(driver.IsRunning());
    EXPECT_FALSE(driver.Manager().IsStarted());
}

INSTANTIATE_TEST_SUITE_P(BothProtocols, CommDriverTest, ::testing::Values(kKx485, kModbusRtu),
                         [](const auto& info) { return info.param == kKx485 ? "Kx485" : "ModbusRtu"; });

TEST(CommDriver, portFailureComesOutAsAWarningSignal)
{
    CommDriver driver;
    QSignalSpy errors(&driver, &CommDriver::portError);
    CommSettings settings;
    settings.portName = "/dev/varimon-no-such-port";
    EXPECT_EQ(driver.Start(settings), 2);
    EXPECT_FALSE(driver.IsRunning());
    ASSERT_EQ(errors.count(), 1);
    EXPECT_EQ(errors.at(0).at(0).toString(), "Application Error");
    EXPECT_TRUE(errors.at(0).at(1).toString().startsWith(
        "WARNING:  CreateFile() Failed with the following error: \n"));
    EXPECT_TRUE(errors.at(0).at(1).toString().endsWith("\nPort: /dev/varimon-no-such-port\n"));
}

TEST(CommDriver, warningsFromThePortThreadArriveOnTheGuiThread)
{
    auto pty = std::make_unique<PtyPair>();
    CommDriver driver;
    QSignalSpy errors(&driver, &CommDriver::portError);
    bool onGuiThread = false;
    QObject::connect(&driver, &CommDriver::portError, [&] {
        onGuiThread = QThread::currentThread() == QCoreApplication::instance()->thread();
    });
    CommSettings settings;
    settings.portName = pty->slavePath;
    ASSERT_EQ(driver.Start(settings), 0);
    pty.reset();  // hang up under the running port
    ASSERT_TRUE(QTest::qWaitFor([&] { return errors.count() >= 1; }, 20000));
    EXPECT_TRUE(errors.at(0).at(1).toString().startsWith("WARNING:  ReadFile() Failed"));
    EXPECT_TRUE(onGuiThread);
}

using vm::test::ProcessCpuSeconds;

// A device at a fixed path that can be unplugged and plugged in again: a link to a fresh pty
// with a station answering behind it.
class Device {
public:
    explicit Device(int mode) : mode_(mode), path_(dir_.filePath("line")) {}
    bool Plug()
    {
        pty_ = std::make_unique<PtyPair>();
        station_ = std::make_unique<PtyResponder>(pty_->master, mode_);
        return QFile::link(QString::fromStdString(pty_->slavePath), path_);
    }
    void Unplug()
    {
        QFile::remove(path_);
        station_.reset();
        pty_.reset();
    }
    std::string Path() const { return path_.toStdString(); }

private:
    int mode_;
    QTemporaryDir dir_;
    QString path_;
    std::unique_ptr<PtyPair> pty_;
    std::unique_ptr<PtyResponder> station_;
};

class LostPortTest : public ::testing::TestWithParam<int> {};

TEST_P(LostPortTest, deviceThatComesBackIsReopenedAndMonitoringGoesOnQuietly)
{
    Device device(GetParam());
    ASSERT_TRUE(device.Plug());
    CommDriver driver;
    driver.SetReopenInterval(100);
    QSignalSpy errors(&driver, &CommDriver::portError);
    QSignalSpy lost(&driver, &CommDriver::portLost);
    QSignalSpy restored(&driver, &CommDriver::portRestored);
    CommSettings settings;
    settings.portName = device.Path();
    settings.protocolMode = GetParam();
    settings.timeoutMs = 3000;  // no give-up while the device is away
    ASSERT_EQ(driver.Start(settings), 0);
    CommManager& m = driver.Manager();
    Recorder client;
    const uint16_t addresses[] = {0x10, 0x11};
    m.AddListener(2, &client);
    m.SetPollRange(1, 5);
    m.AddMonitor(2, addresses);
    auto answered = [&] { return !client.monitors.empty() && client.monitors.back().error == kNoError; };
    ASSERT_TRUE(QTest::qWaitFor(answered, 20000));

    device.Unplug();
    ASSERT_TRUE(QTest::qWaitFor([&] { return lost.count() == 1; }, 20000));
    EXPECT_TRUE(driver.IsPortLost());
    EXPECT_TRUE(driver.IsRunning());
    client.monitors.clear();

    // Several reopen attempts find nothing; they neither warn nor keep the process busy.
    const double cpuBefore = ProcessCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    EXPECT_FALSE(QTest::qWaitFor([&] { return restored.count() > 0; }, 800));
    const double cpu = ProcessCpuSeconds() - cpuBefore;
    const double seconds = static_cast<double>(wall.elapsed()) / 1000.0;
    EXPECT_LT(cpu, 0.1 * seconds) << cpu << " s of CPU in " << seconds << " s";
    ::testing::Test::RecordProperty("cpuWhileAway",
                                    QString::asprintf("%.3f s in %.3f s", cpu, seconds).toStdString());
    ASSERT_EQ(errors.count(), 1);
    EXPECT_TRUE(errors.at(0).at(1).toString().startsWith("WARNING:  ReadFile() Failed"));

    ASSERT_TRUE(device.Plug());
    ASSERT_TRUE(QTest::qWaitFor([&] { return restored.count() == 1; }, 20000));
    EXPECT_FALSE(driver.IsPortLost());
    // The station's monitor survived the reopen: values come again without registering anew.
    ASSERT_TRUE(QTest::qWaitFor(answered, 20000));
    EXPECT_EQ(m.MonitorCount(2), 2);
    m.QueueRead(2, 0x12, &client);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !client.replies.empty(); }, 20000));
    EXPECT_EQ(client.replies.back().error, 0);
    EXPECT_EQ(client.replies.back().values[0], 0x36u);
    EXPECT_EQ(errors.count(), 1);
    EXPECT_EQ(lost.count(), 1);
    m.RemoveClient(&client);
    driver.Stop();
}

INSTANTIATE_TEST_SUITE_P(BothProtocols, LostPortTest, ::testing::Values(kKx485, kModbusRtu),
                         [](const auto& info) { return info.param == kKx485 ? "Kx485" : "ModbusRtu"; });

TEST(CommDriver, startOrStopByTheUserEndsTheReopening)
{
    Device device(kKx485);
    ASSERT_TRUE(device.Plug());
    CommDriver driver;
    driver.SetReopenInterval(50);
    QSignalSpy lost(&driver, &CommDriver::portLost);
    QSignalSpy restored(&driver, &CommDriver::portRestored);
    CommSettings settings;
    settings.portName = device.Path();
    ASSERT_EQ(driver.Start(settings), 0);
    device.Unplug();
    ASSERT_TRUE(QTest::qWaitFor([&] { return lost.count() == 1; }, 20000));
    driver.Stop();
    EXPECT_FALSE(driver.IsPortLost());
    ASSERT_TRUE(device.Plug());
    EXPECT_FALSE(QTest::qWaitFor([&] { return restored.count() > 0; }, 400));
    EXPECT_FALSE(driver.IsRunning());

    // A Start of the user's that fails leaves no reopening behind either.
    ASSERT_EQ(driver.Start(settings), 0);
    device.Unplug();
    ASSERT_TRUE(QTest::qWaitFor([&] { return lost.count() == 2; }, 20000));
    EXPECT_EQ(driver.Start(settings), 2);
    ASSERT_TRUE(device.Plug());
    EXPECT_FALSE(QTest::qWaitFor([&] { return restored.count() > 0; }, 400));
    EXPECT_FALSE(driver.IsPortLost());
}

}  // namespace
