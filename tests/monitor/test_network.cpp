// The connection scan and the status polling, driven over a simulated line on the test's clock.
#include "catalogue/MonitorItems.h"
#include "comm/ModbusRtu.h"
#include "monitor/NetworkMonitor.h"
#include "paramdb/ParameterData.h"
#include "tests/platform/QStringPrinter.h"
#include "tests/support/LineHarness.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

using namespace vm;
using vm::test::LineHarness;

namespace {

struct RecordingView : NetworkView {
    void RefreshStation(StationRecord& r) override { refreshed.push_back(r.station); }
    void RefreshValues(StationRecord& r) override { ++valueRefreshes; }
    void TitleChanged(int n) override { title = n; }
    void ScanProgress(bool visible, int position, int range) override
    {
        progressVisible = visible;
        if (visible)
            progress.push_back({position, range});
    }
    void StatusMessage(const QString& text) override { status = text; }
    void ShowError(const QString& text) override { errors << text; }

    std::vector<int> refreshed;
    int valueRefreshes = 0;
    int title = -1;
    bool progressVisible = false;
    std::vector<std::pair<int, int>> progress;
    QString status;
    QStringList errors;
};

struct RecordingFaults : FaultHistoryHook {
    void AddFault(const StationRecord& r, const QString& name) override
    {
        faults.push_back({r.station, r.fault});
        names << name;
        if (whileAdding)
            whileAdding(r.station);
    }

    std::function<void(int station)> whileAdding;
    std::vector<std::pair<int, int>> faults;
    QStringList names;
};

class NetworkTest : public ::testing::Test {
protected:
    explicit NetworkTest(sim::Protocol protocol = sim::Protocol::Kx485)
        : line(protocol, 2, 500), network(line.manager, view)
    {
        network.SetEventLog(&log);
        network.SetFaultHistory(&faults);
        network.SetDataFolder(VARIMON_TEST_DATA_DIR);
    }

    // Event messages without their time stamps.
    QStringList Events() const
    {
        QStringList out;
        for (const QString& l : log.Lines())
            out << l.section(QStringLiteral(" >> "), 1);
        return out;
    }

    bool Scan(const std::vector<int>& ids, int quickTimeoutMs = 0)
    {
        if (!network.StartScan(ids, quickTimeoutMs))
            return false;
        return line.StepUntil([&] { return !network.Scanning(); });
    }

    // Lets the monitor cycle run a while (enough for several visits of every station).
    void Poll(int ticks = 40) { line.Step(ticks); }

    sim::SimDrive& Drive(int id) { return *line.line.Station(id); }

    LineHarness line;
    RecordingView view;
    RecordingFaults faults;
    EventLog log;
    NetworkMonitor network;
};

}  // namespace

TEST_F(NetworkTest, rangeScanConnectsOnlyTheAnsweringStationAndNarrowsThePollRange)
{
    line.AddStations({"2:QM-B20X:0015:1:400"});
    ASSERT_TRUE(Scan({1, 2, 3}));

    const StationRecord& r = network.Record(2);
    EXPECT_TRUE(r.present && r.connected);
    EXPECT_EQ(r.model, 10);
    EXPECT_EQ(r.capacity, 1);
    EXPECT_EQ(r.voltage, 1);
    EXPECT_EQ(r.version, 0x0015);
    EXPECT_FALSE(network.Record(1).present);
    EXPECT_FALSE(network.Record(3).present);
    EXPECT_EQ(line.manager.PollFirst(), 2);
    EXPECT_EQ(line.manager.PollLast(), 2);
    EXPECT_EQ(view.title, 1);
    EXPECT_EQ(line.manager.MonitorAddresses(2), (std::vector<uint16_t>{5, 10, 9, 14, 6}));
    EXPECT_TRUE(line.manager.IsListener(2, &network));
    ASSERT_TRUE(r.paramData);
    EXPECT_TRUE(r.paramData->IsLoaded()) << r.paramData->StatusText();
    EXPECT_EQ(Events().value(0), "2:QM-B20X Connected");
    EXPECT_FALSE(view.progressVisible);
    EXPECT_EQ(view.status, "Finish inverter connection checking...");
}

