// The graph monitor window on a simulated line, as a user meets it: a stopped picture that is
// not relabelled by later setup changes, a new run without the old file name, a drive that goes
// silent and comes back during recording, no invented first sample, record time stamps to the
// millisecond and repeated values marked. The record and scope files are read back here from
// their bytes, without the program's own readers.

#include "../support/FakeToolHost.h"
#include "../support/LineHarness.h"
#include "catalogue/Registers.h"
#include "scope/ScopeFrame.h"
#include "scope/ScopeKind.h"
#include "scope/ScopeView.h"

#include <QCoreApplication>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using namespace vm;
using namespace vm::scope;

namespace {

// A scope file read from its bytes: channel 0's on flag, division index and plotted values.
struct RawScope {
    bool ok = false;
    int32_t on0 = 0;
    int32_t offset0 = 0;
    int32_t division0 = 0;
    std::vector<double> y0;
};

RawScope ReadRawScope(const QString& path)
{
    RawScope r;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return r;
    const QByteArray b = f.readAll();
    const auto i32 = [&](int at) {
        int32_t v = 0;
        std::memcpy(&v, b.constData() + at, 4);
        return v;
    };
    if (b.size() < 152 || i32(0) != 39153)
        return r;
    const int n = i32(148);
    if (b.size() != 152 + 40 * n)
        return r;
    r.on0 = i32(28);
    r.offset0 = i32(28 + 22);
    r.division0 = i32(28 + 26);
    for (int k = 0; k < n; ++k) {
        double y = 0;
        std::memcpy(&y, b.constData() + 152 + 8 * n + 8 * k, 8);
        r.y0.push_back(y);
    }
    r.ok = true;
    return r;
}

// The record file's lines split into fields, blanks trimmed.
std::vector<QStringList> ReadCsv(const QString& path)
{
    std::vector<QStringList> rows;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return rows;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.isEmpty())
            continue;
        QStringList fields = QString::fromLatin1(line).split(',');
        for (QString& s : fields)
            s = s.trimmed();
        rows.push_back(fields);
    }
    return rows;
}

class ScopeFaults : public ::testing::Test {
protected:
    void SetUp() override
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
        host.folders.temp = dir.path();
        line.AddStations({"3:QM-A20"});
        StationRecord& r = host.Record(3);
        r.present = r.connected = 1;
        r.model = line.line.Station(3)->Identity().model;
        r.version = line.line.Station(3)->Identity().version;
        line.manager.SetPollRange(3, 3);
        Set("set 3 5 5000");  // frequency command 50.00 Hz
    }

    int IndexOf(uint16_t address)
    {
        const auto items = BuildItemSet(host.Record(3).model, host.Record(3).version, kSetGraph);
        for (size_t i = 0; i < items.size(); ++i)
            if (items[i].address == address)
                return static_cast<int>(i);
        return -1;
    }

    void Watch(CScopeView& v, int i, uint16_t address)
    {
        v.SetChannelOn(i, true);
        v.ChooseStation(i, 3);
        v.ChooseAddress(i, IndexOf(address));
    }

    // A view shown for the first time, channel 0 on the frequency command.
    void WatchFrequency(CScopeView& v)
    {
        v.InitialUpdate();
        Watch(v, 0, reg::kFreqCommand);
    }

    void Set(const std::string& command) { ASSERT_EQ(line.line.Command(command, line.now).text, "ok"); }

    void Sample(CScopeView& v)
    {
        line.Step(4);
        v.SampleTick();
    }

    // Samples until channel 0 shows `label`.
    bool SampleUntil(CScopeView& v, const QString& label)
    {
        for (int i = 0; i < 200; ++i) {
            Sample(v);
            if (v.DataLabel(0) == label)
                return true;
        }
        return false;
    }

    // Starts the run and samples until channel 0 shows the 50 Hz commanded in SetUp.
    ::testing::AssertionResult RunUntilFrequency(CScopeView& v)
    {
        if (!v.StartMonitor())
            return ::testing::AssertionFailure() << "the run did not start";
        if (!SampleUntil(v, "50.00 Hz"))
            return ::testing::AssertionFailure() << "channel 0 shows " << v.DataLabel(0).toStdString();
        return ::testing::AssertionSuccess();
    }

    QTemporaryDir dir;
    test::LineHarness line;
    test::FakeToolHost host{&line.manager};
};

}  // namespace

