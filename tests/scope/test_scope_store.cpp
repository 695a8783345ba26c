// What the graph monitor stores, without widgets: samples keep the setup they were taken with, a
// new run has no file name, a silent or disconnected drive leaves gaps and resumes by itself,
// nothing is plotted before a real value, record lines carry milliseconds and repeated marks,
// "show all" shows all, and the lines handed to the painter stay finite and near the plot.

#include "catalogue/Registers.h"
#include "scope/ChartTrace.h"
#include "scope/ChartViewport.h"
#include "scope/ScopeLogic.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace vm;
using namespace vm::scope;

namespace {

constexpr double kDay = 86400.0;

struct ScopeRun {
    std::array<StationRecord, 288> records{};
    ScopeLogic logic{[this](int s) -> const StationRecord& { return records.at(static_cast<size_t>(s)); }};
    int64_t now = 5000;

    ScopeRun()
    {
        StationRecord& r = records[3];
        r.model = kModelQmA20;
        r.version = 0x100;
        r.present = r.connected = 1;
    }

    int Index(uint16_t address) const
    {
        const auto items = BuildItemSet(kModelQmA20, 0x100, kSetGraph);
        for (size_t k = 0; k < items.size(); ++k)
            if (items[k].address == address)
                return static_cast<int>(k);
        return -1;
    }

    void Watch(int i, uint16_t address)
    {
        logic.SetOn(i, true);
        logic.SetStation(i, 3);
        logic.SetAddressIndex(i, Index(address));
        ASSERT_EQ(logic.Channel(i).address, address);
    }

    void Value(uint16_t address, uint32_t raw)
    {
        CommReply r;
        r.station = 3;
        r.count = 1;
        r.addresses[0] = address;
        r.values[0] = raw;
        logic.OnMonitor(3, r, now);
    }

    void GiveUp()
    {
        CommReply r;
        r.station = 3;
        r.error = kGiveUp;
        logic.OnMonitor(3, r, now);
    }

    int Sample()
    {
        now += 100;
        return logic.OnSample(now).point;
    }
};

}  // namespace

TEST(ScopeStore, storedSamplesKeepTheSetupTheyWereTakenWith)
{
    ScopeRun run;
    run.Watch(0, reg::kFreqCommand);
    ASSERT_TRUE(run.logic.StartMonitor(46000.0, run.now));
    run.Value(reg::kFreqCommand, 6000);
    const int a = run.Sample();
    // While monitoring: a new division applies from the next sample on.
    run.logic.SetDivision(0, 6);  // 2 per division
    const int b = run.Sample();
    EXPECT_DOUBLE_EQ(run.logic.Store().Y(0, a), 60.0);
    EXPECT_DOUBLE_EQ(run.logic.Store().Y(0, b), 30.0);
    EXPECT_DOUBLE_EQ(run.logic.Store().Value(0, a), 60.0);
    EXPECT_DOUBLE_EQ(run.logic.Store().Value(0, b), 60.0);
    run.logic.StopMonitor();

    // After the stop another item and division change nothing stored.
    run.logic.SetAddressIndex(0, run.Index(reg::kCurrent));
    run.logic.SetDivision(0, 8);
    EXPECT_EQ(run.logic.CursorLabel(0, a), "60.00 Hz");
    EXPECT_EQ(run.logic.CursorLabel(0, b), "60.00 Hz");
    EXPECT_EQ(run.logic.Legend(0), "3:QM-A20 Freq. Command");

    // The file holds one setup per channel: the newest, with every sample rescaled to it.
    const ScopePicture p = run.logic.TakePicture(0, 5, 100, 0);
    EXPECT_EQ(p.channels[0].address, reg::kFreqCommand);
    EXPECT_EQ(p.channels[0].divisionIndex, 6);
    EXPECT_DOUBLE_EQ(p.y[0][0], 30.0);
    EXPECT_DOUBLE_EQ(p.y[0][1], 30.0);
}

