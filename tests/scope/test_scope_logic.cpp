// Sampling, value conversion, the reverse sign, the level trigger and the stored settings of the
// graph monitor, without widgets.

#include "catalogue/Registers.h"
#include "scope/ScopeLogic.h"
#include "scope/ScopeSettings.h"

#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vm;
using namespace vm::scope;

namespace {

struct Fixture {
    std::array<StationRecord, 256> records{};
    ScopeLogic logic{[this](int s) -> const StationRecord& { return records.at(static_cast<size_t>(s)); }};

    // Channel i on station s watching `address` of the model's graph item set.
    void Watch(int i, int s, int model, int version, uint16_t address)
    {
        records[static_cast<size_t>(s)].model = model;
        records[static_cast<size_t>(s)].version = version;
        ScopeChannel& c = logic.channels[static_cast<size_t>(i)];
        c.on = true;
        c.station = s;
        c.items = BuildItemSet(model, version, kSetGraph);
        for (size_t k = 0; k < c.items.size(); ++k)
            if (c.items[k].address == address) {
                c.address = address;
                c.addressIndex = static_cast<int>(k);
                break;
            }
        ASSERT_EQ(c.address, address);
        logic.monitoring = true;
    }

    static CommReply Reply(int station, std::vector<std::pair<uint32_t, uint32_t>> entries, int error = kNoError)
    {
        CommReply r;
        r.station = station;
        r.error = error;
        r.count = static_cast<int>(entries.size());
        for (size_t i = 0; i < entries.size(); ++i) {
            r.addresses[i] = entries[i].first;
            r.values[i] = entries[i].second;
        }
        return r;
    }
};

}  // namespace

TEST(ScopeConversion, FrequencyIsScaledAndPlottedWithOffsetAndDivision)
{
    Fixture f;
    f.Watch(0, 3, kModelQmA20, 0x100, reg::kSpeed);
    f.logic.OnMonitor(3, Fixture::Reply(3, {{reg::kSpeed, 1000}}));
    EXPECT_DOUBLE_EQ(f.logic.channels[0].value, 10.0);
    f.logic.channels[0].offsetIndex = 0;     // +100
    f.logic.channels[0].divisionIndex = 6;   // 2 per division
    const auto s = f.logic.OnSample(0);
    EXPECT_DOUBLE_EQ(s.plotted[0], 105.0);
    EXPECT_EQ(s.labels[0], "10.00 Hz");
    EXPECT_DOUBLE_EQ(CursorValue(s.plotted[0], 0, 6), 10.0);
}

TEST(ScopeConversion, SpeedInRpmModePlotsWhatTheKeypadShows)
{
    Fixture f;
    f.Watch(0, 3, kModelQmA20, 0x100, reg::kSpeed);
    f.records[3].value26 = 1;
    f.logic.OnMonitor(3, Fixture::Reply(3, {{reg::kSpeed, 1750}}));
    EXPECT_DOUBLE_EQ(f.logic.channels[0].value, 1750.0);
    EXPECT_EQ(f.logic.OnSample(0).labels[0], "1750.00 rpm");
}

TEST(ScopeConversion, SignedAnalogAndBitItems)
{
    MonitorItem rpm5{"Drive Speed Feedback", 21, 0, 0, 1, 0, 0, 3600, "rpm"};
    EXPECT_DOUBLE_EQ(GraphValue(rpm5, 0xFFF6, kModelQmC20, 0), -10.0);
    EXPECT_DOUBLE_EQ(GraphValue(rpm5, 0xFFF6, kModelQmA20, 0), 65526.0);
    MonitorItem v2{"V2", 19, 0, 0, 10, 0, 0, -100, "V"};
    EXPECT_DOUBLE_EQ(GraphValue(v2, 1023, kModelQmB20X, 0), -10.0);
    EXPECT_DOUBLE_EQ(GraphValue(v2, 1023, kModelQmC20, 0), 0.0);

    Fixture f;
    f.Watch(1, 4, kModelQmA20, 0x100, reg::kTerminals);  // first input terminal item: "FX" bit 0
    f.logic.channels[1].addressIndex += 1;                // "RX", bit 1
    f.logic.OnMonitor(4, Fixture::Reply(4, {{reg::kTerminals, 0x0002}}));
    EXPECT_DOUBLE_EQ(f.logic.channels[1].value, 1.0);
    f.logic.OnMonitor(4, Fixture::Reply(4, {{reg::kTerminals, 0x0001}}));
    EXPECT_DOUBLE_EQ(f.logic.channels[1].value, 0.0);
}

