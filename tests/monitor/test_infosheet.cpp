#include "monitor/InfoSheet.h"

#include "catalogue/Models.h"
#include "comm/Kx485.h"
#include "tests/support/FakeToolHost.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <deque>
#include <map>

using namespace vm;

namespace {

// ---- page logic -----------------------------------------------------------------------------

// A present and connected station: capacity code 4 of the 400 V class, time scale 10.
StationRecord Station(int id, int model, int version)
{
    StationRecord r;
    r.station = id;
    r.present = r.connected = 1;
    r.model = model;
    r.version = version;
    r.capacity = 4;
    r.voltage = 1;
    r.timeScale = 10;
    return r;
}

QString Text(const StationRecord& r, uint32_t address, uint32_t value, int* slot = nullptr)
{
    auto t = InfoGenValueText(r, address, value);
    if (!t)
        return QStringLiteral("<none>");
    if (slot)
        *slot = t->slot;
    return t->text;
}

// A value's text and the slot of the General page it lands in.
struct Shown {
    QString text;
    int slot = -1;
    bool operator==(const Shown&) const = default;
};

void PrintTo(const Shown& s, std::ostream* os)
{
    *os << '"' << s.text.toStdString() << "\" in slot " << s.slot;
}

Shown InSlot(const StationRecord& r, uint32_t address, uint32_t value)
{
    Shown s;
    s.text = Text(r, address, value, &s.slot);
    return s;
}

TEST(InfoSheetLogic, titleCarriesIdentityTrimmedNameAndGraphWatchPrefix)
{
    const StationRecord r = Station(3, 4, 0x0105);
    const QString base = QStringLiteral("3 : %1 (5.5kW-4) Ver1.05").arg(QString::fromLatin1(ModelName(4)));
    EXPECT_EQ(InfoSheetTitle(r, QStringLiteral("   "), false), base);
    EXPECT_EQ(InfoSheetTitle(r, QStringLiteral("  Pump 1 "), false), base + QStringLiteral(" - Pump 1"));
    EXPECT_EQ(InfoSheetTitle(r, QStringLiteral("Pump 1"), true),
              QStringLiteral("Graph Watch Mode - ") + base + QStringLiteral(" - Pump 1"));
    EXPECT_EQ(InfoSheetTitle(r, QString(), true), QStringLiteral("Graph Watch Mode - ") + base);
    EXPECT_EQ(InfoDisconnectedTitle(17), QStringLiteral("No. 17 inverter is disconnected"));
}

TEST(InfoSheetLogic, runningStatusValuesLandInTheirSlotsFormatted)
{
    StationRecord r = Station(3, 4, 0x0105);
    r.current = 999;  // stale: the value in the notification wins
    EXPECT_EQ(InSlot(r, 9, 123), (Shown{"12.3 A", kGenOutputCurrent}));
    EXPECT_EQ(InSlot(r, 14, 0x12), (Shown{"Forward Accelerating...", kGenRunningStatus}));
    EXPECT_EQ(InSlot(r, 12, 5405), (Shown{"5405 V", kGenDcLink}));
    // Output speed: a frequency unless address 26 asks for rpm.
    EXPECT_EQ(InSlot(r, 10, 3000), (Shown{"30.00 Hz", kGenOutputFreq}));
    r.value26 = 1;
    EXPECT_EQ(Text(r, 10, 1750), QStringLiteral("1750 rpm"));
    // Times follow the station's time scale.
    r.timeScale = 100;
    EXPECT_EQ(InSlot(r, 7, 123), (Shown{"1.23 sec", kGenAccTime}));
    r.timeScale = 1;
    EXPECT_EQ(InSlot(r, 8, 123), (Shown{"123 sec", kGenDecTime}));
    EXPECT_EQ(Text(r, 6, 1), QStringLiteral("<none>"));
    EXPECT_EQ(Text(r, 15, 1), QStringLiteral("<none>"));

    // Model 5 shows speeds: signed rpm, its own time registers, tenths of volts.
    const StationRecord m5 = Station(5, 5, 0x0100);
    EXPECT_EQ(InSlot(m5, 1282, 0xFFF6), (Shown{"-1.0 rpm", kGenFreqCommand}));
    EXPECT_EQ(InSlot(m5, 32, 0xFFF6), (Shown{"-10 rpm", kGenOutputFreq}));
    EXPECT_EQ(InSlot(m5, 1284, 70), (Shown{"7.0 sec", kGenDecTime}));
    EXPECT_EQ(Text(m5, 12, 5405), QStringLiteral("540.5 V"));
}

TEST(InfoSheetLogic, faultBoxesCutNamesAndFollowTheirOwnWord)
{
    EXPECT_EQ(InfoFaultBoxText("Drive Over Heat(OH)"), QStringLiteral("Drive Over Heat"));
    EXPECT_EQ(InfoFaultBoxText("External-A <Normal Open> (EXTA)"),
              QStringLiteral("External-A <Normal Open>"));
    EXPECT_EQ(InfoFaultBoxText("(OPT) card"), QStringLiteral("(OPT) card"));
    EXPECT_EQ(InfoFaultAddresses(10, 0x0014), (std::vector<uint16_t>{15}));
    EXPECT_EQ(InfoFaultAddresses(10, 0x0015), (std::vector<uint16_t>{15, 29}));

    const auto boxes = InfoFaultBoxes(10, 0x0015);
    ASSERT_EQ(boxes.size(), 20u);
    EXPECT_EQ(boxes[16].text, QStringLiteral("Loader Failure"));
    std::vector<bool> states(boxes.size(), false);
    states[19] = true;  // set by an earlier second fault word
    InfoApplyWord(boxes, 15, 0x8001, states);
    EXPECT_TRUE(states[0] && states[15] && !states[1]);
    EXPECT_TRUE(states[19]);  // fault word 1 leaves the second word's boxes alone
    InfoApplyWord(boxes, 29, 0x0004, states);
    EXPECT_TRUE(states[18] && !states[19] && states[0]);

    // Model 5 has no bit 2: its third box is bit 3.
    const auto model5 = InfoFaultBoxes(5, 0x0100);
    std::vector<bool> m5(model5.size(), false);
    InfoApplyWord(model5, 15, 0x0004, m5);
    EXPECT_EQ(std::count(m5.begin(), m5.end(), true), 0);
    InfoApplyWord(model5, 15, 0x0008, m5);
    EXPECT_TRUE(m5.at(2));
}

TEST(InfoSheetLogic, terminalBoxesFollowTheirBitNumbers)
{
    const auto outputs = InfoOutputBoxes(10, 0x0015);  // "MO" bit 4, "3ABC" bit 7
    ASSERT_EQ(outputs.size(), 2u);
    std::vector<bool> states(2, false);
    InfoApplyWord(outputs, 17, 0x0010, states);
    EXPECT_EQ(states, (std::vector<bool>{true, false}));
    InfoApplyWord(outputs, 16, 0x00FF, states);  // an input word does not touch outputs
    EXPECT_EQ(states, (std::vector<bool>{true, false}));
    InfoApplyWord(outputs, 17, 0x0080, states);
    EXPECT_EQ(states, (std::vector<bool>{false, true}));
}

// ---- the sheet against a real manager -------------------------------------------------------

// KX485 drives on a line: every frame written is answered at once from their registers.
class DrivePort : public CommPort {
public:
    struct Line {
        std::map<int, std::map<uint16_t, uint16_t>> registers;
        std::map<int, std::vector<uint16_t>> registered;
        bool silent = false;
    };
    explicit DrivePort(Line& line) : m_line(line) {}
    bool Open(const PortSettings&, CommErrorSink*, std::function<void()>) override { return true; }
    bool Start() override { return true; }
    bool IsOpen() const override { return true; }
    void Close() override {}
    bool WriteBytes(std::span<const uint8_t> bytes) override
    {
        m_pending.clear();
        auto request = kx485::ParseRequest(bytes);
        if (m_line.silent || !request)
            return true;
        const int s = request->station;
        auto& regs = m_line.registers[s];
        std::vector<uint16_t> words;
        if (request->command == 'X')
            m_line.registered[s] = request->addresses;
        else if (request->command == 'Y')
            for (uint16_t a : m_line.registered[s])
                words.push_back(regs[a]);
        else if (request->command == 'R')
            words.push_back(regs[request->address]);
        else
            words.push_back(regs[request->address] = request->value);
        const std::string reply = kx485::BuildAck(s, request->command, words);
        m_pending.assign(reply.begin(), reply.end());
        return true;
    }
    bool WriteText(std::string_view text) override
    {
        return WriteBytes({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
    }
    bool ReadByte(uint8_t& byte) override
    {
        if (m_pending.empty())
            return false;
        byte = m_pending.front();
        m_pending.pop_front();
        return true;
    }

private:
    Line& m_line;
    std::deque<uint8_t> m_pending;
};

// Stands in for the main window: records, names, the manager, graph watch mode.
class FakeHost : public test::FakeToolHost {
public:
    CommManager& comm = Comm();
    std::vector<int>& changed = nameChanges;
};

// The main window's own registration of a station.
class MainListener : public CommClient {
public:
    Role CommRole() const override { return Role::MainWindow; }
};

using Counts = std::map<uint16_t, int>;

class InfoSheetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (int i = 0; i < kStationRecordCount; ++i)
            host.records[i].station = i;
        Connect(3, 4, 0x0105);
        Connect(2, 10, 0x0015);
        Connect(5, 5, 0x0100);
    }
    void TearDown() override { owner.reset(); }

