// A day's faults on the line: trips during long series of reads, trips reset before their fault
// word is read, drives that go away and come back, and a port that is lost.
#include "catalogue/Registers.h"
#include "comm/Kx485.h"
#include "monitor/NetworkMonitor.h"
#include "tests/monitor/ReadSeries.h"
#include "tests/platform/QStringPrinter.h"
#include "tests/support/LineHarness.h"

#include <gtest/gtest.h>

using namespace vm;
using vm::test::LineHarness;

namespace {

struct QuietView : NetworkView {
    void RefreshStation(StationRecord& r) override { refreshed.push_back(r.station); }
    void RefreshValues(StationRecord&) override {}
    void TitleChanged(int n) override { title = n; }
    void ScanProgress(bool, int, int) override {}
    void StatusMessage(const QString&) override {}
    void ShowError(const QString& text) override { errors << text; }

    std::vector<int> refreshed;
    int title = -1;
    QStringList errors;
};

struct Faults : FaultHistoryHook {
    void AddFault(const StationRecord& r, const QString&) override { faults.push_back({r.station, r.fault}); }
    std::vector<std::pair<int, int>> faults;
};

class LostDrivesTest : public ::testing::Test {
protected:
    LostDrivesTest() : line(sim::Protocol::Kx485, 2, 500), network(line.manager, view)
    {
        network.SetEventLog(&log);
        network.SetFaultHistory(&faults);
        network.SetDataFolder(VARIMON_TEST_DATA_DIR);
        line.manager.SetLostProbeTiming({true, 600, 6000, 3});
    }
    QStringList Events() const
    {
        QStringList out;
        for (const QString& l : log.Lines())
            out << l.section(QStringLiteral(" >> "), 1);
        return out;
    }
    bool Scan(const std::vector<int>& ids)
    {
        return network.StartScan(ids) && line.StepUntil([&] { return !network.Scanning(); });
    }
    sim::SimDrive& Drive(int id) { return *line.line.Station(id); }

    LineHarness line;
    QuietView view;
    Faults faults;
    EventLog log;
    NetworkMonitor network;
};

}  // namespace

TEST_F(LostDrivesTest, tripDuringALongSeriesOfReadsIsSeenAndRecordedBeforeItsReset)
{
    line.AddStations({"2:QM-A20", "3:QM-A20"});
    ASSERT_TRUE(Scan({2, 3}));
    line.Step(40);
    test::ReadSeries editor(line.manager, 3, 217, 0x5300, 9);
    editor.Start();
    line.Step(20);
    ASSERT_TRUE(Drive(2).Trip(4));
    // Reset two seconds later, long before the series of reads is done.
    line.Step(66);
    EXPECT_LT(editor.done, 200);
    Drive(2).Reset();
    ASSERT_TRUE(line.StepUntil([&] { return editor.done == 217; }, 5000));
    line.Step(40);
    ASSERT_EQ(faults.faults.size(), 1u) << Events().join('\n').toStdString();
    EXPECT_EQ(faults.faults[0], (std::pair<int, int>{2, 0x10}));
    EXPECT_TRUE(Events().contains("2:QM-A20 Low Voltage (LV) fault occured"))
        << Events().join('\n').toStdString();
}

TEST_F(LostDrivesTest, tripResetSoonAfterItIsSeenOnALongBusyLineStillGetsItsFaultWord)
{
    std::vector<std::string> specs;
    std::vector<int> ids;
    for (int id = 1; id <= 12; ++id) {
        specs.push_back(std::to_string(id) + ":QM-A20");
        ids.push_back(id);
    }
    line.AddStations(specs);
    ASSERT_TRUE(Scan(ids));
    line.Step(80);
    test::ReadSeries editor(line.manager, 3, 217, 0x5300, 9);
    editor.Start();
    line.Step(20);
    ASSERT_TRUE(Drive(2).Trip(4));
    ASSERT_TRUE(line.StepUntil([&] { return network.Record(2).faultWatch != 0; }, 2000));
    // Reset a quarter of a second after the status word showed it: far less than a cycle here.
    line.Step(8);
    Drive(2).Reset();
    line.Step(200);
    ASSERT_EQ(faults.faults.size(), 1u) << Events().join('\n').toStdString();
    EXPECT_EQ(faults.faults[0], (std::pair<int, int>{2, 0x10}));
    EXPECT_TRUE(Events().contains("2:QM-A20 Low Voltage (LV) fault occured"))
        << Events().join('\n').toStdString();
}

TEST_F(LostDrivesTest, tripResetBeforeItsFaultWordIsReadStillLeavesARecord)
{
    line.AddStations({"2:QM-A20"});
    ASSERT_TRUE(Scan({2}));
    // The status words of two visits, as the manager hands them over, with no fault word between.
    CommReply status;
    status.station = 2;
    status.command = 'Y';
    status.count = 1;
    status.addresses[0] = reg::kStatus;
    status.values[0] = reg::kStatusFault;
    network.OnCommMonitor(2, status);
    EXPECT_TRUE(network.Record(2).faultWatch);
    status.values[0] = 0;
    network.OnCommMonitor(2, status);
    ASSERT_EQ(faults.faults, (std::vector<std::pair<int, int>>{{2, 0}}));
    EXPECT_TRUE(Events().contains("2:QM-A20 Trip (fault word not read) fault occured"))
        << Events().join('\n').toStdString();

    // A trip whose fault word was read is recorded once, with its word.
    status.values[0] = reg::kStatusFault;
    network.OnCommMonitor(2, status);
    CommReply fault = status;
    fault.addresses[0] = reg::kFault;
    fault.values[0] = 0x0001;
    network.OnCommMonitor(2, fault);
    status.values[0] = 0;
    network.OnCommMonitor(2, status);
    EXPECT_EQ(faults.faults, (std::vector<std::pair<int, int>>{{2, 0}, {2, 1}}));
}