TEST_F(NetworkTest, silentIdAdvancesTheProgressByAttempts)
{
    ASSERT_TRUE(Scan({7}));
    // Retry count 2: three attempts, each reported before the give-up.
    EXPECT_EQ(view.progress.front(), (std::pair<int, int>{0, 100}));
    EXPECT_EQ(view.progress[1], (std::pair<int, int>{1, 3}));
    EXPECT_EQ(view.progress[2], (std::pair<int, int>{2, 3}));
    EXPECT_FALSE(network.Record(7).present);
    EXPECT_TRUE(Events().isEmpty());
}

TEST_F(NetworkTest, unsupportedModelIsPresentButNeitherMonitoredNorAnnounced)
{
    line.AddStations({"4:3"});
    ASSERT_TRUE(Scan({4}));
    const StationRecord& r = network.Record(4);
    EXPECT_TRUE(r.present);
    EXPECT_FALSE(r.connected);
    EXPECT_EQ(line.manager.MonitorCount(4), 0);
    EXPECT_FALSE(line.manager.IsListener(4, &network));
    EXPECT_TRUE(Events().isEmpty());
    EXPECT_EQ(view.title, 0);
    // Still inside the poll range of present stations.
    EXPECT_EQ(line.manager.PollFirst(), 4);
}

TEST_F(NetworkTest, modelSevenFromVersion0501StoresTheShiftedCapacityCode)
{
    line.AddStations({"6:7:0501:0"});
    ASSERT_TRUE(Scan({6}));
    EXPECT_EQ(network.Record(6).capacity, -1);
    EXPECT_EQ(network.Record(6).timeScale, 10);
}

TEST_F(NetworkTest, timeScaleRegisterIsReadForModelsThatHaveOne)
{
    line.AddStations({"3:QM-A20"});
    line.line.Command("set 3 21319 0", line.now);  // 0x5347 = 0: 0.01 s steps
    ASSERT_TRUE(Scan({3}));
    EXPECT_EQ(network.Record(3).timeScale, 100);
}

TEST_F(NetworkTest, stopKeepsWhatWasFoundAndTheLateReplyDoesNotDisturbTheNextScan)
{
    line.AddStations({"2:QM-A20", "5:QM-E20", "8:QM-F20X"});
    ASSERT_TRUE(network.StartScan({1, 2, 3, 4, 5, 6, 7, 8}));
    ASSERT_TRUE(line.StepUntil([&] { return network.Record(5).connected != 0; }));
    network.StopScan();
    EXPECT_FALSE(network.Scanning());
    EXPECT_EQ(line.manager.PollFirst(), 2);
    EXPECT_EQ(line.manager.PollLast(), 5);

    // A new scan at once: the read the stopped scan left queued must not be taken for its own.
    ASSERT_TRUE(Scan({8, 9}));
    EXPECT_TRUE(network.Record(8).connected);
    EXPECT_EQ(network.Record(8).model, 9);
    EXPECT_FALSE(network.Record(9).present);
    EXPECT_EQ(network.ConnectedIds(), (std::vector<int>{2, 5, 8}));
    EXPECT_EQ(line.manager.PollLast(), 8);
}

TEST_F(NetworkTest, reConnectOfAConnectedStationRegistersNothingTwice)
{
    line.AddStations({"2:QM-A20"});
    ASSERT_TRUE(Scan({2}));
    const int eventsBefore = static_cast<int>(Events().size());
    ASSERT_TRUE(Scan({2}));
    for (uint16_t a : line.manager.MonitorAddresses(2))
        EXPECT_EQ(line.manager.MonitorRefCount(2, a), 1) << a;
    EXPECT_FALSE(Events().mid(eventsBefore).contains("2:QM-A20 Connected"));
    EXPECT_EQ(view.title, 1);
}