TEST(ScopeConversion, LegendNameStopsBeforeTheParenthesis)
{
    EXPECT_EQ(LegendName("Q1(OC1)"), "Q1");
    EXPECT_EQ(LegendName("Output Current"), "Output Current");
    EXPECT_EQ(LegendName("(odd)"), "(odd)");
    EXPECT_EQ(LegendName("Over Current (OCT)"), "Over Current");
}

TEST(ScopeSampling, ReverseRunningNegatesSpeedsFromTheMonitorsOwnStatusCopy)
{
    Fixture f;
    f.Watch(0, 3, kModelQmA20, 0x100, reg::kFreqCommand);
    const auto regs = f.logic.Registrations();
    ASSERT_EQ(regs.count(3), 1u);
    EXPECT_NE(std::find(regs.at(3).begin(), regs.at(3).end(), reg::kStatus), regs.at(3).end());

    // The main window's copy is frozen at "forward" (graph watch); the notification says reverse.
    f.records[3].status = reg::kStatusForward;
    f.logic.OnMonitor(3, Fixture::Reply(3, {{reg::kFreqCommand, 3000}, {reg::kStatus, reg::kStatusReverse}}));
    EXPECT_DOUBLE_EQ(f.logic.channels[0].value, -30.0);
    EXPECT_LT(f.logic.OnSample(0).plotted[0], 0.0);
    f.logic.OnMonitor(3, Fixture::Reply(3, {{reg::kFreqCommand, 3000}, {reg::kStatus, reg::kStatusForward}}));
    EXPECT_DOUBLE_EQ(f.logic.channels[0].value, 30.0);
}

TEST(ScopeSampling, SecondFaultWordDoesNotHideATripInTheFirst)
{
    Fixture f;
    f.Watch(0, 5, kModelQmB20X, 21, reg::kFault);
    const auto regs = f.logic.Registrations().at(5);
    EXPECT_EQ(regs, (std::vector<uint16_t>{reg::kFault, reg::kFault2}));
    f.logic.OnMonitor(5, Fixture::Reply(5, {{reg::kFault, 0x0001}, {reg::kFault2, 0}}));
    EXPECT_DOUBLE_EQ(f.logic.channels[0].value, 1.0);
    f.logic.OnMonitor(5, Fixture::Reply(5, {{reg::kFault, 0}, {reg::kFault2, 0x0004}}));
    EXPECT_DOUBLE_EQ(f.logic.channels[0].value, 1.0);
    f.logic.OnMonitor(5, Fixture::Reply(5, {{reg::kFault, 0}, {reg::kFault2, 0}}));
    EXPECT_DOUBLE_EQ(f.logic.channels[0].value, 0.0);
    // Version 20 has no second word to register.
    f.records[5].version = 20;
    EXPECT_EQ(f.logic.Registrations().at(5), (std::vector<uint16_t>{reg::kFault}));
}

TEST(ScopeSampling, GiveUpZeroesOnlyThatStationsChannelsAndOtherErrorsChangeNothing)
{
    Fixture f;
    f.Watch(0, 3, kModelQmA20, 0x100, reg::kCurrent);
    f.Watch(1, 4, kModelQmA20, 0x100, reg::kCurrent);
    f.logic.OnMonitor(3, Fixture::Reply(3, {{reg::kCurrent, 123}}));
    f.logic.OnMonitor(4, Fixture::Reply(4, {{reg::kCurrent, 55}}));
    f.logic.OnMonitor(3, Fixture::Reply(3, {}, kTimeoutError));
    EXPECT_DOUBLE_EQ(f.logic.channels[0].value, 12.3);
    f.logic.OnMonitor(3, Fixture::Reply(3, {}, kGiveUp));
    EXPECT_DOUBLE_EQ(f.logic.channels[0].value, 0.0);
    EXPECT_DOUBLE_EQ(f.logic.channels[1].value, 5.5);
    EXPECT_EQ(f.logic.RecordValues(), (std::array<double, 4>{0.0, 5.5, 0.0, 0.0}));
}

