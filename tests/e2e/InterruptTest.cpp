// Ctrl+C and SIGTERM during varimonctl's transfers: a real process, a real signal. The command
// stops after the request on the line, says how far it got, writes no upload file and exits
// 128 + the signal; what reached the drive is checked on the simulator with a compare.

#include "Processes.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

namespace vm::e2e {
namespace {

QStringList Ctl(const QString& link, const QStringList& args)
{
    return QStringList{"--port", link} + Kx485Args(args);
}

int Requests(SimProcess& sim)
{
    // "ok requests N replies M dropped D corrupted C"
    const QStringList words = sim.Command(QStringLiteral("counters")).split(QLatin1Char(' '));
    return words.size() > 2 ? words[2].toInt() : -1;
}

// Starts varimonctl, waits until the simulator has seen `requests` requests, sends the signal
// and waits for the exit.
CtlResult Interrupted(SimProcess& sim, const QStringList& args, int requests, int signal)
{
    QProcess ctl;
    ctl.start(CtlProgram(), args);
    CtlResult result;
    if (!ctl.waitForStarted(kDeadlineMs))
        return result;
    // Each look at the counters is a round trip to the simulator; bounded by the deadline.
    const int base = Requests(sim);
    QDeadlineTimer deadline(kDeadlineMs);
    while (Requests(sim) < base + requests && !deadline.hasExpired()) {
    }
    ::kill(static_cast<pid_t>(ctl.processId()), signal);
    if (!ctl.waitForFinished(kDeadlineMs)) {
        ctl.kill();
        ctl.waitForFinished(kDeadlineMs);
        result.err = "varimonctl did not stop";
        return result;
    }
    result.exitCode = ctl.exitStatus() == QProcess::NormalExit ? ctl.exitCode() : -1;
    result.out = QString::fromUtf8(ctl.readAllStandardOutput());
    result.err = QString::fromUtf8(ctl.readAllStandardError());
    return result;
}

// A simulated QM-E20 at station 2 and a folder for the parameter files.
class CtlInterruptTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sim.Start({"--protocol", "kx485", "--station", "2:QM-E20"}))
            << sim.Output().toStdString();
    }
    // The drive's parameters uploaded to file, as the start of what is interrupted.
    void Upload(const QString& file)
    {
        const CtlResult r = RunCtl(sim, Kx485Args({"upload", "2", file}));
        ASSERT_EQ(r.exitCode, 0) << Show(r);
    }

    QTemporaryDir dir;
    SimProcess sim;
};

TEST_F(CtlInterruptTest, sigintStopsADownloadAfterTheRequestOnTheLineAndNamesWhatWasWritten)
{
    const QString file = dir.filePath("drive.par");
    ASSERT_NO_FATAL_FAILURE(Upload(file));
    // The first parameter of the file and the last now differ from it on the drive.
    ASSERT_EQ(sim.Command("set 2 0x8101 123"), "ok");
    ASSERT_EQ(sim.Command("set 2 0x8509 60"), "ok");

    CtlResult r = Interrupted(sim, Ctl(sim.Link(), {"download", "2", file}), 10, SIGINT);
    EXPECT_EQ(r.exitCode, 130) << Show(r);
    EXPECT_TRUE(r.err.contains("interrupted; download stopped after ")) << Show(r);
    EXPECT_TRUE(r.err.contains(" 0x8101")) << Show(r);
    EXPECT_FALSE(r.err.contains("0x8509")) << Show(r);

    // On the drive: the early parameter was written back, the last one never was.
    r = RunCtl(sim, Kx485Args({"compare", "2", file}));
    EXPECT_EQ(r.exitCode, 5) << Show(r);
    EXPECT_EQ(r.Lines().filter("0x8101").size(), 0) << Show(r);
    EXPECT_EQ(r.Lines().filter("0x8509").size(), 1) << Show(r);
}

TEST_F(CtlInterruptTest, sigtermStopsAnUploadAndWritesNoFile)
{
    const QString file = dir.filePath("up.par");
    const CtlResult r = Interrupted(sim, Ctl(sim.Link(), {"upload", "2", file}), 10, SIGTERM);
    EXPECT_EQ(r.exitCode, 143) << Show(r);
    EXPECT_TRUE(r.err.contains("interrupted; upload stopped after ")) << Show(r);
    EXPECT_TRUE(r.err.contains("not written")) << Show(r);
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
}

TEST_F(CtlInterruptTest, sigintStopsACompareWithoutAResult)
{
    const QString file = dir.filePath("drive.par");
    ASSERT_NO_FATAL_FAILURE(Upload(file));
    const CtlResult r = Interrupted(sim, Ctl(sim.Link(), {"compare", "2", file}), 10, SIGINT);
    EXPECT_EQ(r.exitCode, 130) << Show(r);
    EXPECT_EQ(r.out, "");
}

}  // namespace
}  // namespace vm::e2e
