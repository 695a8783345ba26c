// Sampling, value conversion, the reverse sign, the level trigger and the stored settings of the
// graph monitor, without widgets.

#include "catalogue/Registers.h"
#include "scope/ScopeLogic.h"
#include "scope/ScopeSettings.h"

#include <QDateTime>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

using namespace vm;
using namespace vm::scope;

namespace {

struct Fixture {
    std::array<StationRecord, 288> records{};
    ScopeLogic logic{[this](int s) -> const StationRecord& { return records.at(static_cast<size_t>(s)); }};
    int64_t now = 1000;

    int64_t Now() { return now += 100; }

    // Channel i on connected station s watching `address` of the model's graph item set, and
    // monitoring (re)started.
    void Watch(int i, int s, int model, int version, uint16_t address)
    {
        StationRecord& r = records[static_cast<size_t>(s)];
        r.model = model;
        r.version = version;
        r.present = r.connected = 1;
        logic.SetOn(i, true);
        logic.SetStation(i, s);
        const auto& items = logic.Channel(i).items;
        for (size_t k = 0; k < items.size(); ++k)
            if (items[k].address == address) {
                logic.SetAddressIndex(i, static_cast<int>(k));
                break;
            }
        ASSERT_EQ(logic.Channel(i).address, address);
        ASSERT_TRUE(logic.StartMonitor(46000.0, Now()));
    }

    struct Taken {
        std::array<double, 4> plotted{};
        std::array<SampleMark, 4> marks{};
        std::array<std::string, 4> labels;
        LevelTrigger::Step trigger = LevelTrigger::Step::Nothing;
    };
    // One sample tick, with what it put into the store.
    Taken Sample()
    {
        const ScopeLogic::Sample s = logic.OnSample(Now());
        Taken t;
        for (int i = 0; i < 4; ++i) {
            t.plotted[static_cast<size_t>(i)] = logic.Store().Y(i, s.point);
            t.marks[static_cast<size_t>(i)] = logic.Store().Mark(i, s.point);
        }
        t.labels = s.labels;
        t.trigger = s.trigger;
        return t;
    }

