#include "keypad/KPDFrame.h"
#include "keypad/KPDView.h"
#include "keypad/KeypadEditLogic.h"
#include "keypad/KeypadKind.h"
#include "keypad/KeypadLogic.h"
#include "keypad/SevenSegmentDisplay.h"

#include "catalogue/Models.h"
#include "catalogue/Registers.h"
#include "platform/Settings.h"
#include "tests/support/FakeToolHost.h"
#include "tests/support/LineHarness.h"

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace vm;

namespace {

// The main window's share of the work: it keeps the station record's status word and speed
// unit current from its own monitor registration.
class RecordFeeder : public CommClient {
public:
    RecordFeeder(CommManager& comm, StationRecord& record) : comm_(comm), record_(record)
    {
        comm_.AddMonitor(record.station, kWatched);
        comm_.AddListener(record.station, this);
    }
    ~RecordFeeder() override { comm_.RemoveMonitor(record_.station, kWatched); }
    void OnCommMonitor(int, const CommReply& reply) override
    {
        for (int i = 0; reply.error == kNoError && i < reply.count; ++i) {
            if (reply.addresses[i] == reg::kStatus)
                record_.status = static_cast<int32_t>(reply.values[i]);
            if (reply.addresses[i] == reg::kRpmDisplay)
                record_.value26 = static_cast<int32_t>(reply.values[i]);
        }
    }

private:
    static constexpr std::array<uint16_t, 2> kWatched{reg::kStatus, reg::kRpmDisplay};
    CommManager& comm_;
    StationRecord& record_;
};

void Connect(StationRecord& r, int model, int version, int timeScale = kDefaultTimeScale)
{
    r.present = r.connected = 1;
    r.model = model;
    r.version = version;
    r.timeScale = timeScale;
}

// One simulated drive, station 3, with the program's settings in a temporary folder.
class KeypadLine : public ::testing::Test {
protected:
    void Add(const std::string& spec)
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
        line.AddStations({spec});
        drive = line.line.Station(3);
        ASSERT_NE(drive, nullptr);
        Connect(host.Record(3), drive->Identity().model, drive->Identity().version);
        feeder = std::make_unique<RecordFeeder>(line.manager, host.Record(3));
        line.manager.SetPollRange(3, 3);
    }
    uint16_t DriveRegister(uint16_t address) const
    {
        uint16_t v = 0;
        drive->Read(address, v);
        return v;
    }
    bool Status(int32_t bits) const { return (host.records[3].status & bits) == bits; }
    void Command(const std::string& text) { ASSERT_EQ(line.line.Command(text, line.now).text, "ok"); }

    QTemporaryDir dir;
    test::LineHarness line;
    test::FakeToolHost host{&line.manager};
    sim::SimDrive* drive = nullptr;
    std::unique_ptr<RecordFeeder> feeder;
};

// Both lamp phases of the current status word.
std::pair<LampState, LampState> TwoPhases(KeypadLogic& k)
{
    k.LampTick();
    const LampState a = k.Lamps();
    k.LampTick();
    return {a, k.Lamps()};
}

}  // namespace

// ---- run commands and lamps on a simulated drive ---------------------------------------------

TEST_F(KeypadLine, forwardRunWritesTwoAndTheForwardLampFollowsTheDrive)
{
    Add("3:QM-A20");
    KeypadLogic k(host, 3);
    k.Open();
    k.ForwardRun();
    ASSERT_TRUE(line.StepUntil([&] { return Status(reg::kStatusForward | reg::kStatusAccelerating); }));
    EXPECT_EQ(DriveRegister(reg::kRunCommand), reg::kRunForward);
    // Accelerating: the lamp blinks.
    auto [on, off] = TwoPhases(k);
    EXPECT_NE(on.forward, off.forward);
    EXPECT_FALSE(on.reverse || off.reverse || on.fault);
    // At speed: steady.
    ASSERT_TRUE(
        line.StepUntil([&] { return Status(reg::kStatusForward) && !Status(reg::kStatusAccelerating); }));
    std::tie(on, off) = TwoPhases(k);
    EXPECT_TRUE(on.forward && off.forward);
    EXPECT_FALSE(on.reverse || off.reverse);

    // The frequency display follows the drive; a run command never registers anything itself.
    ASSERT_TRUE(line.StepUntil([&] { return k.Raw(1) >= 5900; }));
    EXPECT_EQ(line.manager.MonitorRefCount(3, reg::kSpeed), 1);
    EXPECT_TRUE(k.CommandError().isEmpty());
}