TEST(ScopeStore, samplesOfAnotherItemAreSavedAsMissingNotRelabelled)
{
    ScopeRun run;
    run.Watch(0, reg::kFreqCommand);
    ASSERT_TRUE(run.logic.StartMonitor(46000.0, run.now));
    run.Value(reg::kFreqCommand, 6000);
    run.Sample();
    run.logic.SetAddressIndex(0, run.Index(reg::kCurrent));
    run.Value(reg::kCurrent, 123);
    run.Sample();
    EXPECT_EQ(run.logic.CursorLabel(0, 0), "60.00 Hz");
    EXPECT_EQ(run.logic.CursorLabel(0, 1), "12.30 A");
    const ScopePicture p = run.logic.TakePicture(0, 5, 100, 0);
    EXPECT_EQ(p.channels[0].address, reg::kCurrent);
    EXPECT_TRUE(std::isnan(p.y[0][0]));
    EXPECT_DOUBLE_EQ(p.y[0][1], 12.3);
}

TEST(ScopeStore, aNewRunIsANewPictureWithoutAFileName)
{
    ScopeRun run;
    run.Watch(0, reg::kCurrent);
    ASSERT_TRUE(run.logic.StartMonitor(46000.0, run.now));
    run.Sample();
    run.logic.StopMonitor();
    run.logic.SetPicturePath("/tmp/A.sco");
    ASSERT_TRUE(run.logic.StartMonitor(46000.0, run.now));
    EXPECT_TRUE(run.logic.PicturePath().isEmpty());
    EXPECT_TRUE(run.logic.Store().Empty());
}

TEST(ScopeStore, nothingIsPlottedBeforeTheFirstRealValue)
{
    ScopeRun run;
    run.Watch(0, reg::kCurrent);
    ASSERT_TRUE(run.logic.StartMonitor(46000.0, run.now));
    const int first = run.Sample();
    const int second = run.Sample();
    EXPECT_EQ(run.logic.Store().Mark(0, first), SampleMark::Missing);
    EXPECT_TRUE(std::isnan(run.logic.Store().Y(0, second)));
    // A channel that is off keeps the 0 older readers expect.
    EXPECT_DOUBLE_EQ(run.logic.Store().Y(1, first), 0.0);
    run.Value(reg::kCurrent, 55);
    const int third = run.Sample();
    EXPECT_EQ(run.logic.Store().Mark(0, third), SampleMark::Fresh);
    EXPECT_DOUBLE_EQ(run.logic.Store().Y(0, third), 5.5);
}

TEST(ScopeStore, aSilentOrDisconnectedDriveLeavesAGapAndResumesByItself)
{
    ScopeRun run;
    run.Watch(0, reg::kCurrent);
    ASSERT_TRUE(run.logic.StartMonitor(46000.0, run.now));
    run.Value(reg::kCurrent, 100);
    const int good = run.Sample();
    run.GiveUp();
    const int silent = run.Sample();
    EXPECT_EQ(run.logic.Store().Mark(0, silent), SampleMark::Missing);

    // The main window declares it disconnected: the channel stays on and keeps its station.
    run.records[3].connected = 0;
    run.logic.StationsChanged();
    EXPECT_TRUE(run.logic.Channel(0).on);
    EXPECT_EQ(run.logic.Channel(0).station, 3);
    EXPECT_TRUE(run.logic.Registrations().empty());
    const int away = run.Sample();
    EXPECT_TRUE(std::isnan(run.logic.Store().Y(0, away)));
    EXPECT_DOUBLE_EQ(run.logic.Store().Y(0, good), 10.0);  // its past is kept

    // Connected again: registered again, and the next value is plotted.
    run.records[3].connected = 1;
    run.logic.StationsChanged();
    ASSERT_EQ(run.logic.Registrations().count(3), 1u);
    const int before = run.Sample();
    EXPECT_EQ(run.logic.Store().Mark(0, before), SampleMark::Missing);
    run.Value(reg::kCurrent, 200);
    const int back = run.Sample();
    EXPECT_DOUBLE_EQ(run.logic.Store().Y(0, back), 20.0);

    // The record line of a missing value is empty, not a 0.
    run.GiveUp();
    ASSERT_TRUE(run.logic.Monitoring());
    EXPECT_TRUE(std::isnan(run.logic.NextRecordRow(run.now, QDateTime()).values[0]));
}

