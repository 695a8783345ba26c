#include "Processes.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace vm::e2e {
namespace {

const QStringList kStations = {"--station", "2:QM-A20:0210:4:400", "--station", "5:QM-B20X:0014:0:200",
                               "--station", "7:QM-C20:0102:9:400"};

// Short time-outs: absent stations cost (retries + 1) time-outs each.
const QStringList kQuick = {"--timeout", "150", "--retries", "1"};

class ToolsTest : public ::testing::TestWithParam<std::string> {
protected:
    static QString Protocol() { return QString::fromStdString(GetParam()); }
    QStringList Ctl(QStringList args) const { return QStringList{"--protocol", Protocol()} + kQuick + args; }
    bool StartSim(const QStringList& extra = {})
    {
        const bool ok = sim_.Start(QStringList{"--protocol", Protocol(), "--seed", "11"} + kStations + extra);
        EXPECT_TRUE(ok) << sim_.Output().toStdString();
        return ok;
    }
    SimProcess sim_;
};

TEST_P(ToolsTest, scanFindsExactlyTheConfiguredStations)
{
    ASSERT_TRUE(StartSim());
    const CtlResult r = RunCtl(sim_, Ctl({"--retries", "0", "scan", "1-8"}));
    ASSERT_EQ(r.exitCode, 0) << Show(r);
    EXPECT_EQ(r.Lines(),
              (QStringList{"2 QM-A20 5.5kW-4 2.16", "5 QM-B20X 0.75kW-2 1.4", "7 QM-C20 22kW-4 1.2"}));
}

TEST_P(ToolsTest, readsWritesAndRefusedWrites)
{
    ASSERT_TRUE(StartSim());
    CtlResult r = RunCtl(sim_, Ctl({"read", "5", "0xA347", "0xA101"}));
    ASSERT_EQ(r.exitCode, 0) << Show(r);
    EXPECT_EQ(r.Lines(), (QStringList{"0xA347 1", "0xA101 50"}));

    r = RunCtl(sim_, Ctl({"write", "5", "0xA101", "120"}));
    ASSERT_EQ(r.exitCode, 0) << Show(r);
    r = RunCtl(sim_, Ctl({"--json", "read", "5", "0xA101"}));
    EXPECT_EQ(r.out, "{\"address\":41217,\"station\":5,\"value\":120}\n") << Show(r);

    // Above the parameter's maximum, and a parameter that can only be read.
    r = RunCtl(sim_, Ctl({"write", "5", "0xA101", "6001"}));
    EXPECT_EQ(r.exitCode, 1) << Show(r);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, GetParam() == "kx485" ? "*** Data Range Error ***\n"
                                           : "*** Modbus Exception 3 (Illegal Data Value) ***\n");
    r = RunCtl(sim_, Ctl({"write", "5", "0xA108", "1"}));
    EXPECT_EQ(r.exitCode, 1) << Show(r);
    EXPECT_EQ(r.err, GetParam() == "kx485" ? "*** Write Mode Error ***\n"
                                           : "*** Modbus Exception 4 (Slave Device Failure) ***\n");
    if (GetParam() == "modbus") {
        r = RunCtl(sim_, Ctl({"--json", "write", "5", "0x7777", "1"}));
        EXPECT_EQ(r.exitCode, 1) << Show(r);
        EXPECT_EQ(r.out,
                  "{\"address\":30583,\"error\":202,\"exception\":2,\"station\":5,"
                  "\"text\":\"Modbus Exception 2 (Illegal Data Address)\"}\n");
    }
    r = RunCtl(sim_, Ctl({"read", "5", "0xA101"}));
    EXPECT_EQ(r.out, "0xA101 120\n") << Show(r);
}

TEST_P(ToolsTest, monitorValuesChangeWhileTheStationRuns)
{
    ASSERT_TRUE(StartSim());
    ASSERT_EQ(RunCtl(sim_, Ctl({"write", "5", "7", "600"})).exitCode, 0);  // 60 s ramp: never done here
    ASSERT_EQ(RunCtl(sim_, Ctl({"write", "5", "6", "2"})).exitCode, 0);
    const CtlResult r = RunCtl(sim_, Ctl({"--raw", "monitor", "5", "10", "14", "--count", "4"}));
    ASSERT_EQ(r.exitCode, 0) << Show(r);
    const QStringList lines = r.Lines();
    ASSERT_EQ(lines.size(), 4);
    int previous = -1;
    for (const QString& line : lines) {
        const QStringList fields = line.split('\t');
        ASSERT_EQ(fields.size(), 2) << line.toStdString();
        EXPECT_GT(fields[0].toInt(), previous) << line.toStdString();
        EXPECT_EQ(fields[1], "18");  // forward, accelerating
        previous = fields[0].toInt();
    }
    const CtlResult text = RunCtl(sim_, Ctl({"monitor", "5", "14", "6", "--count", "1"}));
    EXPECT_EQ(text.out, "Forward Accelerating...\t2\n") << Show(text);
}

