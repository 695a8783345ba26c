// The main window when its serial device goes away and comes back: the simulator program is
// stopped under it and a new one started on the same link, and the window finds its stations
// again by itself.
#include "DriverLine.h"
#include "MainWindowHome.h"
#include "comm/Kx485.h"
#include "monitor/MainFrame.h"
#include "tests/platform/QStringPrinter.h"
#include "tests/support/CpuTime.h"
#include "tests/support/SimulatorProcess.h"

#include <gtest/gtest.h>
#include <QElapsedTimer>
#include <QTest>

using namespace vm;

namespace {

constexpr int kWaitMs = 20000;
constexpr int kReopenMs = 200;

// The two stations every simulator of these tests has.
const QStringList kStations = {"1:QM-A20", "2:QM-B20X:0015"};

QString Status(CInvListModel& model, int station)
{
    for (int row = 0; row < model.rowCount(); ++row)
        if (model.CellText(row, kColId) == QString::number(station))
            return model.CellText(row, kColStatus);
    return {};
}

using vm::test::ProcessCpuSeconds;

// The in-process line behind a device that can be pulled out: a port opened before the last
// Unplug is lost for good, and none opens while the device is out.
struct Socket {
    bool in = true;
    int generation = 0;
    void Unplug()
    {
        in = false;
        ++generation;
    }
};

class PluggedPort final : public CommPort {
public:
    PluggedPort(sim::SimLine& line, int64_t& clockMs, Socket& socket)
        : line_(line, clockMs), socket_(socket), generation_(socket.generation)
    {}
    bool Open(const PortSettings& s, CommErrorSink* errors, std::function<void()> onReceived) override
    {
        return socket_.in && line_.Open(s, errors, std::move(onReceived));
    }
    bool Start() override { return line_.Start(); }
    bool WriteBytes(std::span<const uint8_t> bytes) override { return !IsLost() && line_.WriteBytes(bytes); }
    bool WriteText(std::string_view text) override { return !IsLost() && line_.WriteText(text); }
    bool IsOpen() const override { return line_.IsOpen(); }
    void Close() override { line_.Close(); }
    bool ReadByte(uint8_t& byte) override { return line_.ReadByte(byte); }
    bool IsLost() const override { return generation_ != socket_.generation; }

private:
    test::QueuedSimPort line_;
    Socket& socket_;
    int generation_;
};

}  // namespace

TEST(LostPortTest, portBackWhileAScanRunsRechecksTheListedStationsOnceTheScanEnds)
{
    test::MainWindowHome home;
    sim::SimLine line(sim::Protocol::Kx485, sim::LineFaults{});
    test::AddSimStations(line, {"1:QM-A20", "2:QM-E20"});
    int64_t clock = 0;
    Socket socket;
    CMainFrame frame(home.Folders(), StartOptions{"sim", std::vector<int>{1, 2}});
    MessageLog messages;
    frame.SetMessageSink(&messages);
    frame.Manager().SetPortFactory([&] { return std::make_unique<PluggedPort>(line, clock, socket); });
    frame.Driver().SetReopenInterval(50);
    MainSettings fast = frame.Settings();
    fast.timeOut = 150;
    fast.retryCount = 1;
    ASSERT_TRUE(frame.ApplyPortSettings(fast));
    frame.Startup();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return frame.Network().ConnectedCount() == 2 && !frame.Network().Scanning(); }, kWaitMs));

    // Update runs into the loss: station 1's check fails while the device is out, and the device
    // is back while station 2 is being checked.
    frame.OnUpdate();
    socket.Unplug();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !frame.Network().Record(1).connected; }, kWaitMs));
    ASSERT_TRUE(frame.Network().Scanning());
    socket.in = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame.Log().Lines().join('\n').contains(" >> Port reopened"); },
                                kWaitMs));
    EXPECT_TRUE(frame.Network().Scanning());
    // Once that scan is done, the stations listed are checked again, station 1 included.
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame.Network().ConnectedCount() == 2; }, kWaitMs))
        << frame.windowTitle().toStdString();
    EXPECT_EQ(frame.InvList().ListedStations(), (std::vector<int>{1, 2}));
    EXPECT_TRUE(messages.Entries().empty()) << messages.Entries().front().text;
    frame.close();
}

