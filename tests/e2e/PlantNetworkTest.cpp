// The line behind a serial device server (ser2net serving the simulator's pty, raw and RFC 2217)
// and live data on a mosquitto broker, driven through varimonctl.
#include "PlantServers.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace vm::e2e {
namespace {

constexpr int kReopenMs = 200;
const QStringList kStation{"--protocol", "kx485", "--seed", "3", "--station", "5:QM-B20X:0014:0:200"};

class NetworkPortTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sim.Start(kStation)) << sim.Output().toStdString();
        ASSERT_TRUE(server.Start(sim.Link(), GetParam())) << server.Output().toStdString();
    }
    SimProcess sim;
    Ser2net server;
};

TEST_P(NetworkPortTest, scanMonitorAndAVerifiedDownloadWorkAsOnALocalPort)
{
    CtlResult r = RunCtlOn(server.Url(), {"scan", "4-6"});
    ASSERT_EQ(r.exitCode, 0) << Show(r);
    EXPECT_EQ(r.Lines(), QStringList{"5 QM-B20X 0.75kW-2 1.4"}) << Show(r);

    r = RunCtlOn(server.Url(), {"--raw", "--count", "5", "monitor", "5", "14", "9"});
    ASSERT_EQ(r.exitCode, 0) << Show(r);
    EXPECT_EQ(r.Lines().size(), 5) << Show(r);
    EXPECT_FALSE(r.err.contains("WARNING")) << Show(r);

    // 0xFF never appears in KX485 text, so a write of 255 shows the escaping on the data path.
    QTemporaryDir dir;
    const QString file = dir.filePath("drive.par");
    const QStringList data{"--data", VARIMON_TEST_DATA_DIR};
    r = RunCtlOn(server.Url(), data + QStringList{"upload", "5", file});
    ASSERT_EQ(r.exitCode, 0) << Show(r);
    r = RunCtlOn(server.Url(), data + QStringList{"--json", "download", "5", file, "--verify"});
    ASSERT_EQ(r.exitCode, 0) << Show(r);
    EXPECT_TRUE(r.out.contains("\"mismatches\":[]")) << Show(r);
}

TEST_P(NetworkPortTest, aServerKilledMidMonitorIsALostPortAndTheMonitorGoesOnWhenItIsBack)
{
    CtlProcess ctl;
    ctl.Start(kReopenMs,
              {"--port", server.Url(), "--timeout", "150", "--retries", "1", "--raw", "monitor", "5", "14"});
    ASSERT_TRUE(ctl.WaitUntil([&] { return ctl.Lines().size() >= 2; })) << ctl.Show();

    const int port = server.Port();
    server.Stop();
    ASSERT_TRUE(ctl.WaitUntil([&] { return ctl.err.contains("varimonctl: Port lost: " + server.Url()); }))
        << ctl.Show();
    EXPECT_TRUE(ctl.err.contains("the server closed the connection")) << ctl.Show();

    ASSERT_TRUE(server.Start(sim.Link(), GetParam(), port)) << server.Output().toStdString();
    ASSERT_TRUE(ctl.WaitUntil([&] { return ctl.err.contains("varimonctl: Port reopened: " + server.Url()); }))
        << ctl.Show();
    const qsizetype before = ctl.Lines().size();
    ASSERT_TRUE(ctl.WaitUntil([&] { return ctl.Lines().size() >= before + 3; })) << ctl.Show();
    ctl.process.terminate();
    ASSERT_TRUE(ctl.process.waitForFinished(kDeadlineMs));
    ctl.WaitUntil([] { return true; });
    EXPECT_EQ(ctl.process.exitCode(), 0) << ctl.Show();
    // One warning for the loss; the refused reconnections are quiet.
    EXPECT_EQ(ctl.err.count("WARNING:"), 1) << ctl.Show();
}

INSTANTIATE_TEST_SUITE_P(Ser2net, NetworkPortTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "rfc2217" : "raw"; });