TEST_F(NetworkTest, scanStopsByItselfAtThirtyTwoConnectedStations)
{
    std::vector<std::string> specs;
    for (int id = 1; id <= 34; ++id)
        specs.push_back(std::to_string(id) + ":QM-E20");
    line.AddStations(specs);
    std::vector<int> ids;
    for (int id = 1; id <= 40; ++id)
        ids.push_back(id);
    ASSERT_TRUE(Scan(ids));
    EXPECT_EQ(network.ConnectedCount(), 32);
    EXPECT_FALSE(network.Record(33).present);
    EXPECT_EQ(view.title, 32);
}

TEST_F(NetworkTest, idsOutsideTheLineAreDroppedAndAnEmptyScanDoesNothing)
{
    EXPECT_FALSE(network.StartScan({}));
    EXPECT_FALSE(network.StartScan({0, 256, -1}));
    EXPECT_FALSE(network.Scanning());
    ASSERT_TRUE(network.StartScan({0, 9}));
    EXPECT_EQ(network.ScanIds(), std::vector<int>{9});
    EXPECT_FALSE(network.StartScan({3}));  // one scan at a time
}

TEST_F(NetworkTest, statusChangesAreLoggedOnceEach)
{
    line.AddStations({"2:QM-A20"});
    ASSERT_TRUE(Scan({2}));
    Poll();
    ASSERT_GT(view.valueRefreshes, 0);
    const QStringList first = Events();
    ASSERT_EQ(first.size(), 2);
    EXPECT_EQ(first[1], "2:QM-A20 0.00 Hz Stop");

    line.manager.QueueWrite(2, reg::kRunCommand, reg::kRunForward);
    Poll();
    const QStringList running = Events().mid(2);
    ASSERT_FALSE(running.isEmpty());
    EXPECT_TRUE(running.first().contains("Forward")) << running.first().toStdString();
    for (int i = 1; i < running.size(); ++i)
        EXPECT_NE(running[i], running[i - 1]);
    EXPECT_NE(network.Record(2).status & 0x02, 0);
}

TEST_F(NetworkTest, faultTurnsOnFaultWatchRecordsOnceAndResetWritesTheRunCommand)
{
    line.AddStations({"2:QM-A20"});
    ASSERT_TRUE(Scan({2}));
    Poll();
    ASSERT_TRUE(Drive(2).Trip(0));
    ASSERT_TRUE(line.StepUntil([&] { return !faults.faults.empty(); }, 200));
    EXPECT_TRUE(network.Record(2).faultWatch);
    EXPECT_EQ(line.manager.MonitorRefCount(2, 15), 1);
    EXPECT_EQ(faults.faults, (std::vector<std::pair<int, int>>{{2, 1}}));
    EXPECT_TRUE(Events().contains("2:QM-A20 Over Current (OCT) fault occured"));

    // A second fault bit while tripped changes the word but raises nothing new.
    ASSERT_TRUE(Drive(2).Trip(1));
    ASSERT_TRUE(line.StepUntil([&] { return network.Record(2).fault == 3; }, 200));
    EXPECT_EQ(faults.faults.size(), 1u);

    Drive(2).Reset();
    ASSERT_TRUE(line.StepUntil([&] { return !network.Record(2).faultWatch; }, 200));
    EXPECT_EQ(line.manager.MonitorRefCount(2, 15), 0);
    EXPECT_EQ(network.Record(2).fault, 0);
    EXPECT_EQ(line.manager.QueueLength(), 1u);  // the run command write
    Poll();
    EXPECT_EQ(line.manager.QueueLength(), 0u);
    EXPECT_EQ(faults.faults.size(), 1u);
}

TEST_F(NetworkTest, secondFaultWordOfNewerModelTenIsWatchedAndReported)
{
    line.AddStations({"3:QM-B20X:0015"});
    ASSERT_TRUE(Scan({3}));
    Poll();
    ASSERT_TRUE(Drive(3).Trip(17));  // second fault word, bit 1
    ASSERT_TRUE(line.StepUntil([&] { return !faults.faults.empty(); }, 200));
    EXPECT_EQ(line.manager.MonitorRefCount(3, 29), 1);
    EXPECT_TRUE(Events().contains("3:QM-B20X Self Diag Failure (FLTL) fault occured"))
        << Events().join('\n').toStdString();
}