TEST_P(ToolsTest, dropsAndCorruptionAreRetriedAndStillSucceed)
{
    ASSERT_TRUE(StartSim({"--drop-rate", "0.3", "--corrupt-rate", "0.3"}));
    const CtlResult r = RunCtl(sim_, QStringList{"--protocol", Protocol(), "--timeout", "150", "--retries",
                                                 "8", "read", "7", "0", "1", "2", "3"});
    ASSERT_EQ(r.exitCode, 0) << Show(r);
    EXPECT_EQ(r.Lines(), (QStringList{"0 5", "1 9", "2 1", "3 258"}));
}

TEST_P(ToolsTest, monitorStatsCountWhatTheNoisyLineDid)
{
    ASSERT_TRUE(StartSim({"--drop-rate", "0.2", "--corrupt-rate", "0.2"}));
    // A time-out long enough that a busy machine never turns a late reply into a lost one.
    const CtlResult r =
        RunCtl(sim_, QStringList{"--protocol", Protocol(), "--timeout", "400", "--retries", "8", "--json",
                                 "--stats", "monitor", "5", "14", "15", "--count", "15"});
    ASSERT_EQ(r.exitCode, 0) << Show(r);
    EXPECT_EQ(r.Lines().size(), 15);
    const QStringList errLines = r.err.split('\n', Qt::SkipEmptyParts);
    ASSERT_FALSE(errLines.isEmpty()) << Show(r);
    const QJsonObject stats =
        QJsonDocument::fromJson(errLines.back().toUtf8()).object().value("stats").toObject();
    ASSERT_TRUE(stats.value("final").toBool()) << Show(r);
    for (const QString& line : errLines)
        EXPECT_TRUE(QJsonDocument::fromJson(line.toUtf8()).object().contains("stats")) << line.toStdString();

    // "ok requests N replies N dropped N corrupted N": the line's own account of its faults.
    const QStringList counts = sim_.Command("counters").split(' ');
    ASSERT_EQ(counts.size(), 9) << counts.join(' ').toStdString();
    const qint64 requests = counts[2].toLongLong(), replies = counts[4].toLongLong();
    const qint64 dropped = counts[6].toLongLong(), corrupted = counts[8].toLongLong();
    ASSERT_GT(dropped, 0);
    ASSERT_GT(corrupted, 0);
    EXPECT_EQ(stats.value("attempts").toInteger(), requests);
    EXPECT_EQ(stats.value("timeouts").toInteger(), dropped);
    EXPECT_EQ(stats.value("checksumErrors").toInteger(), corrupted);
    EXPECT_EQ(stats.value("replies").toInteger(), replies - corrupted);
    EXPECT_EQ(stats.value("repetitions").toInteger(), dropped + corrupted);
    EXPECT_EQ(stats.value("giveUps").toInteger(), 0);
    EXPECT_GT(stats.value("valuesRefreshed").toInteger(), 15);
    EXPECT_TRUE(stats.value("replyMs").toObject().contains("max"));

    const CtlResult text =
        RunCtl(sim_, Ctl({"--retries", "8", "--stats", "monitor", "5", "14", "--count", "1"}));
    ASSERT_EQ(text.exitCode, 0) << Show(text);
    EXPECT_EQ(text.Lines().size(), 1);
    const QStringList textErr = text.err.split('\n', Qt::SkipEmptyParts);
    ASSERT_FALSE(textErr.isEmpty());
    EXPECT_TRUE(textErr.back().startsWith("summary station 5 at ")) << Show(text);
}

