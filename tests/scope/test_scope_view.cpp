// The graph monitor window on a simulated line: registration, graph watch, the trigger ending a
// run, recording, scope files online and offline, exports and printing. Time is the tests':
// the line steps in 30 ms ticks and each sample tick is called, never waited for.

#include "../support/FakeToolHost.h"
#include "../support/LineHarness.h"
#include "catalogue/Registers.h"
#include "scope/ScopeFrame.h"
#include "scope/ScopeKind.h"
#include "scope/ScopeView.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QPrinter>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>

using namespace vm;
using namespace vm::scope;

namespace {

int IndexOf(int model, int version, uint16_t address)
{
    const auto items = BuildItemSet(model, version, kSetGraph);
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].address == address)
            return static_cast<int>(i);
    return -1;
}

class ScopeLine : public ::testing::Test {
protected:
    void SetUp() override
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
        host.folders.temp = dir.path();
        line.AddStations({"3:QM-A20"});
        drive = line.line.Station(3);
        ASSERT_NE(drive, nullptr);
        StationRecord& r = host.Record(3);
        r.present = r.connected = 1;
        r.model = drive->Identity().model;
        r.version = drive->Identity().version;
        line.manager.SetPollRange(3, 3);
    }

    std::unique_ptr<CScopeView> OpenView()
    {
        auto v = std::make_unique<CScopeView>(host);
        v->InitialUpdate();
        return v;
    }

    // Channel `i` on station 3 watching `address`.
    void Watch(CScopeView& v, int i, uint16_t address)
    {
        v.SetChannelOn(i, true);
        v.ChooseStation(i, 3);
        v.ChooseAddress(i, IndexOf(host.Record(3).model, host.Record(3).version, address));
    }

    void Set(const std::string& command) { ASSERT_EQ(line.line.Command(command, line.now).text, "ok"); }

    // One scan period of line time, then the sample tick.
    void Sample(CScopeView& v)
    {
        line.Step(4);
        v.SampleTick();
    }

    QTemporaryDir dir;
    test::LineHarness line;
    test::FakeToolHost host{&line.manager};
    sim::SimDrive* drive = nullptr;
};

}  // namespace

TEST_F(ScopeLine, aRampingDriveFiresTheTriggerAndMonitoringStopsTenSamplesLater)
{
    auto v = OpenView();
    Watch(*v, 0, reg::kSpeed);
    v->SetSnapshot(true);
    v->SetSnapshotPath(dir.filePath("shot.bmp"), 3);
    ASSERT_TRUE(v->StartMonitor());
    EXPECT_EQ(line.manager.MonitorRefCount(3, reg::kSpeed), 1);
    EXPECT_TRUE(line.manager.IsListener(3, v.get()));
    v->SetTriggerChannel(0);
    v->SetTriggerEdge(0);
    v->SetTriggerLevelText("30");
    ASSERT_TRUE(v->StartTrigger());

    Set("set 3 5 6000");
    Set("set 3 6 2");
    int triggerPoint = -1;
    for (int i = 0; i < 2000 && v->Monitoring(); ++i) {
        Sample(*v);
        if (triggerPoint < 0 && v->TriggerOccurred())
            triggerPoint = v->Chart().PointCount() - 1;
    }
    ASSERT_GE(triggerPoint, 1);
    ASSERT_FALSE(v->Monitoring());
    EXPECT_EQ(v->Chart().PointCount() - 1 - triggerPoint, 10);
    EXPECT_EQ(v->Chart().CursorPoint(), triggerPoint);
    EXPECT_EQ(v->Chart().ScreenMode(), StripChart::Mode::Cursor);
    // The rising crossing: at the trigger point at least 30 Hz, the point before below it.
    EXPECT_GE(v->Logic().Store().Y(0, triggerPoint), 30.0);
    EXPECT_LT(v->Logic().Store().Y(0, triggerPoint - 1), 30.0);
    EXPECT_TRUE(v->DataLabel(0).endsWith(" Hz")) << v->DataLabel(0).toStdString();
    EXPECT_EQ(line.manager.MonitorRefCount(3, reg::kSpeed), 0);
    EXPECT_FALSE(line.manager.IsListener(3, v.get()));
    QImageReader shot(dir.filePath("shot.bmp"));
    EXPECT_EQ(shot.format(), QByteArray("bmp"));
}