TEST_F(NetworkTest, graphWatchKeepsOnlyFaultWordsAndRestoresRegistrationsExactly)
{
    line.AddStations({"2:QM-A20", "4:QM-B20X:0015"});
    ASSERT_TRUE(Scan({2, 4}));
    Poll();
    const auto before2 = line.manager.MonitorAddresses(2);
    const auto before4 = line.manager.MonitorAddresses(4);

    line.manager.SetGraphWatch(true);
    network.GraphWatchChanged();
    EXPECT_EQ(line.manager.MonitorAddresses(2), std::vector<uint16_t>{15});
    EXPECT_EQ(line.manager.MonitorAddresses(4), (std::vector<uint16_t>{15, 29}));
    EXPECT_TRUE(line.manager.IsListener(2, &network));

    // Status words are ignored now, fault words still raise their event.
    const int eventsBefore = static_cast<int>(Events().size());
    line.manager.QueueWrite(2, reg::kRunCommand, reg::kRunForward);
    Poll();
    EXPECT_EQ(Events().size(), eventsBefore);
    ASSERT_TRUE(Drive(2).Trip(0));
    ASSERT_TRUE(line.StepUntil([&] { return !faults.faults.empty(); }, 200));
    EXPECT_TRUE(Events().last().endsWith("fault occured"));
    Drive(2).Reset();
    Poll();

    line.manager.SetGraphWatch(false);
    network.GraphWatchChanged();
    network.GraphWatchChanged();  // a repeated notice changes nothing
    EXPECT_EQ(line.manager.MonitorAddresses(2), before2);
    EXPECT_EQ(line.manager.MonitorAddresses(4), before4);
    for (uint16_t a : before2)
        EXPECT_EQ(line.manager.MonitorRefCount(2, a), 1) << a;
}

TEST_F(NetworkTest, silencedStationIsDisconnectedAndAnnouncedOnce)
{
    line.AddStations({"2:QM-A20", "3:QM-E20"});
    ASSERT_TRUE(Scan({2, 3}));
    Poll();
    Drive(3).SetSilenced(true);
    ASSERT_TRUE(line.StepUntil([&] { return !network.Record(3).present; }, 2000));
    EXPECT_EQ(network.Record(3).station, 3);
    EXPECT_FALSE(network.Record(3).paramData);
    EXPECT_EQ(Events().filter("Disconnected"), QStringList{"3:QM-E20 Disconnected"});
    EXPECT_EQ(view.refreshed.back(), 3);
    EXPECT_EQ(view.title, 1);
    EXPECT_EQ(line.manager.MonitorCount(3), 0);
    EXPECT_TRUE(network.Record(2).connected);
}

TEST_F(NetworkTest, disconnectDuringAFaultAlsoReleasesTheFaultWatch)
{
    line.AddStations({"2:QM-A20"});
    ASSERT_TRUE(Scan({2}));
    Poll();
    ASSERT_TRUE(Drive(2).Trip(0));
    ASSERT_TRUE(line.StepUntil([&] { return network.Record(2).faultWatch != 0; }, 200));
    // Lost during a re-check: the scan's read gives up, not the monitor.
    Drive(2).SetSilenced(true);
    ASSERT_TRUE(network.StartScan({2}));
    ASSERT_TRUE(line.StepUntil([&] { return !network.Record(2).present; }, 2000));
    EXPECT_EQ(line.manager.MonitorCount(2), 0);
    EXPECT_FALSE(line.manager.IsListener(2, &network));
}