TEST(LostPortTest, lostPortMarksEveryStationLostAtOnceAndLineHealthKeepsTheirRows)
{
    test::MainWindowHome home;
    sim::SimLine line(sim::Protocol::Kx485, sim::LineFaults{});
    test::AddSimStations(line, {"1:QM-A20", "2:QM-E20", "3:QM-B20X:0015"});
    int64_t clock = 0;
    Socket socket;
    CMainFrame frame(home.Folders(), StartOptions{"sim", std::vector<int>{1, 2, 3}});
    MessageLog messages;
    frame.SetMessageSink(&messages);
    frame.Manager().SetPortFactory([&] { return std::make_unique<PluggedPort>(line, clock, socket); });
    frame.Driver().SetReopenInterval(50);
    // The full time-out and repetitions: a station given up on by the line would take seconds.
    MainSettings slow = frame.Settings();
    slow.timeOut = 3000;
    slow.retryCount = 5;
    ASSERT_TRUE(frame.ApplyPortSettings(slow));
    frame.Startup();
    CInvListModel& list = frame.InvList().Model();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return frame.Network().ConnectedCount() == 3 && !frame.Network().Scanning(); }, kWaitMs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Status(list, 3) == "Stop"; }, kWaitMs));
    EXPECT_TRUE(frame.LineHealth().NoteText().isEmpty());
    // Another master's reply heard on the line.
    for (char c : kx485::BuildAck(9, 'R', std::vector<uint16_t>{1}))
        frame.Manager().ReceiveByte(static_cast<uint8_t>(c));

    socket.Unplug();
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame.PaneText(kPanePort) == "Port lost"; }, kWaitMs));
    // At once, not station by station as each would give up.
    for (int s : {1, 2, 3})
        EXPECT_EQ(Status(list, s), "No Connection") << s;
    EXPECT_EQ(frame.windowTitle(), "Varimon Main [0 Connected]");
    EXPECT_EQ(frame.Log().Lines().filter("Disconnected").size(), 3);
    // Line Health keeps the lost drives' rows, marked, and tells of the other master.
    frame.LineHealth().Refresh();
    const std::vector<LineHealthRow> rows = frame.HealthRows();
    ASSERT_EQ(rows.size(), 3u);
    for (const LineHealthRow& row : rows)
        EXPECT_TRUE(row.lost) << row.station;
    EXPECT_EQ(frame.LineHealth().Model().CellText(1, HealthColumn::Drive), "QM-E20 - lost");
    EXPECT_EQ(frame.LineHealth().Model().CellText(2, HealthColumn::Drive), "QM-B20X - lost");
    EXPECT_TRUE(frame.LineHealth().NoteText().contains("another master on the line"))
        << frame.LineHealth().NoteText().toStdString();

    socket.in = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame.Network().ConnectedCount() == 3; }, kWaitMs))
        << frame.windowTitle().toStdString();
    EXPECT_EQ(frame.InvList().ListedStations(), (std::vector<int>{1, 2, 3}));
    frame.LineHealth().Refresh();
    EXPECT_EQ(frame.LineHealth().Model().CellText(1, HealthColumn::Drive), "QM-E20");
    EXPECT_TRUE(messages.Entries().empty()) << messages.Entries().front().text;
    frame.close();
}

TEST(LostPortTest, portSetupWhileTheDeviceIsAwayEndsTheReopeningAndThePortLostPane)
{
    test::MainWindowHome home;
    sim::SimLine line(sim::Protocol::Kx485, sim::LineFaults{});
    test::AddSimStations(line, {"1:QM-A20"});
    int64_t clock = 0;
    Socket socket;
    CMainFrame frame(home.Folders(), StartOptions{"sim", std::vector<int>{1}});
    MessageLog messages;
    frame.SetMessageSink(&messages);
    frame.Manager().SetPortFactory([&] { return std::make_unique<PluggedPort>(line, clock, socket); });
    frame.Driver().SetReopenInterval(50);
    ASSERT_TRUE(frame.ApplyPortSettings(frame.Settings()));
    frame.Startup();
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame.Network().ConnectedCount() == 1; }, kWaitMs));
    socket.Unplug();
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame.PaneText(kPanePort) == "Port lost"; }, kWaitMs));

    // The operator's own Port Setup fails while the device is out: that is the answer, and no
    // reopening goes on behind it.
    EXPECT_FALSE(frame.ApplyPortSettings(frame.Settings()));
    EXPECT_EQ(frame.PaneText(kPanePort), "sim");
    EXPECT_FALSE(frame.Driver().IsPortLost());
    socket.in = true;
    EXPECT_FALSE(
        QTest::qWaitFor([&] { return frame.Log().Lines().join('\n').contains("Port reopened"); }, 300));
    ASSERT_EQ(messages.Entries().size(), 1u);
    EXPECT_EQ(messages.Entries()[0].text, "Can't open sim port");
    frame.close();
}