TEST_F(ScopeLine, aReverseRunningDrivePlotsANegativeFrequency)
{
    auto v = OpenView();
    Watch(*v, 0, reg::kFreqCommand);
    ASSERT_TRUE(v->StartMonitor());
    Set("set 3 5 2000");
    Set("set 3 6 4");
    // The main window's status copy stays at "stop": the monitor has its own.
    for (int i = 0; i < 100; ++i)
        Sample(*v);
    const int last = v->Chart().PointCount() - 1;
    EXPECT_DOUBLE_EQ(v->Logic().Store().Y(0, last), -20.0);
}

TEST_F(ScopeLine, graphWatchFollowsMonitoringWhenTheSettingIsOn)
{
    auto v = OpenView();
    Watch(*v, 0, reg::kCurrent);
    host.messages.SetAnswer(true);
    v->ToggleGraphWatchMode();
    ASSERT_EQ(host.messages.Entries().size(), 1u);
    EXPECT_EQ(host.messages.Entries()[0].kind, MessageKind::Question);
    EXPECT_FALSE(host.GraphWatch());  // only the setting until monitoring runs
    ASSERT_TRUE(v->StartMonitor());
    EXPECT_TRUE(host.GraphWatch());
    v->StopMonitor();
    EXPECT_FALSE(host.GraphWatch());
    ASSERT_TRUE(v->StartMonitor());
    v->ToggleGraphWatchMode();  // off: no question
    EXPECT_EQ(host.messages.Entries().size(), 1u);
    EXPECT_FALSE(host.GraphWatch());
}

TEST_F(ScopeLine, startMonitorWithoutAChannelSaysSoAndAllChannelsOffStopsIt)
{
    auto v = OpenView();
    EXPECT_FALSE(v->StartMonitor());
    ASSERT_FALSE(host.messages.Entries().empty());
    EXPECT_EQ(host.messages.Entries().back().text, "Select one more channel to monitor");
    Watch(*v, 1, reg::kCurrent);
    ASSERT_TRUE(v->StartMonitor());
    v->SetChannelOn(1, false);
    EXPECT_FALSE(v->Monitoring());
}

TEST_F(ScopeLine, faultWordTriggerForcesItsLevel)
{
    auto v = OpenView();
    Watch(*v, 2, reg::kFault);
    ASSERT_TRUE(v->StartMonitor());
    v->SetTriggerChannel(2);
    v->SetTriggerLevelText(" 0.5 ");
    ASSERT_TRUE(v->StartTrigger());
    EXPECT_DOUBLE_EQ(v->Logic().Trigger().Level(), 0.0);
    v->StopTrigger();
    v->SetTriggerChannel(3);
    EXPECT_FALSE(v->StartTrigger());
    EXPECT_EQ(host.messages.Entries().back().text,
              "Selected trigger channel is not activated for monitoring");
    v->SetTriggerLevelText("");
    EXPECT_FALSE(v->StartTrigger());
    EXPECT_EQ(host.messages.Entries().back().text, "Trigger level data input is wrong");
}

TEST_F(ScopeLine, recordingNeverReplacesAnEarlierRecording)
{
    auto v = OpenView();
    Watch(*v, 0, reg::kFreqCommand);
    v->SetRecordPath(dir.filePath("run.csv"));
    ASSERT_TRUE(v->StartMonitor());
    Set("set 3 5 1234");
    for (int i = 0; i < 20; ++i)
        Sample(*v);
    ASSERT_TRUE(v->StartRecord());
    v->RecordTick();
    v->RecordTick();
    EXPECT_EQ(v->RecordCounter(), 2);
    QFile first(dir.filePath("run.csv"));
    ASSERT_TRUE(first.open(QIODevice::ReadOnly));
    EXPECT_EQ(first.readAll(), QByteArray("12.34, 0.00, 0.00, 0.00\r\n12.34, 0.00, 0.00, 0.00\r\n"));
    v->StopRecord();
    ASSERT_TRUE(v->StartRecord());
    EXPECT_EQ(v->RecordFilePath(), dir.filePath("run-1.csv"));
    v->RecordTick();
    first.seek(0);
    EXPECT_EQ(first.readAll().count('\n'), 2);

    // Closed while recording: reopening resumes into yet another file.
    v->Shutdown();
    v.reset();
    auto again = OpenView();
    EXPECT_TRUE(again->Monitoring());
    EXPECT_TRUE(again->Recording());
    EXPECT_EQ(again->RecordFilePath(), dir.filePath("run-2.csv"));
    EXPECT_TRUE(QFile::exists(dir.filePath("run-1.csv")));
}

