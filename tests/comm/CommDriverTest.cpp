#include "FakePort.h"
#include "PtyResponder.h"

#include "platform/CommDriver.h"

#include <QCoreApplication>
#include <QSignalSpy>
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

TEST_P(CommDriverTest, TimerAndByteHandOverRunTheManagerOnTheGuiThread)
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
    ASSERT_TRUE(QTest::qWaitFor([&] { return client.replies.size() >= 2 && client.replies.back().error == 0; },
                                20000));
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

TEST(CommDriver, PortFailureComesOutAsAWarningSignal)
{
    CommDriver driver;
    QSignalSpy errors(&driver, &CommDriver::portError);
    CommSettings settings;
    settings.portName = "/dev/varimon-no-such-port";
    EXPECT_EQ(driver.Start(settings), 2);
    EXPECT_FALSE(driver.IsRunning());
    ASSERT_EQ(errors.count(), 1);
    EXPECT_EQ(errors.at(0).at(0).toString(), "Application Error");
    EXPECT_TRUE(errors.at(0).at(1).toString().startsWith("WARNING:  CreateFile() Failed with the following error: \n"));
    EXPECT_TRUE(errors.at(0).at(1).toString().endsWith("\nPort: /dev/varimon-no-such-port\n"));
}

TEST(CommDriver, WarningsFromThePortThreadArriveOnTheGuiThread)
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

}  // namespace