TEST_P(ToolsTest, silencedStationGivesUpWithTheLastError)
{
    ASSERT_TRUE(StartSim());
    ASSERT_EQ(sim_.Command("silence 2"), "ok");
    CtlResult r = RunCtl(sim_, Ctl({"read", "2", "0"}));
    EXPECT_EQ(r.exitCode, 1) << Show(r);
    EXPECT_EQ(r.err, "*** Timeout Error ***\n");
    ASSERT_EQ(sim_.Command("revive 2"), "ok");
    r = RunCtl(sim_, Ctl({"read", "2", "0"}));
    EXPECT_EQ(r.out, "0 4\n") << Show(r);
}

TEST_P(ToolsTest, tripShowsInStatusAndFaultWords)
{
    ASSERT_TRUE(StartSim());
    ASSERT_EQ(sim_.Command("trip 2 1"), "ok");
    const CtlResult r = RunCtl(sim_, Ctl({"monitor", "2", "14", "15", "--count", "1"}));
    EXPECT_EQ(r.out, "Fault\tOver Voltage (OV)\n") << Show(r);
    ASSERT_EQ(RunCtl(sim_, Ctl({"write", "2", "6", "8"})).exitCode, 0);
    EXPECT_EQ(RunCtl(sim_, Ctl({"--raw", "monitor", "2", "14", "15", "--count", "1"})).out, "1\t0\n");
    EXPECT_EQ(sim_.Command("trip 2 44").left(6), "error:");
}

INSTANTIATE_TEST_SUITE_P(Protocols, ToolsTest, ::testing::Values("kx485", "modbus"),
                         [](const auto& info) { return info.param; });

TEST(Tools, echoingTwoWireLineStillWorks)
{
    SimProcess sim;
    ASSERT_TRUE(sim.Start({"--protocol", "kx485", "--echo", "--station", "4:QM-E20"}))
        << sim.Output().toStdString();
    const CtlResult r = RunCtl(sim, {"--timeout", "150", "--retries", "1", "read", "4", "0", "2"});
    ASSERT_EQ(r.exitCode, 0) << Show(r);
    EXPECT_EQ(r.Lines(), (QStringList{"0 8", "2 1"}));
}

TEST(Tools, demoLineOffersEveryShippedModel)
{
    SimProcess sim;
    ASSERT_TRUE(sim.Start({})) << sim.Output().toStdString();
    const CtlResult r = RunCtl(sim, {"--timeout", "150", "--retries", "0", "scan", "1-7"});
    ASSERT_EQ(r.exitCode, 0) << Show(r);
    const QStringList lines = r.Lines();
    ASSERT_EQ(lines.size(), 6) << Show(r);
    const QStringList models = {"QM-A20", "QM-C20", "QM-E20", "QM-F20X", "QM-B20X", "QM-B20"};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(lines[i].section(' ', 0, 1), QString("%1 %2").arg(i + 1).arg(models[i]));
}

TEST(Tools, linkIsRemovedOnQuitAndOnSigterm)
{
    SimProcess byQuit;
    ASSERT_TRUE(byQuit.Start({"--station", "1:4"}));
    EXPECT_TRUE(IsSymlink(byQuit.Link()));
    EXPECT_EQ(byQuit.Command("quit"), "ok");
    ASSERT_TRUE(byQuit.Process().waitForFinished(kDeadlineMs));
    EXPECT_EQ(byQuit.Process().exitCode(), 0);
    EXPECT_FALSE(IsSymlink(byQuit.Link()));

    SimProcess byTerm;
    ASSERT_TRUE(byTerm.Start({"--station", "1:4"}));
    ASSERT_TRUE(byTerm.Terminate());
    EXPECT_EQ(byTerm.Process().exitStatus(), QProcess::NormalExit);
    EXPECT_FALSE(IsSymlink(byTerm.Link()));
}

TEST(Tools, badCommandLinesAreRefusedWithUsage)
{
    QProcess sim;
    sim.start(SimProgram(), {"--link", "/nonexistent-dir/x", "--station", "1:QM-NOPE"});
    ASSERT_TRUE(sim.waitForFinished(kDeadlineMs));
    EXPECT_EQ(sim.exitCode(), 2);
    EXPECT_TRUE(sim.readAllStandardError().contains("unknown model QM-NOPE"));

    QProcess ctl;
    ctl.start(CtlProgram(), {"--port", "/nonexistent-dir/tty", "scan"});
    ASSERT_TRUE(ctl.waitForFinished(kDeadlineMs));
    EXPECT_EQ(ctl.exitCode(), 3);
    EXPECT_TRUE(ctl.readAllStandardError().contains("Can't open /nonexistent-dir/tty port"));
}

}  // namespace
}  // namespace vm::e2e