TEST_F(NetworkTest, faultEventKeepsTheFaultsValuesWhenTheRecordIsResetWhileTheHistoryIsBusy)
{
    line.AddStations({"2:QM-A20"});
    network.DeviceNames()[2] = QStringLiteral("Fan");
    ASSERT_TRUE(Scan({2}));
    Poll();
    // The station is lost while the history writes its record (as under a message box).
    faults.whileAdding = [&](int station) { network.Disconnect(station); };
    ASSERT_TRUE(Drive(2).Trip(0));
    ASSERT_TRUE(line.StepUntil([&] { return !faults.faults.empty(); }, 200));
    Poll(5);
    StationRecord tripped;
    tripped.station = 2;
    tripped.model = 4;
    tripped.version = 0x0015;
    tripped.fault = faults.faults[0].second;
    const QString expected =
        "2:QM-A20(Fan) " + QString::fromStdString(StationFaultText(tripped)) + " fault occured";
    EXPECT_NE(StationFaultText(tripped), "");
    EXPECT_EQ(Events().filter("fault occured"), QStringList{expected});
    // The reset record took none of the rest of that reply.
    EXPECT_EQ(network.Record(2).fault, 0);
    EXPECT_EQ(network.Record(2).status, 0);
}

TEST_F(NetworkTest, eventLinesCarryTheDeviceNameWhenThereIsOne)
{
    line.AddStations({"2:QM-A20"});
    network.DeviceNames()[2] = QStringLiteral("Pump 2");
    ASSERT_TRUE(Scan({2}));
    EXPECT_EQ(Events().value(0), "2:QM-A20(Pump 2) Connected");
    EXPECT_EQ(network.EventLine(9, "Disconnected"), "9:QM-A10 Disconnected");
}

// Frames sent to each ID and when the first of them went out, on the harness clock.
struct FrameTally {
    explicit FrameTally(LineHarness& harness)
    {
        harness.manager.SetTrafficHandler([this, &harness](int kind) {
            if (kind != CommManager::kFrameSent)
                return;
            const int id = harness.manager.CurrentReply().station;
            if (frames[id]++ == 0)
                firstSentMs[id] = harness.now;
        });
    }
    std::map<int, int> frames;
    std::map<int, int64_t> firstSentMs;
};

TEST_F(NetworkTest, quickScanGivesASilentIdOneShortAttemptAndAnAnsweringOneTheFullIdentification)
{
    line.AddStations({"2:QM-B20X:0015:1:400"});
    FrameTally quick(line);
    ASSERT_TRUE(Scan({1, 2, 3}, 100));
    EXPECT_EQ(quick.frames[1], 1);
    EXPECT_EQ(quick.frames[3], 1);
    // The silent ID held the line no longer than its short time-out and the give-up tick.
    const int64_t silentMs = quick.firstSentMs[2] - quick.firstSentMs[1];
    EXPECT_LE(silentMs, (line.manager.ProbeTimeoutTicks(100) + 3) * LineHarness::kTickMs);
    EXPECT_LT(silentMs, 500);
    ASSERT_TRUE(network.Record(2).present && network.Record(2).connected);
    EXPECT_EQ(network.Record(2).version, 0x0015);

    // The answering ID took exactly the reads a normal scan takes; the silent ones the full repetitions.
    LineHarness normalLine(sim::Protocol::Kx485, 2, 500);
    normalLine.AddStations({"2:QM-B20X:0015:1:400"});
    RecordingView normalView;
    NetworkMonitor normal(normalLine.manager, normalView);
    normal.SetDataFolder(VARIMON_TEST_DATA_DIR);
    FrameTally full(normalLine);
    ASSERT_TRUE(normal.StartScan({1, 2, 3}));
    ASSERT_TRUE(normalLine.StepUntil([&] { return !normal.Scanning(); }));
    EXPECT_EQ(full.frames[1], 3);
    EXPECT_EQ(full.frames[3], 3);
    EXPECT_EQ(quick.frames[2], full.frames[2]);
    EXPECT_GT(full.firstSentMs[2] - full.firstSentMs[1], 1000);
}