TEST_F(KeypadLine, stopResetResetsATrippedDriveAndStopsARunningOne)
{
    Add("3:QM-B20X");
    KeypadLogic k(host, 3);
    k.Open();
    k.ReverseRun();
    ASSERT_TRUE(line.StepUntil([&] { return Status(reg::kStatusReverse); }));
    EXPECT_EQ(DriveRegister(reg::kRunCommand), reg::kRunReverse);
    k.StopReset();
    ASSERT_TRUE(line.StepUntil([&] { return DriveRegister(reg::kRunCommand) == reg::kRunStop; }));
    ASSERT_TRUE(line.StepUntil([&] { return Status(reg::kStatusStop); }));

    Command("trip 3 0");
    ASSERT_TRUE(line.StepUntil([&] { return Status(reg::kStatusFault); }));
    // Stopped and tripped: FAULT steady, both run lamps blink.
    const auto [on, off] = TwoPhases(k);
    EXPECT_TRUE(on.fault && off.fault);
    EXPECT_NE(on.forward, off.forward);
    EXPECT_EQ(on.forward, on.reverse);
    EXPECT_EQ(KeypadLogic::StopResetValue(host.records[3].status), reg::kRunReset);
    k.StopReset();
    ASSERT_TRUE(line.StepUntil([&] { return !drive->Tripped(); }));
    EXPECT_EQ(DriveRegister(reg::kRunCommand), reg::kRunReset);
    ASSERT_TRUE(line.StepUntil([&] { return !Status(reg::kStatusFault); }));
    EXPECT_EQ(KeypadLogic::StopResetValue(host.records[3].status), reg::kRunStop);
}

TEST_F(KeypadLine, aRunCommandThatNeverReachesTheDriveStaysReportedUntilOneSucceeds)
{
    Add("3:QM-A20");
    KeypadLogic k(host, 3);
    k.Open();
    ASSERT_TRUE(line.StepUntil([&] { return k.Raw(0) == 6000; }));
    Command("silence 3");
    k.StopReset();
    ASSERT_TRUE(line.StepUntil([&] { return !k.CommandError().isEmpty(); }));
    EXPECT_EQ(k.CommandError(), QStringLiteral("*** Timeout Error ***"));
    EXPECT_FALSE(k.RunCommandPending());
    EXPECT_TRUE(
        k.UnconfirmedCommandText().endsWith(QStringLiteral("did not reach the drive *** Timeout Error ***")));
    // The monitor cycle gave up too: the displays keep their last values.
    ASSERT_TRUE(line.StepUntil([&] { return !k.Registered(); }));
    EXPECT_EQ(k.Raw(0), 6000u);
    EXPECT_DOUBLE_EQ(k.Reading(0)->value, 60.0);
    // The keypad no longer holds references the manager dropped: closing takes nobody else's.
    line.manager.AddMonitor(3, std::array<uint16_t, 1>{reg::kFreqCommand});
    k.Close();
    EXPECT_EQ(line.manager.MonitorRefCount(3, reg::kFreqCommand), 1);

    Command("revive 3");
    k.ForwardRun();
    ASSERT_TRUE(line.StepUntil([&] { return k.CommandError().isEmpty(); }));
    EXPECT_EQ(DriveRegister(reg::kRunCommand), reg::kRunForward);
    EXPECT_TRUE(k.UnconfirmedCommandText().isEmpty());
}

// ---- displays --------------------------------------------------------------------------------

TEST_F(KeypadLine, aNewItemIgnoresTheFirstNotificationAndMovesTheRegistration)
{
    Add("3:QM-A20");
    KeypadLogic k(host, 3);
    k.Open();
    ASSERT_TRUE(line.StepUntil([&] { return k.Raw(0) == 6000; }));
    const auto& items = k.Items();
    const int acc =
        static_cast<int>(std::find_if(items.begin(), items.end(),
                                      [](const MonitorItem& i) { return i.address == reg::kAccTime; }) -
                         items.begin());
    k.SelectItem(0, acc);
    EXPECT_EQ(k.Address(0), reg::kAccTime);
    EXPECT_EQ(line.manager.MonitorRefCount(3, reg::kFreqCommand), 0);
    EXPECT_EQ(line.manager.MonitorRefCount(3, reg::kAccTime), 1);

    // A notification that still carries the old value is not shown.
    CommReply stale;
    stale.count = 1;
    stale.addresses[0] = reg::kAccTime;
    stale.values[0] = 1;
    static_cast<CommClient&>(k).OnCommMonitor(3, stale);
    EXPECT_EQ(k.Raw(0), 6000u);
    ASSERT_TRUE(line.StepUntil([&] { return k.Raw(0) == DriveRegister(reg::kAccTime); }));
    EXPECT_EQ(k.Format(0), (DisplayFormat{QStringLiteral("sec"), 1, false}));
}