TEST(NetworkPortErrors, aServerThatAcceptsAndNeverAnswersEndsInTimeOutsNotAHang)
{
    SilentServer silent;
    for (const char* scheme : {"tcp", "rfc2217"}) {
        const QString url = QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(silent.Port());
        const CtlResult r =
            RunCtlOn(url, {"--timeout", "100", "--retries", "1", "--net-allowance", "50", "read", "5", "14"});
        EXPECT_EQ(r.exitCode, 1) << Show(r);
        EXPECT_TRUE(r.err.contains("Timeout Error")) << Show(r);
    }
}

TEST(NetworkPortErrors, aWrongHostARefusedPortABadNameAndGarbageTelnetGetClearErrors)
{
    CtlResult r = RunCtlOn("tcp://no-such-host.invalid:4001", {"scan", "5"});
    EXPECT_EQ(r.exitCode, 3) << Show(r);
    EXPECT_TRUE(r.err.contains("getaddrinfo() Failed")) << Show(r);
    EXPECT_TRUE(r.err.contains("no-such-host.invalid")) << Show(r);

    const QString refused = QStringLiteral("rfc2217://127.0.0.1:%1").arg(FreeTcpPort());
    r = RunCtlOn(refused, {"scan", "5"});
    EXPECT_EQ(r.exitCode, 3) << Show(r);
    EXPECT_TRUE(
        r.err.contains("connect() Failed with the following error: \nConnection refused\nPort: " + refused))
        << Show(r);
    EXPECT_TRUE(r.err.contains("varimonctl: Can't open " + refused + " port")) << Show(r);

    r = RunCtlOn("tcp://127.0.0.1:99999", {"scan", "5"});
    EXPECT_EQ(r.exitCode, 2) << Show(r);
    EXPECT_TRUE(r.err.contains("the port number must be 1-65535")) << Show(r);

    // A server that refuses the COM-PORT-OPTION and sends what is not Telnet.
    ScriptedServer garbage(QByteArray("\xff\xfe\x2c\xff\x11\xff\xfa\x2c", 8) + QByteArray(100, 'x'));
    const QString url = QStringLiteral("rfc2217://127.0.0.1:%1").arg(garbage.Port());
    r = RunCtlOn(url, {"--timeout", "100", "--retries", "0", "read", "5", "14"});
    EXPECT_EQ(r.exitCode, 1) << Show(r);
    EXPECT_TRUE(
        r.err.contains("Telnet negotiation Failed with the following error: \nthe server refused the "
                       "COM-PORT-OPTION (RFC 2217); use tcp:// for a raw port\nPort: " +
                       url))
        << Show(r);
}

// --- MQTT ------------------------------------------------------------------------------------

class MqttTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sim.Start(kStation)) << sim.Output().toStdString();
        ASSERT_TRUE(broker.Start());
        ASSERT_TRUE(sub.Start(broker.Port())) << sub.Show();
    }
    QStringList Monitor(const QStringList& extra = {}) const
    {
        return QStringList{"--port", sim.Link(),        "--mqtt", broker.Url(), "--mqtt-line",
                           "hall2",  "--mqtt-interval", "100",    "--raw"} +
               extra + QStringList{"monitor", "5", "14", "9", "10", "15"};
    }
    static auto Has(const QString& head)
    {
        return [head](const QString& line) { return line.startsWith(head); };
    }

    SimProcess sim;
    Broker broker;
    Subscriber sub;
};