    static CommReply Reply(int station, std::vector<std::pair<uint32_t, uint32_t>> entries,
                           int error = kNoError)
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

TEST(ScopeConversion, frequencyIsScaledAndPlottedWithOffsetAndDivision)
{
    Fixture f;
    f.Watch(0, 3, kModelQmA20, 0x100, reg::kSpeed);
    f.logic.OnMonitor(3, Fixture::Reply(3, {{reg::kSpeed, 1000}}), f.Now());
    EXPECT_DOUBLE_EQ(f.logic.LiveValue(0), 10.0);
    f.logic.SetOffset(0, 0);    // +100
    f.logic.SetDivision(0, 6);  // 2 per division
    const auto s = f.Sample();
    EXPECT_DOUBLE_EQ(s.plotted[0], 105.0);
    EXPECT_EQ(s.labels[0], "10.00 Hz");
    EXPECT_DOUBLE_EQ(CursorValue(s.plotted[0], 0, 6), 10.0);
}

TEST(ScopeConversion, speedInRpmModePlotsWhatTheKeypadShows)
{
    Fixture f;
    f.Watch(0, 3, kModelQmA20, 0x100, reg::kSpeed);
    f.records[3].value26 = 1;
    f.logic.OnMonitor(3, Fixture::Reply(3, {{reg::kSpeed, 1750}}), f.Now());
    EXPECT_DOUBLE_EQ(f.logic.LiveValue(0), 1750.0);
    EXPECT_EQ(f.Sample().labels[0], "1750.00 rpm");
}

TEST(ScopeConversion, signedAnalogAndBitItems)
{
    MonitorItem rpm5{"Drive Speed Feedback", 21, 0, 0, 1, 0, 0, 3600, "rpm"};
    EXPECT_DOUBLE_EQ(GraphValue(rpm5, 0xFFF6, kModelQmC20, 0), -10.0);
    EXPECT_DOUBLE_EQ(GraphValue(rpm5, 0xFFF6, kModelQmA20, 0), 65526.0);
    MonitorItem v2{"V2", 19, 0, 0, 10, 0, 0, -100, "V"};
    EXPECT_DOUBLE_EQ(GraphValue(v2, 1023, kModelQmB20X, 0), -10.0);
    EXPECT_DOUBLE_EQ(GraphValue(v2, 1023, kModelQmC20, 0), 0.0);

    Fixture f;
    f.Watch(1, 4, kModelQmA20, 0x100, reg::kTerminals);               // first input terminal item: "FX" bit 0
    f.logic.SetAddressIndex(1, f.logic.Channel(1).addressIndex + 1);  // "RX", bit 1
    f.logic.OnMonitor(4, Fixture::Reply(4, {{reg::kTerminals, 0x0002}}), f.Now());
    EXPECT_DOUBLE_EQ(f.logic.LiveValue(1), 1.0);
    f.logic.OnMonitor(4, Fixture::Reply(4, {{reg::kTerminals, 0x0001}}), f.Now());
    EXPECT_DOUBLE_EQ(f.logic.LiveValue(1), 0.0);
}

TEST(ScopeConversion, legendNameStopsBeforeTheParenthesis)
{
    EXPECT_EQ(LegendName("Q1(OC1)"), "Q1");
    EXPECT_EQ(LegendName("Output Current"), "Output Current");
    EXPECT_EQ(LegendName("(odd)"), "(odd)");
    EXPECT_EQ(LegendName("Over Current (OCT)"), "Over Current");
}

TEST(ScopeSampling, reverseRunningNegatesSpeedsFromTheMonitorsOwnStatusCopy)
{
    Fixture f;
    f.Watch(0, 3, kModelQmA20, 0x100, reg::kFreqCommand);
    const auto regs = f.logic.Registrations();
    ASSERT_EQ(regs.count(3), 1u);
    EXPECT_NE(std::find(regs.at(3).begin(), regs.at(3).end(), reg::kStatus), regs.at(3).end());

    // The main window's copy is frozen at "forward" (graph watch); the notification says reverse.
    f.records[3].status = reg::kStatusForward;
    f.logic.OnMonitor(3, Fixture::Reply(3, {{reg::kFreqCommand, 3000}, {reg::kStatus, reg::kStatusReverse}}),
                      f.Now());
    EXPECT_DOUBLE_EQ(f.logic.LiveValue(0), -30.0);
    EXPECT_LT(f.Sample().plotted[0], 0.0);
    f.logic.OnMonitor(3, Fixture::Reply(3, {{reg::kFreqCommand, 3000}, {reg::kStatus, reg::kStatusForward}}),
                      f.Now());
    EXPECT_DOUBLE_EQ(f.logic.LiveValue(0), 30.0);
}

TEST(ScopeSampling, secondFaultWordDoesNotHideATripInTheFirst)
{
    Fixture f;
    f.Watch(0, 5, kModelQmB20X, 21, reg::kFault);
    const auto regs = f.logic.Registrations().at(5);
    EXPECT_EQ(regs, (std::vector<uint16_t>{reg::kFault, reg::kFault2}));
    f.logic.OnMonitor(5, Fixture::Reply(5, {{reg::kFault, 0x0001}, {reg::kFault2, 0}}), f.Now());
    EXPECT_DOUBLE_EQ(f.logic.LiveValue(0), 1.0);
    f.logic.OnMonitor(5, Fixture::Reply(5, {{reg::kFault, 0}, {reg::kFault2, 0x0004}}), f.Now());
    EXPECT_DOUBLE_EQ(f.logic.LiveValue(0), 1.0);
    f.logic.OnMonitor(5, Fixture::Reply(5, {{reg::kFault, 0}, {reg::kFault2, 0}}), f.Now());
    EXPECT_DOUBLE_EQ(f.logic.LiveValue(0), 0.0);
    // Version 20 has no second word to register.
    f.records[5].version = 20;
    EXPECT_EQ(f.logic.Registrations().at(5), (std::vector<uint16_t>{reg::kFault}));
}

TEST(ScopeSampling, giveUpMakesOnlyThatStationsChannelsMissingAndOtherErrorsChangeNothing)
{
    Fixture f;
    f.Watch(0, 3, kModelQmA20, 0x100, reg::kCurrent);
    f.Watch(1, 4, kModelQmA20, 0x100, reg::kCurrent);
    f.logic.OnMonitor(3, Fixture::Reply(3, {{reg::kCurrent, 123}}), f.Now());
    f.logic.OnMonitor(4, Fixture::Reply(4, {{reg::kCurrent, 55}}), f.Now());
    f.logic.OnMonitor(3, Fixture::Reply(3, {}, kTimeoutError), f.Now());
    EXPECT_DOUBLE_EQ(f.logic.LiveValue(0), 12.3);
    f.logic.OnMonitor(3, Fixture::Reply(3, {}, kGiveUp), f.Now());
    EXPECT_TRUE(std::isnan(f.logic.LiveValue(0)));
    EXPECT_DOUBLE_EQ(f.logic.LiveValue(1), 5.5);
    const RecordRow row = f.logic.NextRecordRow(f.Now(), QDateTime());
    EXPECT_TRUE(std::isnan(row.values[0]));
    EXPECT_DOUBLE_EQ(row.values[1], 5.5);
    EXPECT_DOUBLE_EQ(row.values[2], 0.0);  // not ready: 0 as before
}

TEST(ScopeSampling, channelsThatAreNotReadyReadZeroAndHaveNoLabel)
{
    Fixture f;
    f.Watch(0, 3, kModelQmA20, 0x100, reg::kCurrent);
    f.logic.OnMonitor(3, Fixture::Reply(3, {{reg::kCurrent, 10}}), f.Now());
    const auto s = f.Sample();
    EXPECT_DOUBLE_EQ(s.plotted[2], 0.0);
    EXPECT_TRUE(s.labels[2].empty());
    EXPECT_EQ(s.labels[0], "1.00 A");
}

TEST(ScopeTrigger, risingFiresAtExactEqualityButNotAboveIt)
{
    LevelTrigger t;
    t.Arm(0, LevelTrigger::Edge::Rising, 50.0);
    EXPECT_EQ(t.OnSample(true, true, 49.9, 0), LevelTrigger::Step::Nothing);  // primes
    EXPECT_EQ(t.OnSample(true, true, 50.0, 1), LevelTrigger::Step::Fired);
    EXPECT_EQ(t.Point(), 1);

    LevelTrigger u;
    u.Arm(0, LevelTrigger::Edge::Rising, 50.0);
    u.OnSample(true, true, 50.0, 0);
    EXPECT_EQ(u.OnSample(true, true, 50.1, 1), LevelTrigger::Step::Nothing);
    EXPECT_FALSE(u.Occurred());
}

TEST(ScopeTrigger, fallingFiresAtExactEquality)
{
    LevelTrigger t;
    t.Arm(0, LevelTrigger::Edge::Falling, 50.0);
    t.OnSample(true, true, 50.1, 0);
    EXPECT_EQ(t.OnSample(true, true, 50.0, 1), LevelTrigger::Step::Fired);
    LevelTrigger u;
    u.Arm(0, LevelTrigger::Edge::Falling, 50.0);
    u.OnSample(true, true, 50.0, 0);
    EXPECT_EQ(u.OnSample(true, true, 49.0, 1), LevelTrigger::Step::Nothing);
}

TEST(ScopeTrigger, stopsAfterExactlyTenFurtherSamples)
{
    LevelTrigger t;
    t.Arm(0, LevelTrigger::Edge::Rising, 1.0);
    t.OnSample(true, true, 0.0, 0);
    ASSERT_EQ(t.OnSample(true, true, 2.0, 1), LevelTrigger::Step::Fired);
    int further = 0;
    LevelTrigger::Step step = LevelTrigger::Step::Nothing;
    while (step != LevelTrigger::Step::Stop && further < 50) {
        ++further;
        // Later samples may leave the channel unready; they still count.
        step = t.OnSample(further % 2 == 0, true, 0.0, 1 + further);
    }
    EXPECT_EQ(further, 10);
}

TEST(ScopeTrigger, samplesBeforeTheFirstRealValueNeitherPrimeNorFire)
{
    // A restored trigger at level 0.5 falling: the 0 of a sample before any data must not count.
    Fixture f;
    f.Watch(0, 3, kModelQmA20, 0x100, reg::kCurrent);
    f.logic.Trigger().Arm(0, LevelTrigger::Edge::Rising, 0.5);
    EXPECT_EQ(f.Sample().trigger, LevelTrigger::Step::Nothing);
    f.logic.OnMonitor(3, Fixture::Reply(3, {{reg::kCurrent, 100}}), f.Now());  // 10 A, first real value
    EXPECT_EQ(f.Sample().trigger, LevelTrigger::Step::Nothing);
    EXPECT_FALSE(f.logic.Trigger().Occurred());
    f.logic.OnMonitor(3, Fixture::Reply(3, {{reg::kCurrent, 0}}), f.Now());
    f.Sample();
    f.logic.OnMonitor(3, Fixture::Reply(3, {{reg::kCurrent, 5}}), f.Now());
    EXPECT_EQ(f.Sample().trigger, LevelTrigger::Step::Fired);
}

TEST(ScopeTrigger, bitItemsAndTheFaultWordForceTheLevel)
{
    MonitorItem bit{"FX", 16, 0, 1, 1, 0, 0, 0, ""};
    EXPECT_DOUBLE_EQ(ForcedLevel(nullptr, reg::kFault, 0.5), 0.0);
    EXPECT_DOUBLE_EQ(ForcedLevel(nullptr, reg::kFault, 1.0), 1.0);
    EXPECT_DOUBLE_EQ(ForcedLevel(&bit, 16, 7.0), 1.0);
    EXPECT_DOUBLE_EQ(ForcedLevel(nullptr, reg::kCurrent, 0.5), 0.5);
}

TEST(ScopeSettingsRead, everyKeyIsClampedAndRunStatesFollowTheChannels)
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

TEST(ScopeSettingsRead, writtenSettingsReadBackWithColoursInRegistryOrder)
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

TEST(ScopeTrigger, aSettablePostTriggerLengthEndsTheRunThatManySamplesLater)
{
    for (int post : {1, 3, 250}) {
        LevelTrigger t;
        t.Arm(0, LevelTrigger::Edge::Rising, 1.0, post);
        t.OnSample(true, true, 0.0, 0);
        ASSERT_EQ(t.OnSample(true, true, 2.0, 1), LevelTrigger::Step::Fired);
        int further = 0;
        while (t.OnSample(true, true, 2.0, 2 + further) != LevelTrigger::Step::Stop && further < 1000)
            ++further;
        EXPECT_EQ(further + 1, post);
    }
}

TEST(ScopeRecordPeriod, storedIndicesKeepTheirPeriodAndTheSamplingPeriodIsListedFirst)
{
    // Settings written before the sampling period existed hold 0-18 for 1 s .. 1 hour.
    EXPECT_EQ(RecordPeriodMs(0), 1000);
    EXPECT_EQ(RecordPeriodMs(2), 5000);
    EXPECT_EQ(RecordPeriodMs(18), 3600000);
    EXPECT_EQ(RecordPeriodMs(kRecordEachSample), 0);
    EXPECT_STREQ(kRecordTexts[RecordListRow(2)], "5 sec");
    EXPECT_STREQ(kRecordTexts[RecordListRow(18)], "1 hour");
    EXPECT_EQ(RecordListRow(kRecordEachSample), 0);
    for (int row = 0; row < kRecordChoices; ++row)
        EXPECT_EQ(RecordListRow(RecordIndexOfRow(row)), row);

    QTemporaryDir dir;
    for (const auto& [stored, expected] :
         {std::pair{18, 18}, {kRecordEachSample, kRecordEachSample}, {20, 2}}) {
        QSettings s(dir.filePath(QString::asprintf("r%d.ini", stored)), QSettings::IniFormat);
        s.setValue("Scope/Record Time", stored);
        ScopeSettings read;
        read.Read(s, dir.path());
        EXPECT_EQ(read.recordIndex, expected) << stored;
    }
}

namespace {

std::vector<std::vector<std::string>> CsvFields(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    std::vector<std::vector<std::string>> rows;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.trimmed().isEmpty())
            continue;
        std::vector<std::string> fields;
        for (const QByteArray& field : line.trimmed().split(','))
            fields.push_back(field.trimmed().toStdString());
        rows.push_back(fields);
    }
    return rows;
}

}  // namespace

