// The main window against the simulator program over a pseudo-terminal, with the real serial
// port and the 30 ms tick: stations found, live values, a trip logged, recorded and shown on the
// information sheet, a silenced station lost, the fault history read back by the next run.
#include "MainWindowHome.h"
#include "monitor/MainFrame.h"
#include "tests/platform/QStringPrinter.h"
#include "tests/support/SimulatorProcess.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>

using namespace vm;

namespace {

constexpr int kWaitMs = 20000;

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

// Whether the boxes from firstBox on show the bits of word their items at address follow, at
// least one of them ticked.
bool BoxesShow(const CInfoBitPage& page, int firstBox, uint16_t address, uint32_t word)
{
    int box = firstBox;
    bool ticked = false;
    for (const InfoBitBox& item : page.Items()) {
        if (item.address != address)
            continue;
        const bool on = ((word >> (item.bit % 32)) & 1) != 0;
        if (page.Box(box)->isChecked() != on)
            return false;
        ticked = ticked || on;
        ++box;
    }
    return ticked;
}

}  // namespace

TEST(EndToEndTest, mainWindowFindsTheSimulatedLineShowsLiveValuesLogsATripAndLosesASilencedStation)
{
#ifndef VARIMON_SIM_PROGRAM
    GTEST_SKIP() << "varimon-sim is not part of this build";
#endif
    test::MainWindowHome home;
    home.StoreLineTiming(500, 2);
    const QString link = home.Link();
    test::SimulatorProcess sim;
    ASSERT_TRUE(sim.Start(link, {"1:QM-A20", "2:QM-B20X:0015", "3:QM-E20", "4:3"}))
        << sim.output.toStdString() << sim.process.readAllStandardError().toStdString();

    const ProgramFolders folders = home.Folders();
    auto owned = std::make_unique<CMainFrame>(folders, StartOptions{link, std::vector<int>{1, 2, 3, 4, 5}});
    CMainFrame& frame = *owned;
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
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return Cell(list, 1, kColStatus).startsWith("Forward") &&
                   Cell(list, 1, kColFrequency) != "0.00 Hz";
        },
        kWaitMs))
        << Cell(list, 1, kColStatus).toStdString();
    EXPECT_TRUE(Cell(list, 1, kColFrequency).endsWith(" Hz"));
    EXPECT_EQ(list.RowImageAt(RowOf(list, 1)), kRowForward);

    // The information sheet for station 2, where the drive gets its name, watching the faults.
    frame.InvList().selectRow(RowOf(list, 2));
    frame.Action(kCmdInformation)->trigger();
    CInvInfoPropertySheet* sheet = frame.InfoSheet().Sheet();
    ASSERT_NE(sheet, nullptr);
    sheet->General().NameEdit()->setText("Mixer");
    sheet->General().ApplyName();
    EXPECT_EQ(Cell(list, 2, kColDeviceName), "Mixer");
    sheet->Tabs().setCurrentIndex(CInvInfoPropertySheet::kPageFaults);

    // A trip shows in the list, the fault history tab and the event log, pane lines and file.
    sim.Command("set 2 16 5");  // two input terminals on
    sim.Command("trip 2 0");
    const QString faultLine = "2:QM-B20X(Mixer) Over Current (OCT) fault occured";
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame.Log().Lines().join('\n').contains(faultLine); }, kWaitMs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Cell(list, 2, kColFault) == "Over Current (OCT)"; }, kWaitMs));
    EXPECT_EQ(Cell(list, 2, kColStatus), "Fault");
    QFile logFile(frame.Log().Path());
    ASSERT_TRUE(logFile.open(QIODevice::ReadOnly));
    EXPECT_TRUE(logFile.readAll().contains(faultLine.toUtf8()));
    CFaultListModel& faults = frame.FaultList().Model();
    ASSERT_EQ(faults.rowCount(), 1);
    EXPECT_EQ(faults.CellText(0, 3), "2");
    EXPECT_EQ(faults.CellText(0, 4), "Mixer");
    EXPECT_EQ(faults.CellText(0, 7), "Over Current (OCT)");

    // The sheet ticks the tripped bit, then shows the terminals: the inputs set above and the
    // drive's fault relay (output bit 7 of this model).
    ASSERT_TRUE(QTest::qWaitFor([&] { return BoxesShow(sheet->Faults(), 0, 15, 0x0001); }, kWaitMs));
    sheet->Tabs().setCurrentIndex(CInvInfoPropertySheet::kPageTerminals);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return BoxesShow(sheet->Terminals(), 0, 16, 0x0005) &&
                   BoxesShow(sheet->Terminals(), kInfoInputBoxes, 17, 0x0080);
        },
        kWaitMs));

    // A silenced station is lost after the retries and keeps its row as "No Connection".
    sim.Command("silence 3");
    ASSERT_TRUE(QTest::qWaitFor([&] { return Cell(list, 3, kColStatus) == "No Connection"; }, kWaitMs));
    EXPECT_EQ(list.RowImageAt(RowOf(list, 3)), kRowDisconnected);
    EXPECT_EQ(frame.windowTitle(), "Varimon Main [2 Connected]");
    EXPECT_TRUE(frame.Log().Lines().join('\n').contains("3:QM-E20 Disconnected"));
    EXPECT_TRUE(frame.Network().Record(1).connected);

    // The next run reads the trip back from the history file, with the drive's name.
    frame.close();
    owned.reset();
    CMainFrame next(folders, StartOptions{link, std::vector<int>{}});
    next.SetMessageSink(&messages);
    next.Startup();
    EXPECT_TRUE(messages.Entries().empty()) << messages.Entries().front().text;
    EXPECT_EQ(next.Network().DeviceName(2), "Mixer");
    CFaultListModel& stored = next.FaultList().Model();
    ASSERT_EQ(stored.rowCount(), 1);
    EXPECT_EQ(stored.CellText(0, 3), "2");
    EXPECT_EQ(stored.CellText(0, 4), "Mixer");
    EXPECT_EQ(stored.CellText(0, 5), "QM-B20X");
    EXPECT_EQ(stored.CellText(0, 7), "Over Current (OCT)");
}