TEST(ScopeStore, aChannelNeverConnectedInThisWindowIsSwitchedOffAsBefore)
{
    ScopeRun run;
    std::array<ChannelSettings, kChannelCount> saved{};
    saved[1].on = true;
    saved[1].station = 9;  // not connected
    saved[1].address = reg::kCurrent;
    run.logic.Restore(saved);
    run.logic.StationsChanged();
    EXPECT_FALSE(run.logic.Channel(1).on);
    EXPECT_EQ(run.logic.Channel(1).station, 0);
}

TEST(ScopeStore, recordLinesCarryMillisecondsFromTheRecordStartAndRepeatedMarks)
{
    QTemporaryDir dir;
    ScopeRun run;
    run.Watch(0, reg::kCurrent);
    ASSERT_TRUE(run.logic.StartMonitor(46000.0, run.now));
    run.Value(reg::kCurrent, 100);
    ASSERT_TRUE(run.logic.StartRecord(dir.filePath("r.csv"), true, 10'000));
    const QDateTime t(QDate(2026, 12, 9), QTime(22, 0), Qt::UTC);
    ASSERT_TRUE(run.logic.RecordTick(10'004, t));  // the value held at the start counts as fresh
    ASSERT_TRUE(run.logic.RecordTick(11'238, t));  // nothing new since: repeated
    run.Value(reg::kCurrent, 120);
    ASSERT_TRUE(run.logic.RecordTick(12'999, t));
    EXPECT_EQ(run.logic.RecordCounter(), 3);
    run.logic.StopRecord();
    QFile f(dir.filePath("r.csv"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    ASSERT_GE(lines.size(), 4);
    EXPECT_EQ(lines[0], "time, elapsed [s], Ch1 3:QM-A20 Output Current [A], Ch2, Ch3, Ch4, repeated\r");
    EXPECT_EQ(lines[1], "2026-12-09T22:00:00.000Z, 0.004, 10.00, 0.00, 0.00, 0.00,\r");
    EXPECT_EQ(lines[2], "2026-12-09T22:00:00.000Z, 1.238, 10.00, 0.00, 0.00, 0.00, CH1\r");
    EXPECT_EQ(lines[3], "2026-12-09T22:00:00.000Z, 2.999, 12.00, 0.00, 0.00, 0.00,\r");
}

TEST(ScopeStore, repeatedSamplesAreMarkedAndTheRefreshRateIsCounted)
{
    ScopeRun run;
    run.Watch(0, reg::kCurrent);
    ASSERT_TRUE(run.logic.StartMonitor(46000.0, run.now));
    // The line delivers a value every 0.9 s; the scan is 0.1 s.
    std::vector<SampleMark> marks;
    for (int i = 0; i < 45; ++i) {
        if (i % 9 == 0)
            run.Value(reg::kCurrent, static_cast<uint32_t>(100 + i));
        marks.push_back(run.logic.Store().Mark(0, run.Sample()));
    }
    EXPECT_EQ(std::count(marks.begin(), marks.end(), SampleMark::Fresh), 5);
    EXPECT_EQ(std::count(marks.begin(), marks.end(), SampleMark::Repeated), 40);
    EXPECT_NEAR(run.logic.RefreshRate(0, run.now), 1.0 / 0.9, 0.15);
}

TEST(ScopeViewport, rightClickShowsEverySampleNotTheFirstSpan)
{
    std::vector<double> xs;
    for (int i = 0; i <= 600; ++i)
        xs.push_back(46000.0 + i / kDay);  // ten minutes
    ChartViewport v;
    v.SetSpan(60 / kDay);
    v.Freeze(xs);
    v.ShowAll(xs);
    EXPECT_DOUBLE_EQ(v.Start(xs), xs.front());
    EXPECT_NEAR((v.Start(xs) + v.Width() - xs.back()) * kDay, 0.0, 1e-3);
    // Zoom keeps the point under the mouse in place.
    const double anchor = xs[300];
    const double share = (anchor - v.Start(xs)) / v.Width();
    v.ZoomTime(xs, anchor, 0.5);
    EXPECT_NEAR((anchor - v.Start(xs)) / v.Width(), share, 1e-9);
    EXPECT_NEAR(v.Width() * kDay, 300.0, 1e-3);
    // A triggered picture: the trigger point at 30 % of one span.
    v.PlaceAt(xs[300], 0.3);
    EXPECT_NEAR((xs[300] - v.Start(xs)) * kDay, 18.0, 1e-3);
    EXPECT_NEAR(v.Width() * kDay, 60.0, 1e-3);
    // Following again: the newest minute.
    v.Follow();
    EXPECT_NEAR((xs.back() - v.Start(xs)) * kDay, 60.0, 1e-3);
}

TEST(ChartTraceStress, everyCoordinateStaysFiniteAndNearThePlot)
{
    // Far-away neighbours of the window, huge and missing values, tiny plots: the pixel
    // arithmetic once overflowed on these while painting.
    std::mt19937 rng(7);
    std::vector<double> xs, ys;
    std::vector<uint8_t> marks;
    double x = 46000.0;
    for (int i = 0; i < 20000; ++i) {
        x += (rng() % 500 == 0) ? 1e5 : 0.1 / kDay;
        xs.push_back(x);
        const int pick = static_cast<int>(rng() % 200);
        ys.push_back(pick == 0   ? std::nan("")
                     : pick == 1 ? 1e308
                     : pick == 2 ? -1e308
                                 : std::sin(i * 0.01) * 50);
        marks.push_back(static_cast<uint8_t>(rng() % 3));
    }
    for (int round = 0; round < 300; ++round) {
        TraceInput in;
        in.xs = &xs;
        in.ys = &ys;
        in.marks = &marks;
        const size_t at = rng() % xs.size();
        in.x0 = xs[at] - (rng() % 100) / kDay;
        in.x1 = in.x0 + (1 + rng() % 5000) / kDay;
        in.lo = -60;
        in.hi = in.lo + 1 + rng() % 200;
        in.plot = QRectF(50, 20, 10 + rng() % 1500, 10 + rng() % 800);
        const Trace t = BuildTrace(in);
        const double band = in.plot.height() * 4 + 2;
        for (const QPolygonF& line : t.lines)
            for (const QPointF& p : line) {
                ASSERT_TRUE(std::isfinite(p.x()) && std::isfinite(p.y()));
                ASSERT_GE(p.x(), in.plot.left() - 1);
                ASSERT_LE(p.x(), in.plot.left() + in.plot.width() + 1);
                ASSERT_GE(p.y(), in.plot.top() - band);
                ASSERT_LE(p.y(), in.plot.top() + in.plot.height() + band);
            }
    }
}

TEST(ChartTrace, missingSamplesBreakTheLine)
{
    const std::vector<double> xs{0, 1, 2, 3, 4};
    const std::vector<double> ys{1, 2, std::nan(""), 2, 1};
    TraceInput in;
    in.xs = &xs;
    in.ys = &ys;
    in.x0 = 0;
    in.x1 = 4;
    in.lo = 0;
    in.hi = 4;
    in.plot = QRectF(0, 0, 401, 101);
    const Trace t = BuildTrace(in);
    ASSERT_EQ(t.lines.size(), 2u);
    EXPECT_EQ(t.lines[0].size(), 2);
    EXPECT_EQ(t.lines[1].size(), 2);
}