TEST_F(MqttTest, stateEventsAndFaultsArePublishedAndTheStateStaysRetained)
{
    CtlProcess ctl;
    ctl.Start(0, Monitor());
    ASSERT_TRUE(sub.WaitFor([](const QString& l) {
        return l.startsWith("varimon/hall2/status|") && l.endsWith("|1|online");
    })) << sub.Show();
    ASSERT_TRUE(sub.WaitFor([](const QString& l) {
        return l.startsWith(
                   "varimon/hall2/5/state|0|0|{\"id\":5,\"model\":\"QM-B20X\",\"capacity\":\"0.75kW-2\","
                   "\"deviceName\":\"\",\"online\":true,") &&
               l.contains("\"status\":\"Stop\",\"fault\":\"\",\"time\":\"20");
    })) << sub.Show();
    ASSERT_TRUE(sub.WaitFor([](const QString& l) {
        return l.startsWith("varimon/hall2/events|0|1|") && l.endsWith(" >> 5:QM-B20X Connected");
    })) << sub.Show();

    ASSERT_EQ(sim.Command("trip 5 3"), "ok");
    ASSERT_TRUE(sub.WaitFor([](const QString& l) {
        return l.startsWith("varimon/hall2/5/fault|0|1|{\"id\":5,") && !l.contains("\"fault\":\"\"");
    })) << sub.Show();
    ASSERT_TRUE(sub.WaitFor([](const QString& l) {
        return l.startsWith("varimon/hall2/events|0|1|") && l.contains(" fault occured");
    })) << sub.Show();

    // A subscriber that comes later finds the station's state and the line's status retained.
    Subscriber late;
    ASSERT_TRUE(late.Start(broker.Port()));
    EXPECT_TRUE(late.WaitFor(Has("varimon/hall2/5/state|1|0|{\"id\":5,"))) << late.Show();
    EXPECT_TRUE(late.WaitFor(Has("varimon/hall2/status|1|1|online"))) << late.Show();

    ctl.process.terminate();
    ASSERT_TRUE(ctl.process.waitForFinished(kDeadlineMs));
    ctl.WaitUntil([] { return true; });
    EXPECT_EQ(ctl.process.exitCode(), 0) << ctl.Show();
    EXPECT_TRUE(sub.WaitFor(Has("varimon/hall2/status|0|1|offline"))) << sub.Show();
    EXPECT_TRUE(ctl.err.contains(" 0 dropped, 0 waiting, connected")) << ctl.Show();
}

TEST_F(MqttTest, aPublisherThatVanishesLeavesItsWillOffline)
{
    CtlProcess ctl;
    ctl.Start(0, Monitor());
    ASSERT_TRUE(sub.WaitFor(Has("varimon/hall2/5/state|"))) << sub.Show();
    ctl.process.kill();
    ASSERT_TRUE(ctl.process.waitForFinished(kDeadlineMs));
    EXPECT_TRUE(sub.WaitFor(Has("varimon/hall2/status|0|1|offline"))) << sub.Show();
    Subscriber late;
    ASSERT_TRUE(late.Start(broker.Port()));
    EXPECT_TRUE(late.WaitFor(Has("varimon/hall2/status|1|1|offline"))) << late.Show();
}

TEST_F(MqttTest, theBrokerStoppedAndRestartedDoesNotDisturbTheLineAndPublishingResumes)
{
    CtlProcess ctl;
    ctl.Start(0, Monitor({"--stats"}));
    ASSERT_TRUE(sub.WaitFor(Has("varimon/hall2/5/state|"))) << sub.Show();
    const int port = broker.Port();
    broker.Stop();
    // The line goes on while the broker is away.
    const qsizetype before = ctl.Lines().size();
    ASSERT_TRUE(ctl.WaitUntil([&] { return ctl.Lines().size() >= before + 10; })) << ctl.Show();
    ASSERT_TRUE(ctl.WaitUntil([&] { return ctl.err.contains("not connected"); })) << ctl.Show();

    ASSERT_TRUE(broker.Start(port));
    Subscriber again;
    ASSERT_TRUE(again.Start(port));
    // The restarted broker kept nothing; the publisher sends its status and the state again.
    EXPECT_TRUE(again.WaitFor(Has("varimon/hall2/status|"))) << again.Show();
    EXPECT_TRUE(again.WaitFor(Has("varimon/hall2/5/state|"))) << again.Show();
    EXPECT_FALSE(ctl.err.contains("***")) << ctl.Show();
    ctl.process.terminate();
    ASSERT_TRUE(ctl.process.waitForFinished(kDeadlineMs));
    EXPECT_EQ(ctl.process.exitCode(), 0) << ctl.Show();
}

TEST(MqttOptionsCheck, aBadBrokerUrlIsACommandLineError)
{
    const CtlResult r = RunCtlOn("/dev/null", {"--mqtt", "http://broker", "monitor", "5", "14"});
    EXPECT_EQ(r.exitCode, 2) << Show(r);
    EXPECT_TRUE(r.err.contains("not an MQTT URL (use mqtt://")) << Show(r);
}

}  // namespace
}  // namespace vm::e2e
