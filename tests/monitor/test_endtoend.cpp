// The main window against the simulator program over a pseudo-terminal, with the real serial
// port and the 30 ms tick: stations found, live values, a trip logged, a silenced station lost.
#include "monitor/MainFrame.h"
#include "tests/platform/QStringPrinter.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace vm;

namespace {

constexpr int kWaitMs = 20000;

class SimulatorProcess {
public:
    // Starts varimon-sim on a new pseudo-terminal linked at linkPath; false when it did not
    // report ready.
    bool Start(const QString& linkPath, const QStringList& stations)
    {
#ifdef VARIMON_SIM_PROGRAM
        QStringList args{"--link", linkPath, "--protocol", "auto", "--seed", "1"};
        for (const QString& s : stations)
            args << "--station" << s;
        process.start(QStringLiteral(VARIMON_SIM_PROGRAM), args);
        if (!process.waitForStarted(kWaitMs))
            return false;
        while (!output.contains("ready ")) {
            if (!process.waitForReadyRead(kWaitMs))
                return false;
            output += process.readAllStandardOutput();
        }
        return true;
#else
        return false;
#endif
    }
    void Command(const QByteArray& line) { process.write(line + "\n"); }
    ~SimulatorProcess()
    {
        if (process.state() != QProcess::NotRunning) {
            Command("quit");
            process.closeWriteChannel();
            if (!process.waitForFinished(5000)) {
                process.kill();
                process.waitForFinished(5000);
            }
        }
    }

    QProcess process;
    QByteArray output;
};

int RowOf(CInvListModel& model, int station)
{
    for (int row = 0; row < model.rowCount(); ++row) {
        if (model.CellText(row, kColId) == QString::number(station))
            return row;
    }
    return -1;
}

QString Cell(CInvListModel& model, int station, int column)
{
    const int row = RowOf(model, station);
    return row < 0 ? QString() : model.CellText(row, column);
}

}  // namespace

TEST(EndToEndTest, mainWindowFindsTheSimulatedLineShowsLiveValuesLogsATripAndLosesASilencedStation)
{
#ifndef VARIMON_SIM_PROGRAM
    GTEST_SKIP() << "varimon-sim is not part of this build";
#endif
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath("config"));
    {
        QSettings s(kCompanyKey, kApplicationKey);
        s.setValue("Main/TimeOut", 500);
        s.setValue("Main/Retry Count", 2);
    }
    const QString link = dir.filePath("line");
    SimulatorProcess sim;
    ASSERT_TRUE(sim.Start(link, {"1:QM-A20", "2:QM-B20X:0015", "3:QM-E20", "4:3"}))
        << sim.output.toStdString() << sim.process.readAllStandardError().toStdString();

    const ProgramFolders folders = ResolveProgramFolders(dir.filePath("program"), dir.filePath("user"),
                                                         {VARIMON_TEST_DATA_DIR});
    CMainFrame frame(folders, StartOptions{link, std::vector<int>{1, 2, 3, 4, 5}});
    MessageLog messages;
    frame.SetMessageSink(&messages);
    frame.Startup();
    CInvListModel& list = frame.InvList().Model();

    ASSERT_TRUE(QTest::qWaitFor([&] { return !frame.Network().Scanning(); }, kWaitMs));
    EXPECT_TRUE(messages.Entries().empty()) << messages.Entries().front().text;
    EXPECT_EQ(frame.windowTitle(), "Varimon Main [3 Connected]");
    EXPECT_EQ(frame.InvList().ListedStations(), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(Cell(list, 1, kColModel), "QM-A20");
    EXPECT_EQ(Cell(list, 2, kColModel), "QM-B20X");
    EXPECT_EQ(Cell(list, 4, kColStatus), "Not Support");

    // Live values: station 1 runs forward and its frequency rises in the list.
    ASSERT_TRUE(QTest::qWaitFor([&] { return Cell(list, 1, kColStatus) == "Stop"; }, kWaitMs));
    frame.Manager().QueueWrite(1, 6, 2);
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return Cell(list, 1, kColStatus).startsWith("Forward") &&
               Cell(list, 1, kColFrequency) != "0.00 Hz";
    }, kWaitMs)) << Cell(list, 1, kColStatus).toStdString();
    EXPECT_TRUE(Cell(list, 1, kColFrequency).endsWith(" Hz"));
    EXPECT_EQ(list.RowImageAt(RowOf(list, 1)), kRowForward);

    // A trip shows in the list and in the event log, pane lines and file alike.
    sim.Command("trip 2 0");
    const QString faultLine = "2:QM-B20X Over Current (OCT) fault occured";
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame.Log().Lines().join('\n').contains(faultLine); },
                                kWaitMs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Cell(list, 2, kColFault) == "Over Current (OCT)"; },
                                kWaitMs));
    EXPECT_EQ(Cell(list, 2, kColStatus), "Fault");
    QFile logFile(frame.Log().Path());
    ASSERT_TRUE(logFile.open(QIODevice::ReadOnly));
    EXPECT_TRUE(logFile.readAll().contains(faultLine.toUtf8()));

    // A silenced station is lost after the retries and keeps its row as "No Connection".
    sim.Command("silence 3");
    ASSERT_TRUE(QTest::qWaitFor([&] { return Cell(list, 3, kColStatus) == "No Connection"; },
                                kWaitMs));
    EXPECT_EQ(list.RowImageAt(RowOf(list, 3)), kRowDisconnected);
    EXPECT_EQ(frame.windowTitle(), "Varimon Main [2 Connected]");
    EXPECT_TRUE(frame.Log().Lines().join('\n').contains("3:QM-E20 Disconnected"));
    EXPECT_TRUE(frame.Network().Record(1).connected);
}