TEST(ScopeSampling, ChannelsThatAreNotReadyReadZeroAndHaveNoLabel)
{
    Fixture f;
    f.Watch(0, 3, kModelQmA20, 0x100, reg::kCurrent);
    f.logic.channels[2].value = 7.0;  // stale
    f.logic.OnMonitor(3, Fixture::Reply(3, {{reg::kCurrent, 10}}));
    const auto s = f.logic.OnSample(0);
    EXPECT_DOUBLE_EQ(s.plotted[2], 0.0);
    EXPECT_TRUE(s.labels[2].empty());
    EXPECT_EQ(s.labels[0], "1.00 A");
}

TEST(ScopeTrigger, RisingFiresAtExactEqualityButNotAboveIt)
{
    LevelTrigger t;
    t.Arm(0, LevelTrigger::Edge::kRising, 50.0);
    EXPECT_EQ(t.OnSample(true, true, 49.9, 0), LevelTrigger::Step::kNothing);  // primes
    EXPECT_EQ(t.OnSample(true, true, 50.0, 1), LevelTrigger::Step::kFired);
    EXPECT_EQ(t.Point(), 1);

    LevelTrigger u;
    u.Arm(0, LevelTrigger::Edge::kRising, 50.0);
    u.OnSample(true, true, 50.0, 0);
    EXPECT_EQ(u.OnSample(true, true, 50.1, 1), LevelTrigger::Step::kNothing);
    EXPECT_FALSE(u.Occurred());
}

TEST(ScopeTrigger, FallingFiresAtExactEquality)
{
    LevelTrigger t;
    t.Arm(0, LevelTrigger::Edge::kFalling, 50.0);
    t.OnSample(true, true, 50.1, 0);
    EXPECT_EQ(t.OnSample(true, true, 50.0, 1), LevelTrigger::Step::kFired);
    LevelTrigger u;
    u.Arm(0, LevelTrigger::Edge::kFalling, 50.0);
    u.OnSample(true, true, 50.0, 0);
    EXPECT_EQ(u.OnSample(true, true, 49.0, 1), LevelTrigger::Step::kNothing);
}

TEST(ScopeTrigger, StopsAfterExactlyTenFurtherSamples)
{
    LevelTrigger t;
    t.Arm(0, LevelTrigger::Edge::kRising, 1.0);
    t.OnSample(true, true, 0.0, 0);
    ASSERT_EQ(t.OnSample(true, true, 2.0, 1), LevelTrigger::Step::kFired);
    int further = 0;
    LevelTrigger::Step step = LevelTrigger::Step::kNothing;
    while (step != LevelTrigger::Step::kStop && further < 50) {
        ++further;
        // Later samples may leave the channel unready; they still count.
        step = t.OnSample(further % 2 == 0, true, 0.0, 1 + further);
    }
    EXPECT_EQ(further, 10);
}

TEST(ScopeTrigger, SamplesBeforeTheFirstRealValueNeitherPrimeNorFire)
{
    // A restored trigger at level 0.5 falling: the 0 of a sample before any data must not count.
    Fixture f;
    f.Watch(0, 3, kModelQmA20, 0x100, reg::kCurrent);
    f.logic.trigger.Arm(0, LevelTrigger::Edge::kRising, 0.5);
    EXPECT_EQ(f.logic.OnSample(0).trigger, LevelTrigger::Step::kNothing);
    f.logic.OnMonitor(3, Fixture::Reply(3, {{reg::kCurrent, 100}}));  // 10 A, first real value
    EXPECT_EQ(f.logic.OnSample(1).trigger, LevelTrigger::Step::kNothing);
    EXPECT_FALSE(f.logic.trigger.Occurred());
    f.logic.OnMonitor(3, Fixture::Reply(3, {{reg::kCurrent, 0}}));
    f.logic.OnSample(2);
    f.logic.OnMonitor(3, Fixture::Reply(3, {{reg::kCurrent, 5}}));
    EXPECT_EQ(f.logic.OnSample(3).trigger, LevelTrigger::Step::kFired);
}