TEST_F(ScopeLine, scopeFileKeepsItsModelsWhenTheDriveIsGoneAndABadFileChangesNothing)
{
    auto v = OpenView();
    Watch(*v, 0, reg::kCurrent);
    ASSERT_TRUE(v->StartMonitor());
    for (int i = 0; i < 5; ++i)
        Sample(*v);
    v->StopMonitor();
    const QString a = dir.filePath("a.sco");
    ASSERT_TRUE(v->SaveScopeFile(a));
    EXPECT_EQ(QFile(a).size(), 152 + 40 * 5);

    // The drive leaves the line; the file opens offline with its legend.
    host.Record(3).connected = 0;
    host.Record(3).present = 0;
    ASSERT_TRUE(v->OpenScopeFile(a));
    EXPECT_EQ(host.messages.Entries().back().text, "Open scope file successfully");
    EXPECT_TRUE(v->PictureFromFile());
    EXPECT_EQ(v->Chart().PointCount(), 5);
    EXPECT_EQ(v->Chart().LegendText(0), "3:QM-A20 Output Current");
    EXPECT_FALSE(v->StationList(0)->isEnabled());
    EXPECT_EQ(v->Chart().ScreenMode(), StripChart::Mode::Cursor);

    // Saved again offline: the model and version stay those of the file.
    const QString b = dir.filePath("b.sco");
    ASSERT_TRUE(v->SaveScopeFile(b));
    QFile fa(a), fb(b);
    ASSERT_TRUE(fa.open(QIODevice::ReadOnly) && fb.open(QIODevice::ReadOnly));
    const QByteArray ba = fa.readAll(), bb = fb.readAll();
    EXPECT_EQ(bb.mid(28, 30), ba.mid(28, 30));
    EXPECT_EQ(static_cast<uint8_t>(bb[28 + 8]), host.Record(3).model);

    // A cut file: refused, the picture on screen stays.
    QFile cut(dir.filePath("cut.sco"));
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
    cut.write(ba.left(ba.size() - 3));
    cut.close();
    EXPECT_FALSE(v->OpenScopeFile(cut.fileName()));
    EXPECT_EQ(host.messages.Entries().back().kind, MessageKind::Error);
    EXPECT_EQ(v->Chart().PointCount(), 5);
    EXPECT_EQ(v->ScopeFilePath(), QFileInfo(b).absoluteFilePath());
}

TEST_F(ScopeLine, printingUsesPrintColoursAndRestoresTheScreenLook)
{
    auto v = OpenView();
    const QColor before = v->Chart().CurrentLook().background;
    QPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath("graph.pdf"));
    ASSERT_TRUE(v->PrintTo(printer));
    EXPECT_GT(QFileInfo(dir.filePath("graph.pdf")).size(), 500);
    EXPECT_EQ(v->Chart().CurrentLook().background, before);
    const auto look = CScopeView::PrintLook(v->Chart().CurrentLook(), QDate(2026, 12, 9));
    EXPECT_EQ(look.title, "Wednesday, December 09, 2026");
    EXPECT_EQ(look.background, QColor(Qt::white));
    EXPECT_EQ(look.lines[2], QColor(Qt::black));
    EXPECT_TRUE(look.showGrid && look.showLegend);
}

TEST_F(ScopeLine, theFrameRegistersAsKind133AndFollowsConnections)
{
    RegisterScopeKind(host.frames);
    auto* frame = static_cast<CScopeFrame*>(host.frames.Open(kKindGraphMonitor, kGraphMonitorKey));
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(host.frames.Open(kKindGraphMonitor, kGraphMonitorKey), nullptr);
    EXPECT_EQ(frame->View().StationList(0)->count(), 1);
    EXPECT_EQ(frame->View().StationList(0)->itemText(0), "3:QM-A20");
    EXPECT_TRUE(frame->CommandAction(32795)->isEnabled());
    EXPECT_FALSE(frame->CommandAction(32796)->isEnabled());

    StationRecord& r = host.Record(5);
    r.present = r.connected = 1;
    r.model = kModelQmB20X;
    r.version = 0x15;
    host.frames.Broadcast(ToolNotice::InvConnected, 5);
    EXPECT_TRUE(QTest::qWaitFor([&] { return frame->View().StationList(0)->count() == 2; }));

    Watch(frame->View(), 0, reg::kCurrent);
    frame->View().StartMonitor();
    EXPECT_FALSE(frame->CommandAction(32795)->isEnabled());
    EXPECT_TRUE(frame->CommandAction(32797)->isEnabled());
    EXPECT_FALSE(frame->CommandAction(32810)->isEnabled());  // screen modes wait for the stop
    frame->View().StopMonitor();
    EXPECT_TRUE(frame->CommandAction(32810)->isEnabled());
    EXPECT_TRUE(frame->CommandAction(32811)->isChecked());  // cursor after a stop
    frame->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return host.frames.Count(kKindGraphMonitor) == 0; }));
}