TEST(ScopeRecordPeriod, atTheSamplingPeriodEverySampleWritesOneLineWithMillisecondElapsedTime)
{
    Fixture f;
    f.Watch(0, 3, kModelQmA20, 0x100, reg::kSpeed);
    QTemporaryDir dir;
    const int64_t start = f.Now();
    ASSERT_TRUE(f.logic.StartRecord(dir.filePath("fast.csv"), true, start));
    f.logic.SetRecordEachSample(true);
    // Sample ticks come late now and then; the elapsed column says when each really was.
    const std::array<int64_t, 5> at{100, 237, 300, 401, 500};
    const std::array<int, 5> fresh{1, 0, 1, 1, 0};
    for (size_t k = 0; k < at.size(); ++k) {
        if (fresh[k])
            f.logic.OnMonitor(3, Fixture::Reply(3, {{reg::kSpeed, static_cast<uint32_t>(1000 + 100 * k)}}),
                              start + at[k] - 10);
        const ScopeLogic::Sample s = f.logic.OnSample(start + at[k]);
        EXPECT_TRUE(s.recorded);
        EXPECT_FALSE(s.recordFailed);
    }
    // A record tick of its own would add a line between samples.
    EXPECT_EQ(f.logic.RecordCounter(), 5);
    f.logic.StopRecord();

    const auto rows = CsvFields(dir.filePath("fast.csv"));
    ASSERT_EQ(rows.size(), 6u);  // header and one line per sample
    const std::array<const char*, 5> elapsed{"0.100", "0.237", "0.300", "0.401", "0.500"};
    const std::array<const char*, 5> ch1{"10.00", "10.00", "12.00", "13.00", "13.00"};
    for (size_t k = 0; k < at.size(); ++k) {
        const auto& r = rows[k + 1];
        ASSERT_EQ(r.size(), 7u) << k;
        EXPECT_EQ(r[1], elapsed[k]) << k;
        EXPECT_EQ(r[2], ch1[k]) << k;
        EXPECT_EQ(r[6], fresh[k] ? "" : "CH1") << k;
    }
    // The time stamps run with the samples, 100 ms apart where the ticks were.
    const QDateTime t0 = QDateTime::fromString(QString::fromStdString(rows[1][0]), Qt::ISODateWithMs);
    const QDateTime t2 = QDateTime::fromString(QString::fromStdString(rows[3][0]), Qt::ISODateWithMs);
    ASSERT_TRUE(t0.isValid());
    EXPECT_EQ(t0.msecsTo(t2), 200);
}

TEST(ScopeRecordPeriod, samplesWriteNoLinesWhenRecordingAtAFixedPeriod)
{
    Fixture f;
    f.Watch(0, 3, kModelQmA20, 0x100, reg::kSpeed);
    QTemporaryDir dir;
    ASSERT_TRUE(f.logic.StartRecord(dir.filePath("slow.csv"), false, f.Now()));
    f.logic.OnMonitor(3, Fixture::Reply(3, {{reg::kSpeed, 1000}}), f.Now());
    EXPECT_FALSE(f.logic.OnSample(f.Now()).recorded);
    EXPECT_TRUE(f.logic.RecordTick(f.Now(), QDateTime::currentDateTime()));
    f.logic.StopRecord();
    const auto rows = CsvFields(dir.filePath("slow.csv"));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], "10.00");
}