    // A connected station as the main window leaves it: its address set and listener.
    void Connect(int id, int model, int version)
    {
        StationRecord& r = host.records[id];
        r = Station(id, model, version);
        host.comm.AddMonitor(id, MonitorAddressSet(model, version));
        host.comm.AddListener(id, &mainWindow);
    }
    Counts CountsOf(int station) const
    {
        Counts counts;
        for (uint16_t a : host.comm.MonitorAddresses(station))
            counts[a] = host.comm.MonitorRefCount(station, a);
        return counts;
    }
    CInvInfoPropertySheet& Open(int station)
    {
        EXPECT_TRUE(owner->Show(station));
        return *owner->Sheet();
    }
    static void FlushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    FakeHost host;
    MainListener mainWindow;
    std::unique_ptr<InfoSheetOwner> owner = std::make_unique<InfoSheetOwner>(host);
};

TEST_F(InfoSheetTest, onlyTheVisiblePageIsRegisteredAndClosingRestoresTheCounts)
{
    const Counts before = CountsOf(3);
    CInvInfoPropertySheet& sheet = Open(3);

    Counts counts = CountsOf(3);
    for (uint16_t a : {5, 7, 8, 9, 10, 13, 14, 12})
        EXPECT_EQ(counts[a], before.contains(a) ? before.at(a) + 1 : 1) << a;
    EXPECT_TRUE(sheet.General().Registered());
    EXPECT_TRUE(host.comm.IsListener(3, &sheet.General()));
    EXPECT_FALSE(sheet.Faults().Registered());

    sheet.Tabs().setCurrentIndex(CInvInfoPropertySheet::kPageFaults);
    counts = CountsOf(3);
    EXPECT_EQ(counts[15], 1);
    EXPECT_EQ(counts[5], before.at(5));
    EXPECT_FALSE(counts.contains(7));
    EXPECT_FALSE(host.comm.IsListener(3, &sheet.General()));
    EXPECT_TRUE(host.comm.IsListener(3, &sheet.Faults()));

    // Fault page to terminal page: fault word out, terminal words in.
    sheet.Tabs().setCurrentIndex(CInvInfoPropertySheet::kPageTerminals);
    counts = CountsOf(3);
    EXPECT_FALSE(counts.contains(15));
    EXPECT_EQ(counts[16], 1);
    EXPECT_EQ(counts[17], 1);
    EXPECT_TRUE(sheet.Terminals().Registered());
    EXPECT_FALSE(sheet.Faults().Registered());

    owner->Close();
    EXPECT_EQ(owner->Sheet(), nullptr);
    EXPECT_EQ(CountsOf(3), before);
    EXPECT_TRUE(host.comm.IsListener(3, &mainWindow));
}

TEST_F(InfoSheetTest, choosingAnotherStationMovesTheOpenSheet)
{
    const Counts before3 = CountsOf(3);
    const Counts before2 = CountsOf(2);
    host.records[8].present = 1;  // answered but not supported
    for (int station : {7, 8, 0, 300})
        EXPECT_FALSE(owner->Show(station)) << station;
    EXPECT_EQ(owner->Sheet(), nullptr);

    CInvInfoPropertySheet& sheet = Open(3);
    EXPECT_FALSE(owner->Show(7));
    EXPECT_EQ(sheet.Station(), 3);
    sheet.Tabs().setCurrentIndex(CInvInfoPropertySheet::kPageFaults);
    EXPECT_EQ(sheet.Faults().Items().size(), 16u);

    ASSERT_TRUE(owner->Show(2));
    EXPECT_EQ(owner->Sheet(), &sheet);  // no second sheet
    EXPECT_EQ(sheet.Station(), 2);
    EXPECT_EQ(sheet.General().Station(), 2);
    EXPECT_EQ(sheet.Terminals().Station(), 2);
    EXPECT_EQ(CountsOf(3), before3);

    // Model 10 from version 0x0015: both fault words, twenty boxes.
    Counts counts = CountsOf(2);
    EXPECT_EQ(counts[15], before2.contains(15) ? before2.at(15) + 1 : 1);
    EXPECT_EQ(counts[29], 1);
    EXPECT_EQ(sheet.Faults().Items().size(), 20u);
    EXPECT_FALSE(sheet.Faults().Box(19)->isHidden());
    EXPECT_TRUE(sheet.windowTitle().startsWith(QStringLiteral("2 : ")));
    // The pages not shown are rebuilt but not registered.
    EXPECT_FALSE(sheet.General().Registered());
    EXPECT_EQ(sheet.Terminals().Items().size(), 10u);  // P1-P8, MO, 3ABC
    EXPECT_EQ(sheet.Terminals().OutputBox(0)->text(), QStringLiteral("MO"));
    EXPECT_TRUE(sheet.Terminals().OutputBox(2)->isHidden());
    EXPECT_TRUE(sheet.Terminals().InputBox(8)->isHidden());

    sheet.Tabs().setCurrentIndex(CInvInfoPropertySheet::kPageGeneral);
    EXPECT_EQ(CountsOf(2)[29], 0);
    owner->Close();
    EXPECT_EQ(CountsOf(2), before2);
    EXPECT_EQ(CountsOf(3), before3);
}

TEST_F(InfoSheetTest, speedModelShowsSpeedLabelsAndRegistersItsAddresses)
{
    CInvInfoPropertySheet& sheet = Open(5);
    EXPECT_EQ(sheet.General().Caption(kGenFreqCommand)->text(), QStringLiteral("지령속도:"));
    EXPECT_EQ(sheet.General().Caption(kGenOutputFreq)->text(), QStringLiteral("출력속도:"));
    const Counts counts = CountsOf(5);
    for (uint16_t a : {1282, 1283, 1284, 32})
        EXPECT_TRUE(counts.contains(a)) << a;
    EXPECT_FALSE(counts.contains(7));

    ASSERT_TRUE(owner->Show(3));
    EXPECT_EQ(sheet.General().Caption(kGenFreqCommand)->text(), QStringLiteral("Freq. Command:"));
    EXPECT_FALSE(CountsOf(5).contains(1282));
}

TEST_F(InfoSheetTest, deviceNameIsLimitedTrimmedAndAnnouncedOnlyWhenChanged)
{
    host.names[3] = QStringLiteral("Fan");
    CInvInfoPropertySheet& sheet = Open(3);
    CInfoGen& gen = sheet.General();
    EXPECT_EQ(gen.NameEdit()->text(), QStringLiteral("Fan"));
    EXPECT_TRUE(sheet.windowTitle().endsWith(QStringLiteral(" - Fan")));

    gen.NameEdit()->clear();
    QTest::keyClicks(gen.NameEdit(), QStringLiteral("ABCDEFGHIJKLMNOPQRST"));
    EXPECT_EQ(gen.NameEdit()->text(), QStringLiteral("ABCDEFGHIJKLMNO"));

    gen.NameEdit()->setText(QStringLiteral("  Pump 1  "));
    gen.ApplyButton()->click();
    EXPECT_EQ(host.names[3], QStringLiteral("Pump 1"));
    EXPECT_EQ(host.changed, std::vector<int>{3});
    EXPECT_TRUE(sheet.windowTitle().endsWith(QStringLiteral(" - Pump 1")));

    gen.NameEdit()->setText(QStringLiteral("Pump 1 "));
    gen.ApplyButton()->click();
    EXPECT_EQ(host.changed, std::vector<int>{3});  // unchanged after trimming: nothing sent

    // The name edit stays usable while the values are greyed in graph watch mode.
    host.comm.SetGraphWatch(true);
    owner->GraphWatchChanged();
    EXPECT_TRUE(gen.NameEdit()->isEnabled());
    EXPECT_TRUE(gen.ApplyButton()->isEnabled());
    gen.NameEdit()->setText(QString());
    gen.ApplyButton()->click();
    EXPECT_EQ(host.names[3], QString());
    EXPECT_EQ(host.changed, (std::vector<int>{3, 3}));
}

TEST_F(InfoSheetTest, graphWatchSuspendsRunningStatusButNotFaults)
{
    const Counts before = CountsOf(3);
    CInvInfoPropertySheet& sheet = Open(3);
    host.comm.SetGraphWatch(true);
    owner->GraphWatchChanged();
    EXPECT_FALSE(sheet.General().Registered());
    EXPECT_EQ(CountsOf(3), before);
    EXPECT_FALSE(sheet.General().Value(kGenOutputCurrent)->isEnabled());
    EXPECT_TRUE(sheet.windowTitle().startsWith(QStringLiteral("Graph Watch Mode - 3 : ")));

    // The terminal page stays suspended when it becomes visible; the fault page registers.
    sheet.Tabs().setCurrentIndex(CInvInfoPropertySheet::kPageTerminals);
    EXPECT_FALSE(sheet.Terminals().Registered());
    EXPECT_FALSE(sheet.Terminals().InputBox(0)->isEnabled());
    sheet.Tabs().setCurrentIndex(CInvInfoPropertySheet::kPageFaults);
    EXPECT_TRUE(sheet.Faults().Registered());
    EXPECT_TRUE(sheet.Faults().Box(0)->isEnabled());

    host.comm.SetGraphWatch(false);
    owner->GraphWatchChanged();
    EXPECT_TRUE(sheet.Faults().Registered());
    EXPECT_FALSE(sheet.windowTitle().startsWith(QStringLiteral("Graph Watch")));
    sheet.Tabs().setCurrentIndex(CInvInfoPropertySheet::kPageGeneral);
    EXPECT_TRUE(sheet.General().Registered());
    EXPECT_TRUE(sheet.General().Value(kGenOutputCurrent)->isEnabled());

    // Switching twice in the same direction registers once.
    owner->GraphWatchChanged();
    EXPECT_EQ(CountsOf(3)[7], 1);
    owner->Close();
    EXPECT_EQ(CountsOf(3), before);
}

TEST_F(InfoSheetTest, enterAndEscapeAreSwallowedOnlyOnTheRunningStatusPage)
{
    const Counts before = CountsOf(3);
    CInvInfoPropertySheet& sheet = Open(3);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&sheet));
    QTest::keyClick(sheet.General().NameEdit(), Qt::Key_Escape);
    QTest::keyClick(sheet.General().NameEdit(), Qt::Key_Return);
    QTest::keyClick(&sheet.General(), Qt::Key_Enter);
    EXPECT_FALSE(sheet.Closed());
    EXPECT_TRUE(sheet.isVisible());

    sheet.Tabs().setCurrentIndex(CInvInfoPropertySheet::kPageTerminals);
    QTest::keyClick(&sheet.Terminals(), Qt::Key_Escape);
    EXPECT_TRUE(sheet.Closed());
    EXPECT_FALSE(sheet.isVisible());
    EXPECT_EQ(CountsOf(3), before);  // given back at once, before the deferred delete
    FlushDeletes();
    EXPECT_EQ(owner->Sheet(), nullptr);

    // "&Close" posts the close; Information before the deferred delete opens a fresh sheet.
    CInvInfoPropertySheet& second = Open(3);
    second.CloseButton().click();
    EXPECT_FALSE(second.Closed());
    QCoreApplication::processEvents();
    EXPECT_TRUE(second.Closed());
    EXPECT_EQ(CountsOf(3), before);
    ASSERT_TRUE(owner->Show(3));
    FlushDeletes();
    ASSERT_NE(owner->Sheet(), nullptr);
    EXPECT_TRUE(owner->Sheet()->General().Registered());
    owner.reset();
    EXPECT_EQ(CountsOf(3), before);
}