TEST(KeypadDisplays, everyModelsDefaultItemsShowUnitsSignAndDecimals)
{
    struct Case {
        int model;
        int display;
        int32_t value26;
        uint32_t raw;
        const char* unit;
        const char* text;
    };
    const Case cases[] = {
        {kModelQmA20, 0, 0, 6000, "Hz", "60.00"},    {kModelQmA20, 1, 0, 1234, "Hz", "12.34"},
        {kModelQmE20, 1, 1, 1750, "rpm", "1750"},  // speed display: raw rpm, no decimals
        {kModelQmF20X, 0, 0, 12000, "Hz", "120.00"}, {kModelQmB20X, 1, 1, 0xFFFF, "rpm", "65535"},
        {kModelQmC20, 0, 1, 18000, "rpm", "1800.0"},  // address 26 means nothing on QM-C20
        {kModelQmC20, 1, 0, 0xFFF6, "%", "-1.0"},     // signed word: the sign follows bit 15
        {kModelQmC20, 1, 0, 250, "%", "25.0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "model " << c.model << " display " << c.display);
        QTemporaryDir dir;
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
        test::FakeToolHost host;
        StationRecord& r = host.Record(3);
        Connect(r, c.model, c.model == kModelQmC20 ? 0x0100 : 0x0010);
        r.value26 = c.value26;
        KeypadLogic k(host, 3);
        k.Open();
        ASSERT_EQ(k.Address(c.display), KeypadLogic::DefaultAddress(c.model, c.display));
        CommReply reply;
        reply.count = 1;
        reply.addresses[0] = static_cast<uint32_t>(k.Address(c.display));
        reply.values[0] = c.raw;
        static_cast<CommClient&>(k).OnCommMonitor(3, reply);
        const DisplayFormat f = k.Format(c.display);
        const DisplayReading v = *k.Reading(c.display);
        EXPECT_EQ(f.unit, QString::fromLatin1(c.unit));
        EXPECT_EQ(KeypadLogic::DisplayText(v.value, f.decimals, v.sign.value_or(f.sign)).trimmed(),
                  QString::fromLatin1(c.text));
        if (c.model == kModelQmC20 && c.display == 1) {
            EXPECT_EQ(v.sign, (c.raw & 0x8000) != 0);
        }
    }
}

TEST(KeypadDisplays, analogInputsTimesAndTheSignColumn)
{
    MonitorItem v2;
    v2.address = 19;
    v2.scale = 10;
    EXPECT_DOUBLE_EQ(KeypadLogic::Convert(1023, v2, kModelQmB20X, 10, 0).value, -10.0);
    EXPECT_DOUBLE_EQ(KeypadLogic::Convert(4095, v2, kModelQmF20X, 10, 0).value, 15.0);
    EXPECT_DOUBLE_EQ(KeypadLogic::Convert(32736, v2, kModelQmA20, 10, 0).value, 5.0);
    MonitorItem acc;
    acc.address = reg::kAccTime;
    acc.scale = 10;
    EXPECT_DOUBLE_EQ(KeypadLogic::Convert(123, acc, kModelQmA20, 100, 0).value, 1.23);
    EXPECT_DOUBLE_EQ(KeypadLogic::Convert(123, acc, kModelQmA20, 1, 0).value, 123.0);
    // A signed item reads the word as signed; an unsigned one never shows a minus.
    MonitorItem temp;
    temp.address = 39;
    temp.minimum = -10;
    EXPECT_DOUBLE_EQ(KeypadLogic::Convert(0xFFFB, temp, kModelQmC20, 10, 0).value, -5.0);
    temp.minimum = 0;
    EXPECT_DOUBLE_EQ(KeypadLogic::Convert(0xFFFB, temp, kModelQmC20, 10, 0).value, 65531.0);

    EXPECT_EQ(KeypadLogic::DisplayText(-0.001, 2, true), QStringLiteral(" 0.00"));
    EXPECT_EQ(KeypadLogic::DisplayText(12.5, 1, true), QStringLiteral(" 12.5"));
    SevenSegmentDisplay display;
    display.SetDecimals(1);
    display.SetValue(-3276.8);
    display.SetShowSign(true);
    EXPECT_EQ(display.Text(), QStringLiteral("-3276.8"));
    display.SetDecimals(2);
    EXPECT_EQ(display.Text(), QStringLiteral("------"));  // seven digits do not fit in six cells
}

// ---- remembered items ------------------------------------------------------------------------

TEST(KeypadSettings, savedItemsComeBackAndUnknownOnesFallBackToTheFirstItem)
{
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    test::FakeToolHost host;
    Connect(host.Record(7), kModelQmA20, 0x0010);
    {
        QSettings s(kCompanyKey, kApplicationKey);
        s.setValue(QStringLiteral("KPDMon/Mon Addr 7-0"), 9);
        s.setValue(QStringLiteral("KPDMon/Mon Addr 7-1"), 1282);  // a QM-C20 item
    }
    KeypadLogic k(host, 7);
    k.Open();
    EXPECT_EQ(k.Address(0), reg::kCurrent);
    EXPECT_EQ(k.Address(1), k.Items().front().address);
    EXPECT_EQ(k.Index(1), 0);
    EXPECT_EQ(host.Comm().MonitorAddresses(7), (std::vector<uint16_t>{reg::kCurrent, reg::kFreqCommand}));
    k.SelectItem(1, -1);
    k.Close();
    QSettings s(kCompanyKey, kApplicationKey);
    EXPECT_EQ(s.value(QStringLiteral("KPDMon/Mon Addr 7-0")).toUInt(), 9u);
    EXPECT_EQ(s.value(QStringLiteral("KPDMon/Mon Addr 7-1")).toUInt(), 65535u);
    EXPECT_TRUE(host.Comm().MonitorAddresses(7).empty());
    EXPECT_FALSE(host.Comm().IsListener(7, &k));

    // Not connected: no list, nothing shown, nothing registered.
    KeypadLogic offline(host, 8);
    offline.Open();
    EXPECT_TRUE(offline.Items().empty());
    EXPECT_EQ(offline.Address(0), -1);
    EXPECT_FALSE(offline.Reading(0).has_value());
    EXPECT_TRUE(host.Comm().MonitorAddresses(8).empty());
    EXPECT_EQ(offline.EditableItem(0), nullptr);
}

// ---- edit dialog -----------------------------------------------------------------------------

TEST_F(KeypadLine, anEditInRangeIsWrittenRoundedAndOneOutOfRangeIsRefused)
{
    Add("3:QM-A20");
    MonitorItem item = BuildItemSet(kModelQmA20, host.records[3].version, kSetKeypad).front();
    ASSERT_EQ(item.address, reg::kFreqCommand);
    KeypadEditLogic e(line.manager, host.records[3], item);
    EXPECT_EQ(e.Caption(), QStringLiteral("Edit Parameter [3:QM-A20]"));
    EXPECT_EQ(e.MaximumText(), QStringLiteral("400.00"));
    e.Read();
    EXPECT_TRUE(e.Busy());
    ASSERT_TRUE(line.StepUntil([&] { return !e.Busy(); }));
    EXPECT_EQ(e.ValueText(), QStringLiteral("60.00"));

    e.Write(QStringLiteral("50.29"));
    EXPECT_EQ(e.StatusText(), QStringLiteral(" "));
    ASSERT_TRUE(line.StepUntil([&] { return !e.Busy(); }));
    EXPECT_EQ(DriveRegister(reg::kFreqCommand), 5029);

    for (const char* bad : {"400.01", "-5", "", "abc"}) {
        SCOPED_TRACE(bad);
        e.Write(QString::fromLatin1(bad));
        EXPECT_EQ(e.StatusText(), QStringLiteral("*** Data Range Error ***"));
        ASSERT_TRUE(line.StepUntil([&] { return !e.Busy(); }));
        EXPECT_EQ(DriveRegister(reg::kFreqCommand), 5029);  // nothing written, a fresh read instead
        EXPECT_EQ(e.ValueText(), QStringLiteral("50.29"));
    }
    EXPECT_FALSE(QRegularExpression(QStringLiteral("^") + e.InputPattern() + QStringLiteral("$"))
                     .match(QStringLiteral("-5"))
                     .hasMatch());

    // A failed write is reported and read again; the failed read leaves the field unusable.
    Command("silence 3");
    e.Write(QStringLiteral("10"));
    ASSERT_TRUE(line.StepUntil([&] { return !e.Busy(); }));
    EXPECT_EQ(e.StatusText(), QStringLiteral("*** Timeout Error ***"));
    EXPECT_FALSE(e.ValueEnabled());
    EXPECT_TRUE(e.ValueText().isEmpty());
}

TEST_F(KeypadLine, timesUseTheDrivesResolutionAndSignedItemsTakeAMinus)
{
    Add("3:QM-C20");
    host.records[3].timeScale = 100;
    const auto items = BuildItemSet(kModelQmC20, host.records[3].version, kSetKeypad);
    const auto find = [&](uint16_t a) {
        return *std::find_if(items.begin(), items.end(),
                             [a](const MonitorItem& i) { return i.address == a; });
    };
    KeypadEditLogic acc(line.manager, host.records[3], find(reg::kC20AccTime));
    EXPECT_EQ(acc.WorkingScale(), 100);
    EXPECT_EQ(acc.Decimals(), 2);
    EXPECT_EQ(acc.MaximumText(), QStringLiteral("600.0"));
    acc.Write(QStringLiteral("12.34"));
    ASSERT_TRUE(line.StepUntil([&] { return !acc.Busy(); }));
    EXPECT_EQ(DriveRegister(reg::kC20AccTime), 1234);

    KeypadEditLogic torque(line.manager, host.records[3], find(1285));
    EXPECT_EQ(torque.MinimumText(), QStringLiteral("-180.0"));
    torque.Write(QStringLiteral("-12.5"));
    ASSERT_TRUE(line.StepUntil([&] { return !torque.Busy(); }));
    EXPECT_EQ(DriveRegister(1285), static_cast<uint16_t>(-125));
    torque.Read();
    ASSERT_TRUE(line.StepUntil([&] { return !torque.Busy(); }));
    EXPECT_EQ(torque.ValueText(), QStringLiteral("-12.5"));
}

// ---- graph watch and the window --------------------------------------------------------------

TEST_F(KeypadLine, theEditDialogOpensInsideTheScreenWhenTheWindowSitsAtItsBottomRight)
{
    Add("3:QM-A20");
    RegisterKeypadKind(host.frames);
    auto* frame = static_cast<CKPDFrame*>(host.frames.OpenOrActivate(kKindKeypad, 3));
    ASSERT_NE(frame, nullptr);
    ASSERT_NE(frame->screen(), nullptr);
    const QRect screen = frame->screen()->availableGeometry();
    frame->move(screen.right() - frame->width() / 2, screen.bottom() - frame->height() / 2);
    QDialog* dialog = frame->View()->OpenEdit(0);
    ASSERT_NE(dialog, nullptr);
    const QRect g = dialog->frameGeometry();
    EXPECT_TRUE(screen.contains(g)) << g.x() << "," << g.y() << " " << g.width() << "x" << g.height()
                                    << " in " << screen.width() << "x" << screen.height() << " frame at "
                                    << frame->x() << "," << frame->y() << " visible " << frame->isVisible();
    frame->View()->CancelEdit();
}

TEST_F(KeypadLine, graphWatchReleasesTheRegistrationsAndEndingItRestoresThem)
{
    Add("3:QM-A20");
    RegisterKeypadKind(host.frames);
    auto* frame = static_cast<CKPDFrame*>(host.frames.OpenOrActivate(kKindKeypad, 3));
    ASSERT_NE(frame, nullptr);
    CKPDView* view = frame->View();
    KeypadLogic& k = view->Logic();
    EXPECT_EQ(line.manager.MonitorRefCount(3, reg::kFreqCommand), 1);
    ASSERT_NE(view->OpenEdit(0), nullptr);  // frequency command is writable
    EXPECT_EQ(view->OpenEdit(1), nullptr);  // output frequency is not

    host.SetGraphWatch(true);
    QTRY_VERIFY(k.GraphWatchActive());
    QTRY_VERIFY(view->EditDialog() == nullptr);
    EXPECT_FALSE(k.TimerActive());
    EXPECT_FALSE(k.Registered());
    EXPECT_EQ(line.manager.MonitorRefCount(3, reg::kFreqCommand), 0);
    EXPECT_FALSE(line.manager.IsListener(3, &k));
    EXPECT_FALSE(view->ForwardButton()->isEnabled() || view->ItemList(0)->isEnabled());
    EXPECT_FALSE(frame->StopAction()->isEnabled());
    EXPECT_EQ(frame->GraphWatchPane()->text(), QStringLiteral("Graph Watch Mode"));
    const QLabel* pane = frame->GraphWatchPane();
    EXPECT_GE(pane->contentsRect().width(), pane->fontMetrics().horizontalAdvance(pane->text()));
    const size_t queued = line.manager.QueueLength();
    k.ForwardRun();
    EXPECT_EQ(line.manager.QueueLength(), queued);
    EXPECT_EQ(view->OpenEdit(0), nullptr);

    host.SetGraphWatch(false);
    QTRY_VERIFY(!k.GraphWatchActive());
    EXPECT_TRUE(k.TimerActive());
    EXPECT_EQ(line.manager.MonitorRefCount(3, reg::kFreqCommand), 1);
    EXPECT_TRUE(line.manager.IsListener(3, &k));
    EXPECT_TRUE(view->ForwardButton()->isEnabled() && frame->StopAction()->isEnabled());
    EXPECT_TRUE(frame->GraphWatchPane()->text().isEmpty());
}

TEST_F(KeypadLine, theWindowIsOnePerStationFollowsTheNameAndClosesOnDisconnect)
{
    Add("3:QM-B20X");
    RegisterKeypadKind(host.frames);
    auto* frame = static_cast<CKPDFrame*>(host.frames.OpenOrActivate(kKindKeypad, 3));
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(host.frames.OpenOrActivate(kKindKeypad, 3), frame);
    EXPECT_EQ(host.frames.Count(kKindKeypad), 1);
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("KEY PAD - 3:QM-B20X"));
    EXPECT_EQ(frame->View()->TitleLine()->text(), QStringLiteral("3:QM-B20X"));
    EXPECT_EQ(frame->View()->NameLine()->text(), QStringLiteral("( Name :   )"));
    EXPECT_EQ(frame->minimumSize(), frame->maximumSize());
    EXPECT_FALSE(frame->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(frame->View()->ForwardButton()->accessibleName(), QStringLiteral("Forward Run"));

    // A double click on FWD (press, release, double click, release) is two presses.
    const size_t queued = line.manager.QueueLength();
    QPushButton* fwd = frame->View()->ForwardButton();
    QTest::mouseClick(fwd, Qt::LeftButton);
    QTest::mouseDClick(fwd, Qt::LeftButton);
    QTest::mouseRelease(fwd, Qt::LeftButton);
    EXPECT_EQ(line.manager.QueueLength(), queued + 2);

    host.SetDeviceName(3, QStringLiteral("Conveyor"));
    host.DeviceNameChanged(3);
    QTRY_COMPARE(frame->View()->NameLine()->text(), QStringLiteral("( Conveyor )"));

    frame->View()->ItemList(1)->setCurrentIndex(0);
    host.Record(3).Reset();  // as the main window does before it tells the frames
    host.frames.Broadcast(ToolNotice::InvDisconnected, 3);
    QTRY_VERIFY(!host.frames.Exists(kKindKeypad, 3));
    // The two FWD presses were still on their way: closing with the drive says so.
    QTRY_COMPARE(host.messages.Entries().size(), size_t(1));
    EXPECT_EQ(host.messages.Entries()[0].caption, "KEY PAD");
    EXPECT_NE(host.messages.Entries()[0].text.find("KEY PAD - 3:QM-B20X: the drive was disconnected"),
              std::string::npos);
    EXPECT_TRUE(line.manager.MonitorAddresses(3).size() == 2);  // only the record feeder's
    QSettings s(kCompanyKey, kApplicationKey);
    EXPECT_EQ(s.value(QStringLiteral("KPDMon/Mon Addr 3-1")).toUInt(), uint(reg::kFreqCommand));
}

TEST_F(KeypadLine, aDisconnectUnderTheEditDialogClosesTheDialogWithTheWindow)
{
    Add("3:QM-B20X");
    RegisterKeypadKind(host.frames);
    QPointer<CKPDFrame> frame = static_cast<CKPDFrame*>(host.frames.OpenOrActivate(kKindKeypad, 3));
    ASSERT_TRUE(frame);
    QPointer<QDialog> edit = frame->View()->OpenEdit(0);
    ASSERT_TRUE(edit);
    EXPECT_TRUE(edit->isVisible());
    host.Record(3).Reset();
    host.frames.Broadcast(ToolNotice::InvDisconnected, 3);
    QTRY_VERIFY(frame.isNull());
    EXPECT_TRUE(edit.isNull());
    EXPECT_FALSE(host.frames.Exists(kKindKeypad, 3));
}
