// varimonctl monitor when its serial device goes away: the simulator is stopped under it and
// started again on the same link, and the monitor carries on by itself.
#include "Processes.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

namespace vm::e2e {
namespace {

constexpr int kReopenMs = 200;

class LostPortTest : public ::testing::TestWithParam<std::string> {};

TEST_P(LostPortTest, monitorSaysThePortIsLostAndGoesOnWithANewSimulatorOnTheSameLink)
{
    const QString protocol = QString::fromStdString(GetParam());
    const QStringList simArgs{"--protocol", protocol, "--seed", "11", "--station", "5:QM-B20X:0014:0:200"};
    SimProcess sim;
    ASSERT_TRUE(sim.Start(simArgs)) << sim.Output().toStdString();
    CtlProcess ctl;
    ctl.Start(kReopenMs, {"--port", sim.Link(), "--protocol", protocol, "--timeout", "150", "--retries", "1",
                          "--raw", "monitor", "5", "14", "6"});
    ASSERT_TRUE(ctl.WaitUntil([&] { return ctl.Lines().size() >= 2; })) << ctl.Show();

    ASSERT_TRUE(sim.Terminate());
    const QString lost = "varimonctl: Port lost: " + sim.Link() + "; reopening every 0.2 s\n";
    ASSERT_TRUE(ctl.WaitUntil([&] { return ctl.err.contains(lost); })) << ctl.Show();

    // Several reopen attempts against nothing: the monitor waits, quietly and idly.
    const double cpuBefore = ctl.CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    EXPECT_FALSE(ctl.WaitUntil([&] { return ctl.err.contains("reopened"); }, 6 * kReopenMs)) << ctl.Show();
    const double cpu = ctl.CpuSeconds() - cpuBefore;
    const double seconds = static_cast<double>(wall.elapsed()) / 1000.0;
    EXPECT_LT(cpu, 0.1 * seconds) << cpu << " s of CPU in " << seconds << " s";
    ::testing::Test::RecordProperty("cpuWhileAway",
                                    QString::asprintf("%.3f s in %.3f s", cpu, seconds).toStdString());
    ASSERT_EQ(ctl.process.state(), QProcess::Running) << ctl.Show();
    const qsizetype linesWhileAway = ctl.Lines().size();

    ASSERT_TRUE(sim.Start(simArgs)) << sim.Output().toStdString();
    ASSERT_TRUE(ctl.WaitUntil([&] {
        return ctl.err.contains("varimonctl: Port reopened: " + sim.Link() + "\n");
    })) << ctl.Show();
    ASSERT_TRUE(ctl.WaitUntil([&] { return ctl.Lines().size() >= linesWhileAway + 3; })) << ctl.Show();

    ctl.process.terminate();
    ASSERT_TRUE(ctl.process.waitForFinished(kDeadlineMs));
    ctl.WaitUntil([] { return true; });
    EXPECT_EQ(ctl.process.exitCode(), 0) << ctl.Show();
    // One warning for the loss, none for the failed attempts, no failure of the monitor.
    EXPECT_EQ(ctl.err.count("WARNING:"), 1) << ctl.Show();
    EXPECT_FALSE(ctl.err.contains("***")) << ctl.Show();
    for (const QString& line : ctl.Lines())
        EXPECT_EQ(line.split('\t').size(), 2) << line.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Protocols, LostPortTest, ::testing::Values("kx485", "modbus"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace vm::e2e