// The whole road: drives on a line, the manager polling them, the sheet showing what they report.
class InfoSheetLineTest : public InfoSheetTest {
protected:
    void SetUp() override
    {
        InfoSheetTest::SetUp();
        host.comm.SetPortFactory([this] { return std::make_unique<DrivePort>(line); });
        CommSettings settings;
        settings.timeoutMs = 300;
        settings.retryCount = 2;
        ASSERT_EQ(host.comm.Start(settings), 0);
        host.comm.SetPollRange(3, 3);
    }
    void TearDown() override
    {
        InfoSheetTest::TearDown();
        host.comm.Stop();
    }
    // Ticks the manager, feeding it the replies, until done() holds; false after a generous bound.
    template <typename Done>
    bool RunUntil(Done done)
    {
        for (int i = 0; i < 2000; ++i) {
            if (done())
                return true;
            host.comm.Tick();
            host.comm.PumpReceived();
        }
        return done();
    }

    DrivePort::Line line;
};

TEST_F(InfoSheetLineTest, trippedDriveShowsItsFaultBitsTerminalsAndStatus)
{
    auto& regs = line.registers[3];
    regs[5] = 6000;     // 60.00 Hz
    regs[9] = 123;      // 12.3 A
    regs[14] = 0x0008;  // tripped
    regs[15] = 0x0041;  // over current and ground fault
    regs[16] = 0x0009;  // FX, RST
    regs[17] = 0x0010;  // 30AC

    CInvInfoPropertySheet& sheet = Open(3);
    CInfoGen& gen = sheet.General();
    ASSERT_TRUE(RunUntil([&] { return !gen.Value(kGenRunningStatus)->text().isEmpty(); }));
    EXPECT_EQ(gen.Value(kGenRunningStatus)->text(), QStringLiteral("Fault"));
    EXPECT_EQ(gen.Value(kGenFreqCommand)->text(), QStringLiteral("60.00 Hz"));
    EXPECT_EQ(gen.Value(kGenOutputCurrent)->text(), QStringLiteral("12.3 A"));

    sheet.Tabs().setCurrentIndex(CInvInfoPropertySheet::kPageFaults);
    CInfoFault& faults = sheet.Faults();
    ASSERT_TRUE(RunUntil([&] { return faults.Box(0)->isChecked(); }));
    EXPECT_EQ(faults.Box(0)->text(), QStringLiteral("Over Current"));
    EXPECT_TRUE(faults.Box(6)->isChecked());
    EXPECT_EQ(faults.Box(6)->text(), QStringLiteral("Ground Fault"));
    int ticked = 0;
    for (int i = 0; i < faults.BoxCount(); ++i)
        ticked += faults.Box(i)->isChecked();
    EXPECT_EQ(ticked, 2);

    // Reset: the fault word falls back and the boxes follow.
    regs[15] = 0;
    ASSERT_TRUE(RunUntil([&] { return !faults.Box(0)->isChecked(); }));
    EXPECT_FALSE(faults.Box(6)->isChecked());

    sheet.Tabs().setCurrentIndex(CInvInfoPropertySheet::kPageTerminals);
    CInfoIO& io = sheet.Terminals();
    ASSERT_TRUE(RunUntil([&] { return io.InputBox(0)->isChecked(); }));
    EXPECT_EQ(io.InputBox(0)->text(), QStringLiteral("FX"));
    EXPECT_FALSE(io.InputBox(1)->isChecked());
    EXPECT_TRUE(io.InputBox(3)->isChecked());  // RST
    EXPECT_FALSE(io.InputBox(4)->isChecked());
    EXPECT_EQ(io.OutputBox(4)->text(), QStringLiteral("30AC"));
    EXPECT_TRUE(io.OutputBox(4)->isChecked());
    EXPECT_FALSE(io.OutputBox(0)->isChecked());
}