TEST_F(ScopeLine, yAxisFieldsAreSwappedWhenAutoScaleGoesOffAndWidthsReachTheChart)
{
    auto v = OpenView();
    v->SetYAxisTexts("500", "100");
    v->SetAutoScale(false);
    EXPECT_DOUBLE_EQ(v->Settings().yMin, 100.0);
    EXPECT_DOUBLE_EQ(v->Settings().yMax, 500.0);
    EXPECT_DOUBLE_EQ(v->Chart().ShownYMin(), 100.0);
    EXPECT_DOUBLE_EQ(v->Chart().ShownYMax(), 500.0);
    v->SetLineWidthIndex(1, 3);
    EXPECT_EQ(v->Chart().LineWidth(1), 4);
}

TEST_F(ScopeLine, afterAStopTheCursorReadsValuesBackThroughOffsetAndDivision)
{
    auto v = OpenView();
    Watch(*v, 0, reg::kFreqCommand);
    v->ChooseOffset(0, 0);    // +100
    v->ChooseDivision(0, 6);  // 2 per division
    ASSERT_TRUE(v->StartMonitor());
    Set("set 3 5 1000");
    for (int i = 0; i < 20; ++i)
        Sample(*v);
    const int last = v->Chart().PointCount() - 1;
    EXPECT_DOUBLE_EQ(v->Logic().Store().Y(0, last), 105.0);
    v->StopMonitor();
    v->Chart().SetCursorPoint(last);
    emit v->Chart().CursorMoved(last);
    EXPECT_EQ(v->DataLabel(0), "10.00 Hz");
}

TEST_F(ScopeLine, aFailedSnapshotIsReportedAfterMonitoringHasStopped)
{
    auto v = OpenView();
    Watch(*v, 0, reg::kSpeed);
    v->SetSnapshot(true);
    v->SetSnapshotPath(dir.filePath("missing/shot.jpg"), 2);
    ASSERT_TRUE(v->StartMonitor());
    v->SetTriggerLevelText("10");
    ASSERT_TRUE(v->StartTrigger());
    Set("set 3 5 6000");
    Set("set 3 6 2");
    for (int i = 0; i < 2000 && v->Monitoring(); ++i)
        Sample(*v);
    ASSERT_FALSE(v->Monitoring());
    // The box waits for the event loop: nothing is shown from inside the tick.
    const auto errors = [&] {
        int n = 0;
        for (const auto& e : host.messages.Entries())
            n += e.kind == MessageKind::Error;
        return n;
    };
    EXPECT_EQ(errors(), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return errors() == 1; }));
    EXPECT_NE(host.messages.Entries().back().text.find("shot.jpg"), std::string::npos);
    EXPECT_FALSE(QFile::exists(dir.filePath("missing/shot.jpg")));
}

TEST_F(ScopeLine, aStationThatStopsAnsweringIsMissingAndItsLaterRegistrationsAreLeftAlone)
{
    auto v = OpenView();
    Watch(*v, 0, reg::kCurrent);
    ASSERT_TRUE(v->StartMonitor());
    Set("set 3 5 6000");
    Set("set 3 6 2");
    ASSERT_TRUE(line.StepUntil([&] { return v->Logic().LiveValue(0) > 0.0; }));
    Set("silence 3");
    ASSERT_TRUE(line.StepUntil([&] { return line.manager.MonitorCount(3) == 0; }));
    v->SampleTick();
    EXPECT_TRUE(std::isnan(v->Logic().Store().Y(0, v->Chart().PointCount() - 1)));

    // The main window registers the station again after it came back.
    Set("revive 3");
    const std::array<uint16_t, 2> watched{reg::kCurrent, reg::kStatus};
    line.manager.AddMonitor(3, watched);
    v->StopMonitor();
    EXPECT_EQ(line.manager.MonitorRefCount(3, reg::kCurrent), 1);
}