TEST_F(NetworkTest, quickScanTreatsAGarbledAnswerAsAStationAndRepeatsAsUsual)
{
    FrameTally tally(line);
    ASSERT_TRUE(network.StartScan({5}, 100));
    line.Step();  // the probe is out; a reply with a bad checksum comes back
    ASSERT_EQ(tally.frames[5], 1);
    std::string garbled = kx485::BuildAck(5, 'R', std::vector<uint16_t>{7});
    garbled[garbled.size() - 2] = garbled[garbled.size() - 2] == '0' ? '1' : '0';
    for (char c : garbled)
        line.manager.ReceiveByte(static_cast<uint8_t>(c));
    ASSERT_TRUE(line.StepUntil([&] { return !network.Scanning(); }));
    // The probe, then one normal read with its two repetitions.
    EXPECT_EQ(tally.frames[5], 4);
    EXPECT_FALSE(network.Record(5).present);
}

TEST(QuickScanTimeOut, leavesASlowLineTimeForTheFramesThemselves)
{
    LineHarness harness;
    const int fastMs = harness.manager.ProbeTimeoutTicks(100) * LineHarness::kTickMs;
    CommSettings s;
    s.portName = "sim";
    s.baudRate = 1200;
    ASSERT_EQ(harness.manager.Start(s), 0);
    const int slowMs = harness.manager.ProbeTimeoutTicks(100) * LineHarness::kTickMs;
    // A 12-byte read and its 12-byte answer take 200 ms at 1200 baud, 25 ms at 9600.
    EXPECT_GE(slowMs, 100 + 200);
    EXPECT_GE(fastMs, 100 + 25);
    EXPECT_LT(fastMs, 200);
}

namespace {
class ModbusNetworkTest : public NetworkTest {
protected:
    ModbusNetworkTest() : NetworkTest(sim::Protocol::Modbus) {}
};
}  // namespace

TEST_F(ModbusNetworkTest, scanAndPollingWorkOverModbus)
{
    line.AddStations({"5:QM-F20X"});
    ASSERT_TRUE(Scan({5}));
    EXPECT_TRUE(network.Record(5).connected);
    line.manager.QueueWrite(5, reg::kRunCommand, reg::kRunForward);
    ASSERT_TRUE(line.StepUntil(
        [&] { return network.Record(5).speed > 0 && (network.Record(5).status & 0x02) != 0; }, 400));
}

namespace {

// A Modbus drive that refuses every request: each frame is answered by exception 2.
class RefusingPort : public CommPort {
public:
    explicit RefusingPort(int* frames) : frames_(frames) {}
    bool Open(const PortSettings&, CommErrorSink*, std::function<void()>) override { return true; }
    bool Start() override { return true; }
    bool WriteBytes(std::span<const uint8_t> bytes) override
    {
        ++*frames_;
        rx_ = modbus::BuildException(bytes[0], bytes[1], 2);
        return true;
    }
    bool WriteText(std::string_view) override { return false; }
    bool IsOpen() const override { return true; }
    void Close() override {}
    bool ReadByte(uint8_t& byte) override
    {
        if (rx_.empty())
            return false;
        byte = rx_.front();
        rx_.erase(rx_.begin());
        return true;
    }

private:
    int* frames_;
    std::vector<uint8_t> rx_;
};

}  // namespace

// --- the real driver under a handler that runs its own event loop ----------------------------

#include "platform/CommDriver.h"
#include "tests/monitor/DriverLine.h"

#include <QEventLoop>
#include <QTest>
#include <QTimer>

namespace {

// A view whose handler, once armed, runs a nested event loop (as a modal box does) for 2 s of
// test time, and counts the value updates of each station that arrive meanwhile.
struct NestingView : RecordingView {
    enum class Where { Values, Loss };

    void RefreshValues(StationRecord& r) override
    {
        RecordingView::RefreshValues(r);
        if (nesting)
            ++updatesWhileNested[r.station];
        else if (armed && where == Where::Values)
            Nest();
    }
    void RefreshStation(StationRecord& r) override
    {
        RecordingView::RefreshStation(r);
        if (armed && !nesting && where == Where::Loss && !r.present)
            Nest();
    }

    void Nest()
    {
        armed = false;
        nesting = true;
        const int64_t until = *clock + 2000;
        QEventLoop loop;
        QTimer check;
        QObject::connect(&check, &QTimer::timeout, &loop, [&] {
            if (*clock >= until)
                loop.quit();
        });
        check.start(5);
        QTimer::singleShot(30000, &loop, [&] { loop.quit(); });  // a stalled line ends it too
        loop.exec();
        nesting = false;
        nestedFor = *clock - (until - 2000);
    }