TEST_F(ScopeFaults, aSetupChangeAfterTheStopNeitherRelabelsNorRescalesTheStoredTrace)
{
    CScopeView v(host);
    WatchFrequency(v);
    ASSERT_TRUE(RunUntilFrequency(v));
    v.StopMonitor();
    v.ChooseAddress(0, IndexOf(reg::kCurrent));
    v.ChooseDivision(0, 6);  // 2 per division
    const int last = v.Chart().PointCount() - 1;
    v.Chart().SetCursorPoint(last);
    emit v.Chart().CursorMoved(last);
    EXPECT_EQ(v.DataLabel(0), "50.00 Hz");
    ASSERT_TRUE(v.SaveScopeFile(dir.filePath("a.sco")));
    const RawScope s = ReadRawScope(dir.filePath("a.sco"));
    ASSERT_TRUE(s.ok);
    ASSERT_FALSE(s.y0.empty());
    const double divisions[] = {0.01, 0.02, 0.05, 0.1, 0.5, 1, 2, 5, 10, 20, 50, 100, 200, 500, 1000};
    const double offsets[] = {100, 50, 40, 30, 20, 10, 5, 1, 0, -1, -5, -10, -20, -30, -40, -50, -100};
    EXPECT_DOUBLE_EQ((s.y0.back() - offsets[s.offset0]) * divisions[s.division0], 50.0);
}

TEST_F(ScopeFaults, aNewRunForgetsTheFileNameOfThePreviousCapture)
{
    CScopeView v(host);
    WatchFrequency(v);
    ASSERT_TRUE(RunUntilFrequency(v));
    v.StopMonitor();
    ASSERT_TRUE(v.SaveScopeFile(dir.filePath("A.sco")));
    ASSERT_FALSE(v.ScopeFilePath().isEmpty());
    ASSERT_TRUE(v.StartMonitor());
    EXPECT_TRUE(v.ScopeFilePath().isEmpty());
}

TEST_F(ScopeFaults, noZeroIsPlottedBeforeTheDriveSentAValue)
{
    CScopeView v(host);
    WatchFrequency(v);
    ASSERT_TRUE(v.StartMonitor());
    v.SampleTick();  // the tick at once, before the line answered
    ASSERT_TRUE(SampleUntil(v, "50.00 Hz"));
    v.StopMonitor();
    ASSERT_TRUE(v.SaveScopeFile(dir.filePath("b.sco")));
    const RawScope s = ReadRawScope(dir.filePath("b.sco"));
    ASSERT_TRUE(s.ok);
    ASSERT_GE(s.y0.size(), 2u);
    EXPECT_TRUE(std::isnan(s.y0.front())) << s.y0.front();
    EXPECT_DOUBLE_EQ(s.y0.back(), 50.0);
}

TEST_F(ScopeFaults, recordLinesCountElapsedMillisecondsAndMarkRepeatedValues)
{
    CScopeView v(host);
    WatchFrequency(v);
    v.SetRecordTimeStamps(true);
    v.SetRecordPath(dir.filePath("t.csv"));
    ASSERT_TRUE(RunUntilFrequency(v));
    ASSERT_TRUE(v.StartRecord());
    v.RecordTick();
    v.ClockTick();
    v.ClockTick();
    v.RecordTick();  // nothing new from the line in between
    v.StopRecord();
    const auto rows = ReadCsv(v.RecordFilePath());
    ASSERT_EQ(rows.size(), 3u);  // header and two lines
    const QString elapsed = rows[2].value(1);
    EXPECT_LT(elapsed.toDouble(), 1.0) << elapsed.toStdString();  // not the whole-second clock
    EXPECT_EQ(elapsed.section('.', 1).size(), 3) << elapsed.toStdString();
    EXPECT_EQ(rows[1].value(6), "");
    EXPECT_EQ(rows[2].value(6), "CH1");
}