TEST(LostPortTest, mainWindowReopensTheLinkOfAStoppedSimulatorAndFindsItsStationsAgain)
{
#ifndef VARIMON_SIM_PROGRAM
    GTEST_SKIP() << "varimon-sim is not part of this build";
#endif
    test::MainWindowHome home;
    home.StoreLineTiming(300, 1);
    const QString link = home.Link();
    auto sim = std::make_unique<test::SimulatorProcess>();
    ASSERT_TRUE(sim->Start(link, kStations)) << sim->output.toStdString();

    CMainFrame frame(home.Folders(), StartOptions{link, std::vector<int>{1, 2}});
    MessageLog messages;
    frame.SetMessageSink(&messages);
    frame.Driver().SetReopenInterval(kReopenMs);
    frame.Startup();
    CInvListModel& list = frame.InvList().Model();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !frame.Network().Scanning(); }, kWaitMs));
    ASSERT_EQ(frame.windowTitle(), "Varimon Main [2 Connected]");
    EXPECT_EQ(frame.PaneText(kPanePort), "line");
    ASSERT_TRUE(messages.Entries().empty()) << messages.Entries().front().text;

    // The device goes away: one warning, "Port lost" in the pane and the log, and the stations
    // drop off as on any dead line.
    ASSERT_TRUE(sim->Quit());
    sim.reset();
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame.PaneText(kPanePort) == "Port lost"; }, kWaitMs));
    EXPECT_TRUE(frame.Log().Lines().join('\n').contains(" >> Port lost"));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return Status(list, 1) == "No Connection" && Status(list, 2) == "No Connection"; }, kWaitMs));
    EXPECT_EQ(frame.windowTitle(), "Varimon Main [0 Connected]");

    // Several reopen attempts while nothing is there: no further messages and no busy loop.
    const double cpuBefore = ProcessCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    EXPECT_FALSE(QTest::qWaitFor([&] { return !frame.Driver().IsPortLost(); }, 5 * kReopenMs));
    const double cpu = ProcessCpuSeconds() - cpuBefore;
    const double seconds = static_cast<double>(wall.elapsed()) / 1000.0;
    EXPECT_LT(cpu, 0.1 * seconds) << cpu << " s of CPU in " << seconds << " s";
    ::testing::Test::RecordProperty("cpuWhileAway",
                                    QString::asprintf("%.3f s in %.3f s", cpu, seconds).toStdString());
    ASSERT_EQ(messages.Entries().size(), 1u);
    EXPECT_EQ(messages.Entries()[0].text.rfind("WARNING:  ReadFile() Failed", 0), 0u)
        << messages.Entries()[0].text;
    EXPECT_EQ(frame.PaneText(kPanePort), "Port lost");

    // A new simulator on the same link: reopened, logged, and both stations back without any
    // command of the user's.
    test::SimulatorProcess next;
    ASSERT_TRUE(next.Start(link, kStations)) << next.output.toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame.windowTitle() == "Varimon Main [2 Connected]"; }, kWaitMs))
        << frame.windowTitle().toStdString();
    EXPECT_TRUE(frame.Log().Lines().join('\n').contains(" >> Port reopened"));
    EXPECT_EQ(frame.PaneText(kPanePort), "line");
    EXPECT_EQ(frame.InvList().ListedStations(), (std::vector<int>{1, 2}));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return Status(list, 1) == "Stop" && Status(list, 2) == "Stop"; }, kWaitMs))
        << Status(list, 1).toStdString() << " / " << Status(list, 2).toStdString();
    EXPECT_EQ(messages.Entries().size(), 1u);
    frame.close();
}