TEST_F(LostDrivesTest, lostDriveComesBackByItselfAndIsAskedLessOftenWhileItStaysAway)
{
    line.AddStations({"2:QM-A20", "3:QM-E20"});
    ASSERT_TRUE(Scan({2, 3}));
    line.Step(40);
    Drive(3).SetSilenced(true);
    ASSERT_TRUE(line.StepUntil([&] { return !network.Record(3).present; }, 2000));
    EXPECT_TRUE(network.WatchingLost(3));
    // Away for a while: the probes miss and slow down, station 2 is served all along.
    line.Step(1500);
    EXPECT_GE(line.manager.LostMisses(3), 3);
    EXPECT_TRUE(network.Record(2).connected);
    EXPECT_FALSE(network.Record(3).present);

    Drive(3).SetSilenced(false);
    ASSERT_TRUE(line.StepUntil([&] { return network.Record(3).connected != 0; }, 2000));
    EXPECT_FALSE(network.WatchingLost(3));
    EXPECT_FALSE(line.manager.WatchingLost(3));
    EXPECT_EQ(network.Record(3).model, 8);
    EXPECT_EQ(line.manager.MonitorAddresses(3), (std::vector<uint16_t>{5, 10, 9, 14, 6}));
    QStringList connections;
    for (const QString& e : Events().filter("3:QM-E20"))
        if (e.endsWith("Connected") || e.endsWith("Disconnected"))
            connections << e;
    EXPECT_EQ(connections.join('\n'), "3:QM-E20 Connected\n3:QM-E20 Disconnected\n3:QM-E20 Connected");
    EXPECT_EQ(view.title, 2);
}

TEST_F(LostDrivesTest, lostDrivesAreLeftAloneWhenSwitchedOffOrLetGo)
{
    line.AddStations({"2:QM-A20", "3:QM-E20"});
    ASSERT_TRUE(Scan({2, 3}));
    line.Step(40);
    Drive(2).SetSilenced(true);
    Drive(3).SetSilenced(true);
    ASSERT_TRUE(line.StepUntil([&] { return network.ConnectedCount() == 0; }, 3000));
    network.StopWatching(2);
    network.SetLostRecheck(false);
    Drive(2).SetSilenced(false);
    Drive(3).SetSilenced(false);
    line.Step(600);
    EXPECT_EQ(network.ConnectedCount(), 0);
    network.SetLostRecheck(true);
    ASSERT_TRUE(line.StepUntil([&] { return network.Record(3).connected != 0; }, 2000));
    line.Step(600);
    EXPECT_FALSE(network.Record(2).present);
}

TEST_F(LostDrivesTest, lostLineDropsEveryStationAtOnceAndTheyAreAskedAfterLater)
{
    line.AddStations({"2:QM-A20", "3:QM-E20", "5:QM-C20"});
    ASSERT_TRUE(Scan({2, 3, 5}));
    line.Step(40);
    network.LineLost();
    EXPECT_EQ(network.ConnectedCount(), 0);
    EXPECT_EQ(view.title, 0);
    EXPECT_EQ(Events().filter("Disconnected").size(), 3);
    for (int s : {2, 3, 5})
        EXPECT_TRUE(network.WatchingLost(s)) << s;
    EXPECT_EQ(network.EverConnected(), (std::vector<int>{2, 3, 5}));
    // The line answers again: every station is found back without a command.
    ASSERT_TRUE(line.StepUntil([&] { return network.ConnectedCount() == 3; }, 3000));
}

TEST_F(LostDrivesTest, drivesDroppedWhileAnotherMasterTalksComeBackWhenItStops)
{
    line.AddStations({"2:QM-A20", "3:QM-E20", "4:QM-B20X:0015"});
    ASSERT_TRUE(Scan({2, 3, 4}));
    line.Step(40);
    // Another master's replies land on every one of ours for a while.
    const std::string foreign = kx485::BuildAck(9, 'R', std::vector<uint16_t>{1});
    for (int tick = 0; tick < 450; ++tick) {
        line.now += LineHarness::kTickMs;
        line.line.AdvanceTo(line.now);
        line.manager.Tick();
        for (char c : foreign)
            line.manager.ReceiveByte(static_cast<uint8_t>(c));
        line.port->Deliver();
        line.manager.PumpReceived();
    }
    EXPECT_EQ(network.ConnectedCount(), 0);
    EXPECT_GT(line.manager.ForeignReplies(), 0u);
    ASSERT_TRUE(line.StepUntil([&] { return network.ConnectedCount() == 3; }, 3000));
}
