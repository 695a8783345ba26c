// Line pacing and Modbus block reads end to end: varimonctl against the wire-timed simulator,
// which counts every request that begins inside the gap after a reply, and the manager's block
// reads against a pymodbus slave, an implementation nobody here wrote.

#include "Processes.h"

#include "platform/CommDriver.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

#include <gtest/gtest.h>

#include <map>

namespace vm::e2e {
namespace {

// "ok requests N replies N dropped N corrupted N early N": the requests that came too soon.
qint64 Early(SimProcess& sim)
{
    const QStringList counts = sim.Command("counters").split(' ');
    return counts.size() == 11 && counts[9] == "early" ? counts[10].toLongLong() : -1;
}

class PacingTest : public ::testing::TestWithParam<std::string> {
protected:
    QStringList Protocol() const { return {"--protocol", QString::fromStdString(GetParam())}; }
};

TEST_P(PacingTest, linePacedMasterKeepsTheGapThatTheSimulatorChecks)
{
    SimProcess sim;
    ASSERT_TRUE(sim.Start(Protocol() + QStringList{"--station", "5:QM-A20", "--wire", "38400", "--pace",
                                                   "line", "--turnaround", "20", "--baud", "38400"}))
        << sim.Output().toStdString();
    const QStringList master = Protocol() + QStringList{"--baud", "38400", "--pace", "line"};
    const CtlResult kept =
        RunCtl(sim, master + QStringList{"--turnaround", "20", "monitor", "5", "10", "14", "--count", "20"});
    ASSERT_EQ(kept.exitCode, 0) << Show(kept);
    EXPECT_EQ(Early(sim), 0);

    // The same master with no turnaround breaks the simulator's 20 ms: the check does see it.
    const CtlResult eager =
        RunCtl(sim, master + QStringList{"--turnaround", "0", "monitor", "5", "10", "14", "--count", "20"});
    ASSERT_EQ(eager.exitCode, 0) << Show(eager);
    EXPECT_GT(Early(sim), 5);
}

INSTANTIATE_TEST_SUITE_P(Protocols, PacingTest, ::testing::Values("kx485", "modbus"));

TEST(BlockReads, refusingSimulatorStationFallsBackAndStillMonitors)
{
    SimProcess sim;
    ASSERT_TRUE(sim.Start({"--protocol", "modbus", "--station", "5:QM-A20", "--station", "6:QM-A20"}))
        << sim.Output().toStdString();
    ASSERT_EQ(sim.Command("blocks 6 refuse"), "ok");
    const QStringList args{"--protocol", "modbus", "--block-reads", "16", "--raw", "monitor"};
    const CtlResult served = RunCtl(sim, args + QStringList{"5", "9", "10", "11", "--count", "2"});
    const CtlResult refused = RunCtl(sim, args + QStringList{"6", "9", "10", "11", "--count", "2"});
    ASSERT_EQ(served.exitCode, 0) << Show(served);
    ASSERT_EQ(refused.exitCode, 0) << Show(refused);
    EXPECT_EQ(served.Lines(), refused.Lines());
    EXPECT_EQ(sim.Command("blocks 6 serve"), "ok");
    EXPECT_TRUE(sim.Command("blocks 6 maybe").startsWith("error"));
}

// socat's pair of pseudo-terminals with a pymodbus RTU slave on one end.
class PymodbusPeer : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        slaveEnd_ = dir_.filePath("slave");
        masterEnd_ = dir_.filePath("master");
        socat_.start("socat", {"pty,raw,echo=0,link=" + slaveEnd_, "pty,raw,echo=0,link=" + masterEnd_});
        ASSERT_TRUE(socat_.waitForStarted(kDeadlineMs));
        QDeadlineTimer deadline(kDeadlineMs);
        while (!(QFileInfo::exists(slaveEnd_) && QFileInfo::exists(masterEnd_)) && !deadline.hasExpired())
            socat_.waitForFinished(20);
        ASSERT_TRUE(QFileInfo::exists(masterEnd_));
        slave_.setProcessChannelMode(QProcess::MergedChannels);
        slave_.start("/usr/bin/python3",
                     {QStringLiteral(VARIMON_SOURCE_DIR "/tests/e2e/pymodbus_slave.py"), slaveEnd_});
        while (!slave_.canReadLine() && slave_.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
        }
        const QByteArray said = slave_.readLine();
        ASSERT_TRUE(said.startsWith("ready")) << said.toStdString() << slave_.readAll().toStdString();
    }
    void TearDown() override
    {
        for (QProcess* p : {&slave_, &socat_}) {
            p->terminate();
            if (!p->waitForFinished(kDeadlineMs))
                p->kill();
        }
    }

    QTemporaryDir dir_;
    QString slaveEnd_, masterEnd_;
    QProcess socat_, slave_;
};

class Collector : public CommClient {
public:
    void OnCommMonitor(int station, const CommReply& reply) override
    {
        if (reply.error != kNoError)
            return;
        counts[station].push_back(reply.count);
        for (int i = 0; i < reply.count; ++i)
            values[station][reply.addresses[static_cast<size_t>(i)]] = reply.values[static_cast<size_t>(i)];
        if (counts[1].size() >= 4 && values[2].size() == 3 && onEnough)
            onEnough();
    }
    std::map<int, std::vector<int>> counts;
    std::map<int, std::map<uint32_t, uint32_t>> values;
    std::function<void()> onEnough;
};

TEST_F(PymodbusPeer, blockReadsSplitAtTheMaximumAndARefusingStationFallsBack)
{
    CommDriver driver;
    CommSettings settings;
    settings.portName = masterEnd_.toStdString();
    settings.protocolMode = kModbusRtu;
    settings.pacing = Pacing::Line;
    settings.blockReads = true;
    settings.blockReadMax = 16;
    ASSERT_EQ(driver.Start(settings), 0);
    CommManager& manager = driver.Manager();
    std::vector<uint16_t> twenty;
    for (uint16_t a = 1; a <= 20; ++a)
        twenty.push_back(a);
    const uint16_t three[] = {7, 8, 9};
    Collector collector;
    manager.AddListener(1, &collector);
    manager.AddListener(2, &collector);
    manager.AddMonitor(1, twenty);
    manager.AddMonitor(2, three);
    manager.SetPollRange(1, 2);
    QEventLoop loop;
    collector.onEnough = [&] { loop.quit(); };
    QTimer::singleShot(kDeadlineMs, &loop, &QEventLoop::quit);
    loop.exec();
    driver.Stop();

    ASSERT_GE(collector.counts[1].size(), 4u);
    EXPECT_EQ(std::vector<int>(collector.counts[1].begin(), collector.counts[1].begin() + 4),
              (std::vector<int>{16, 4, 16, 4}));
    ASSERT_EQ(collector.values[1].size(), 20u);
    for (const auto& [address, value] : collector.values[1])
        EXPECT_EQ(value, 3 * (address - 1) + 1) << address;
    EXPECT_EQ(manager.BlockReads(1), BlockReadUse::On);
    EXPECT_EQ(manager.BlockReads(2), BlockReadUse::Refused);
    ASSERT_EQ(collector.values[2].size(), 3u);
    EXPECT_EQ(collector.values[2][8], 22u);
    for (int count : collector.counts[2])
        EXPECT_EQ(count, 1);
    EXPECT_EQ(manager.Health(2).rejections.count(ModbusExceptionError(2)), 1u);
}

}  // namespace
}  // namespace vm::e2e