TEST(ScopeTrigger, BitItemsAndTheFaultWordForceTheLevel)
{
    MonitorItem bit{"FX", 16, 0, 1, 1, 0, 0, 0, ""};
    EXPECT_DOUBLE_EQ(ForcedLevel(nullptr, reg::kFault, 0.5), 0.0);
    EXPECT_DOUBLE_EQ(ForcedLevel(nullptr, reg::kFault, 1.0), 1.0);
    EXPECT_DOUBLE_EQ(ForcedLevel(&bit, 16, 7.0), 1.0);
    EXPECT_DOUBLE_EQ(ForcedLevel(nullptr, reg::kCurrent, 0.5), 0.5);
}

TEST(ScopeSettingsRead, EveryKeyIsClampedAndRunStatesFollowTheChannels)
{
    QTemporaryDir dir;
    QSettings s(dir.filePath("scope.ini"), QSettings::IniFormat);
    s.beginGroup("Scope");
    s.setValue("Ch0-ID", 300);
    s.setValue("Ch1-ID", -4);
    s.setValue("Ch1-AddrIndex", -3);
    s.setValue("Ch2-Offset", 17);
    s.setValue("Ch3-Div", -1);
    s.setValue("Ch3-Width", 9);
    s.setValue("Time Span", 20);
    s.setValue("Scan Time", -1);
    s.setValue("Trigger Channel", 7);
    s.setValue("SnapShot Filter Index", 0);
    s.setValue("Trigger Level", "nan");
    s.setValue("YAxis Min", "500");
    s.setValue("YAxis Max", "100");
    s.setValue("Monitor Run", 1);
    s.setValue("Record Run", 1);
    s.setValue("Graph Watch Mode", 1);
    s.endGroup();

    ScopeSettings read;
    read.Read(s, dir.path());
    EXPECT_EQ(read.channels[0].station, 0);
    EXPECT_EQ(read.channels[1].station, 0);
    EXPECT_EQ(read.channels[1].addressIndex, 0);
    EXPECT_EQ(read.channels[2].offsetIndex, kDefaultOffsetIndex);
    EXPECT_EQ(read.channels[3].divisionIndex, kDefaultDivisionIndex);
    EXPECT_EQ(read.channels[3].widthIndex, 0);
    EXPECT_EQ(read.spanIndex, 5);
    EXPECT_EQ(read.scanIndex, 3);
    EXPECT_EQ(read.triggerChannel, 0);
    EXPECT_EQ(read.snapshotFormat, 3);
    EXPECT_DOUBLE_EQ(read.triggerLevel, 0.0);
    EXPECT_DOUBLE_EQ(read.yMin, 100.0);
    EXPECT_DOUBLE_EQ(read.yMax, 500.0);
    // No channel on: nothing resumes.
    EXPECT_FALSE(read.monitorRun);
    EXPECT_FALSE(read.recordRun);
    EXPECT_FALSE(read.graphWatch);
    EXPECT_EQ(read.recordPath, dir.path() + "/scope.csv");
}

TEST(ScopeSettingsRead, WrittenSettingsReadBackWithColoursInRegistryOrder)
{
    QTemporaryDir dir;
    QSettings s(dir.filePath("scope.ini"), QSettings::IniFormat);
    ScopeSettings w;
    w.channels[1].on = true;
    w.channels[1].station = 7;
    w.channels[1].address = 9;
    w.monitorRun = true;
    w.triggerRun = true;
    w.triggerLevel = -12.5;
    w.grid = 0x102030;
    w.Write(s);
    s.beginGroup("Scope");
    EXPECT_EQ(s.value("Grid Color").toInt(), 0x302010);
    EXPECT_EQ(s.value("Trigger Level").toString(), "-12.500000");
    EXPECT_EQ(s.value("First").toInt(), 0);
    s.endGroup();
    ScopeSettings r;
    r.Read(s, dir.path());
    EXPECT_EQ(r.grid, 0x102030u);
    EXPECT_TRUE(r.monitorRun);
    EXPECT_TRUE(r.triggerRun);
    EXPECT_EQ(r.channels[1].station, 7);
    EXPECT_DOUBLE_EQ(r.triggerLevel, -12.5);
    EXPECT_FALSE(r.first);
}