TEST_F(ScopeFaults, recordingAtTheScanPeriodWritesOneLinePerSampleTickAndNoneOfItsOwn)
{
    CScopeView v(host);
    WatchFrequency(v);
    v.SetRecordTimeStamps(true);
    v.SetRecordPath(dir.filePath("each.csv"));
    v.ChooseScan(0);
    v.ChooseRecordPeriod(kRecordEachSample);
    ASSERT_TRUE(RunUntilFrequency(v));
    const int before = v.Chart().PointCount();
    ASSERT_TRUE(v.StartRecord());
    // A line of the record timer's own would be queued here; the sample timer may fire too.
    QCoreApplication::processEvents();
    for (int i = 0; i < 3; ++i)
        Sample(v);
    const int samples = v.Chart().PointCount() - before;
    ASSERT_GE(samples, 3);
    EXPECT_EQ(v.RecordCounter(), samples);
    v.StopRecord();
    const auto rows = ReadCsv(v.RecordFilePath());
    ASSERT_EQ(rows.size(), static_cast<size_t>(samples) + 1);  // header and one line per sample
    for (size_t k = 1; k < rows.size(); ++k) {
        EXPECT_EQ(rows[k].value(2), "50.00") << k;
        EXPECT_EQ(rows[k].value(1).section('.', 1).size(), 3) << k;
    }
    EXPECT_LE(rows[1].value(1).toDouble(), rows[2].value(1).toDouble());
}

// The offscreen window: the drive goes silent during recording, the main window declares it
// disconnected, then it comes back and is connected again.
TEST_F(ScopeFaults, aDriveSilentDuringRecordingLeavesAGapAndResumesByItself)
{
    RegisterScopeKind(host.frames);
    auto* frame = static_cast<CScopeFrame*>(host.frames.Open(kKindGraphMonitor, kGraphMonitorKey));
    ASSERT_NE(frame, nullptr);
    CScopeView& v = frame->View();
    Watch(v, 0, reg::kFreqCommand);
    v.SetRecordTimeStamps(true);
    v.SetRecordPath(dir.filePath("run.csv"));
    ASSERT_TRUE(RunUntilFrequency(v));
    ASSERT_TRUE(v.StartRecord());
    QCoreApplication::sendPostedEvents();  // the record tick posted at the start
    for (int i = 0; i < 3; ++i) {
        Sample(v);
        v.RecordTick();
    }

    Set("silence 3");
    ASSERT_TRUE(line.StepUntil([&] { return line.manager.MonitorCount(3) == 0; }));
    v.SampleTick();
    host.Record(3).connected = 0;
    host.frames.Broadcast(ToolNotice::InvDisconnected, 3);
    QCoreApplication::sendPostedEvents();
    ASSERT_TRUE(v.Monitoring());
    ASSERT_TRUE(v.Recording());
    for (int i = 0; i < 3; ++i) {
        Sample(v);
        v.RecordTick();
    }

    Set("revive 3");
    host.Record(3).connected = 1;
    host.frames.Broadcast(ToolNotice::InvConnected, 3);
    QCoreApplication::sendPostedEvents();
    ASSERT_TRUE(SampleUntil(v, "50.00 Hz"));
    for (int i = 0; i < 2; ++i) {
        Sample(v);
        v.RecordTick();
    }
    EXPECT_TRUE(v.Chart().ChannelVisible(0));
    v.StopRecord();
    v.StopMonitor();
    ASSERT_TRUE(v.SaveScopeFile(dir.filePath("run.sco")));

    // The record: 50.00, then empty fields while the drive was away, then 50.00 again; never 0.
    const auto rows = ReadCsv(dir.filePath("run.csv"));
    ASSERT_EQ(rows.size(), 1u + 9u);
    EXPECT_TRUE(rows[0].value(2).startsWith("Ch1 3:QM-A20")) << rows[0].value(2).toStdString();
    QStringList ch1;
    for (size_t i = 1; i < rows.size(); ++i)
        ch1 << rows[i].value(2);
    EXPECT_EQ(ch1, (QStringList{"50.00", "50.00", "50.00", "50.00", "", "", "", "50.00", "50.00"}));

    // The scope file: channel 0 stays on, with NaN where samples are missing and 50 around them.
    const RawScope s = ReadRawScope(dir.filePath("run.sco"));
    ASSERT_TRUE(s.ok);
    EXPECT_EQ(s.on0, 1);
    const auto missing = std::count_if(s.y0.begin(), s.y0.end(), [](double y) { return std::isnan(y); });
    EXPECT_GE(missing, 3);
    EXPECT_DOUBLE_EQ(s.y0.back(), 50.0);
    for (double y : s.y0)
        EXPECT_TRUE(std::isnan(y) || y == 50.0) << y;

    frame->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return host.frames.Count(kKindGraphMonitor) == 0; }));
}