    const int64_t* clock = nullptr;
    Where where = Where::Values;
    bool armed = false;
    bool nesting = false;
    int64_t nestedFor = 0;
    std::map<int, int> updatesWhileNested;
};

class DriverLineTest : public ::testing::TestWithParam<NestingView::Where> {
protected:
    DriverLineTest() : simLine(sim::Protocol::Kx485, sim::LineFaults{}), network(driver.Manager(), view)
    {
        view.clock = &clock;
        view.where = GetParam();
        network.SetEventLog(&log);
        network.SetDataFolder(VARIMON_TEST_DATA_DIR);
        driver.Manager().SetPortFactory(
            [this] { return std::make_unique<test::QueuedSimPort>(simLine, clock); });
    }

    QStringList Events() const
    {
        QStringList out;
        for (const QString& l : log.Lines())
            out << l.section(QStringLiteral(" >> "), 1);
        return out;
    }

    sim::SimLine simLine;
    int64_t clock = 0;
    CommDriver driver;
    NestingView view;
    EventLog log;
    NetworkMonitor network;
};

}  // namespace

TEST(ModbusNetwork, stationRefusingItsModelRegisterEndsItsCheckAtOnce)
{
    int frames = 0;
    CommManager manager;
    manager.SetPortFactory([&] { return std::make_unique<RefusingPort>(&frames); });
    CommSettings settings;
    settings.protocolMode = kModbusRtu;
    ASSERT_EQ(manager.Start(settings), 0);
    RecordingView view;
    NetworkMonitor network(manager, view);
    ASSERT_TRUE(network.StartScan({3}));
    for (int tick = 0; tick < 10 && network.Scanning(); ++tick) {
        manager.Tick();
        manager.PumpReceived();
    }
    EXPECT_FALSE(network.Scanning());
    EXPECT_EQ(frames, 1);  // asked once: the answer would not change
    EXPECT_FALSE(network.Record(3).present);
}

TEST_P(DriverLineTest, nestedEventLoopInsideANotificationStarvesNoStation)
{
    test::AddSimStations(simLine, {"1:QM-A20", "2:QM-E20", "3:QM-A20", "4:QM-B20X:0015:1:400"});
    CommSettings s;
    s.portName = "sim";
    s.timeoutMs = 150;  // five ticks: three missed answers lose a station within half a second
    s.retryCount = 2;
    ASSERT_EQ(driver.Start(s), 0);
    ASSERT_TRUE(network.StartScan({1, 2, 3, 4}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !network.Scanning(); }, 20000));
    ASSERT_EQ(network.ConnectedIds(), (std::vector<int>{1, 2, 3, 4}));

    if (GetParam() == NestingView::Where::Loss)
        simLine.Station(4)->SetSilenced(true);  // its loss comes from the tick's give-up
    view.armed = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view.armed && !view.nesting; }, 40000));
    EXPECT_GE(view.nestedFor, 2000);

    const std::vector<int> live =
        GetParam() == NestingView::Where::Loss ? std::vector<int>{1, 2, 3} : std::vector<int>{1, 2, 3, 4};
    EXPECT_EQ(network.ConnectedIds(), live);
    for (int id : live)
        EXPECT_GT(view.updatesWhileNested[id], 3) << "station " << id << " was not polled meanwhile";
    const QStringList lost = Events().filter("Disconnected");
    EXPECT_EQ(lost,
              GetParam() == NestingView::Where::Loss ? QStringList{"4:QM-B20X Disconnected"} : QStringList{});
}

INSTANTIATE_TEST_SUITE_P(NestedLoop, DriverLineTest,
                         ::testing::Values(NestingView::Where::Values, NestingView::Where::Loss),
                         [](const auto& info) {
                             return info.param == NestingView::Where::Values ? "InsideAMonitorResult"
                                                                             : "InsideATickGiveUp";
                         });