TEST_F(InfoSheetLineTest, lostStationGreysTheSheetAndLeavesNewRegistrationsAlone)
{
    line.registers[3][9] = 123;
    CInvInfoPropertySheet& sheet = Open(3);
    CInfoGen& gen = sheet.General();
    ASSERT_TRUE(RunUntil([&] { return !gen.Value(kGenOutputCurrent)->text().isEmpty(); }));

    line.silent = true;
    ASSERT_TRUE(
        RunUntil([&] { return sheet.windowTitle() == QStringLiteral("No. 3 inverter is disconnected"); }));
    EXPECT_TRUE(gen.Value(kGenOutputCurrent)->text().isEmpty());
    EXPECT_FALSE(gen.Value(kGenOutputCurrent)->isEnabled());
    EXPECT_TRUE(host.comm.MonitorAddresses(3).empty());  // the manager dropped the station

    // The main window finds the station again and registers it afresh.
    line.silent = false;
    host.comm.AddMonitor(3, MonitorAddressSet(4, 0x0105));
    host.comm.AddListener(3, &mainWindow);
    const Counts rescanned = CountsOf(3);
    EXPECT_FALSE(gen.Registered());
    ASSERT_TRUE(owner->Show(3));  // Information again revives the visible page
    EXPECT_TRUE(gen.Registered());
    EXPECT_TRUE(sheet.windowTitle().startsWith(QStringLiteral("3 : ")));
    ASSERT_TRUE(RunUntil([&] { return gen.Value(kGenOutputCurrent)->text() == QStringLiteral("12.3 A"); }));
    sheet.Tabs().setCurrentIndex(CInvInfoPropertySheet::kPageFaults);
    owner->Close();
    EXPECT_EQ(CountsOf(3), rescanned);
}

}  // namespace
