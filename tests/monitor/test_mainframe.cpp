// The main window offscreen: settings at start and shutdown, the re-scan of the last stations,
// status panes, the RX/TX lamp, the enabling of commands, the fault history tab, the event log
// pane and the information sheet.
#include "catalogue/MonitorItems.h"
#include "frames/FloatFrame.h"
#include "monitor/MainFrame.h"
#include "tests/monitor/DriverLine.h"
#include "tests/monitor/FullDiskDevice.h"
#include "tests/platform/QStringPrinter.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QDockWidget>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include <pty.h>
#include <unistd.h>

using namespace vm;

namespace {

// A pseudo-terminal nobody answers on: the port opens, every station stays silent.
struct QuietLine {
    QuietLine()
    {
        char name[256] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) == 0)
            path = QString::fromLocal8Bit(name);
    }
    ~QuietLine()
    {
        if (master >= 0)
            ::close(master);
        if (slave >= 0)
            ::close(slave);
    }
    int master = -1;
    int slave = -1;
    QString path;
};

// A tool window that records the notices it is given.
class RecordingFrame : public CFloatFrame {
public:
    RecordingFrame(ToolHost& host, int kind, int station) : CFloatFrame(host, kind, station) {}
    std::vector<std::pair<ToolNotice, int>> notices;

protected:
    void OnInvNameChanged(int station) override { notices.push_back({ToolNotice::InvNameChanged, station}); }
    void OnGraphWatchChanged() override { notices.push_back({ToolNotice::GraphWatchChanged, 0}); }
};

QByteArray Read(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Shows each message the way a modal box does: its own event loop runs until 2 s of the line's
// time have passed.
struct ModalSink : MessageSink {
    explicit ModalSink(const int64_t& clock) : clock_(clock) {}
    void Show(MessageKind, const std::string& text, const std::string&) override
    {
        shown.push_back(text);
        maxOpen = std::max(maxOpen, ++open);
        const int64_t until = clock_ + 2000;
        QEventLoop loop;
        QTimer check;
        QObject::connect(&check, &QTimer::timeout, &loop, [&] {
            if (clock_ >= until)
                loop.quit();
        });
        check.start(5);
        QTimer::singleShot(30000, &loop, [&] { loop.quit(); });
        loop.exec();
        lineRan = lineRan && clock_ >= until;  // not ended by the stall guard
        --open;
    }
    bool AskYesNo(const std::string&, const std::string&) override { return true; }

    std::vector<std::string> shown;
    int open = 0;
    int maxOpen = 0;
    bool lineRan = true;

private:
    const int64_t& clock_;
};

StationRecord& Connect(CMainFrame& frame, int station, int model = 4)
{
    StationRecord& r = frame.Network().Record(station);
    r.present = r.connected = 1;
    r.model = model;
    r.version = 0x0015;
    frame.RefreshStation(r);
    return r;
}

class MainFrameTest : public ::testing::Test {
protected:
    MainFrameTest()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
        folders =
            ResolveProgramFolders(dir.filePath("program"), dir.filePath("user"), {VARIMON_TEST_DATA_DIR});
    }

    // With withTools, every tool kind opens a recording frame, as the program registers its own.
    std::unique_ptr<CMainFrame> Make(StartOptions options = {}, bool withTools = true)
    {
        auto frame = std::make_unique<CMainFrame>(folders, options);
        frame->SetMessageSink(&messages);
        if (withTools) {
            for (int kind : {kKindKeypad, kKindParameterEditor, kKindGraphMonitor})
                frame->Frames().RegisterKind(kind, [kind](ToolHost& host, int station) {
                    return new RecordingFrame(host, kind, station);
                });
            frame->UpdateCommands();
        }
        return frame;
    }

    QString HistoryPath() const { return QDir(folders.log).filePath("history.log"); }

    // A history file with one record, as a previous run leaves it.
    void WritePreviousHistory()
    {
        CHistory previous;
        ASSERT_TRUE(previous.Open(HistoryPath()));
        StationRecord r;
        r.station = 6;
        r.model = 4;
        r.fault = 1;
        previous.Add(r, "Press", QDateTime(QDate(2023, 1, 2), QTime(3, 4, 5)));
        previous.Close();
    }

    QVariant Stored(const QString& key) const
    {
        QSettings s(kCompanyKey, kApplicationKey);
        return s.value(key);
    }

    QTemporaryDir dir;
    ProgramFolders folders;
    MessageLog messages;
    QuietLine quiet;
};

}  // namespace

TEST_F(MainFrameTest, startsWithTheTitlePanesAndCommandsOfAnEmptyLine)
{
    auto frame = Make({quiet.path, {}});
    EXPECT_EQ(frame->windowTitle(), "Varimon Main [0 Connected]");
    EXPECT_EQ(frame->PaneText(kPaneProtocol), "KX485");
    EXPECT_EQ(frame->PaneText(kPaneBaud), "9600");
    EXPECT_EQ(frame->PaneText(kPanePort), QFileInfo(quiet.path).fileName());
    EXPECT_EQ(frame->PaneText(kPaneGraphWatch), "");
    EXPECT_EQ(frame->PaneText(kPaneProgress), "");
    EXPECT_TRUE(frame->Action(kCmdConnect)->isEnabled());
    EXPECT_FALSE(frame->Action(kCmdStop)->isEnabled());
    EXPECT_FALSE(frame->Action(kCmdUpdate)->isEnabled());
    EXPECT_FALSE(frame->Action(kCmdInformation)->isEnabled());
    EXPECT_FALSE(frame->Action(kCmdKeypad)->isEnabled());
    EXPECT_TRUE(frame->Action(kCmdOfflineEditor)->isEnabled());
    EXPECT_EQ(frame->Action(kCmdConnect)->shortcut(), QKeySequence(Qt::Key_F2));
    EXPECT_EQ(frame->Tabs().tabText(0), "Connection Information");
    EXPECT_EQ(frame->EventLogDock().windowTitle(), "Event Log");
    EXPECT_TRUE(QDir(folders.log).exists());
    EXPECT_TRUE(QDir(folders.temp).exists());
}

TEST_F(MainFrameTest, portThatCannotBeOpenedIsNamedAndTheProgramRunsOn)
{
    auto frame = Make({dir.filePath("no-such-port"), {}});
    frame->Startup();
    ASSERT_FALSE(messages.Entries().empty());
    EXPECT_EQ(messages.Entries().back().text,
              "Can't open " + dir.filePath("no-such-port").toStdString() + " port");
    EXPECT_FALSE(frame->Manager().IsStarted());

    messages.Clear();
    MainSettings s = frame->Settings();
    s.port = quiet.path;
    s.baudRate = 19200;
    s.commMode = 0;
    EXPECT_TRUE(frame->ApplyPortSettings(s));
    EXPECT_TRUE(messages.Entries().empty());
    EXPECT_TRUE(frame->Manager().IsStarted());
    EXPECT_EQ(frame->Manager().ProtocolMode(), kModbusRtu);
    EXPECT_EQ(frame->PaneText(kPaneProtocol), "MODBUS-RTU");
    EXPECT_EQ(frame->PaneText(kPaneBaud), "19200");
}

TEST_F(MainFrameTest, stationsConnectedAtShutdownAreScannedAgainAtTheNextStart)
{
    {
        auto frame = Make({quiet.path, {}});
        for (int id : {7, 3}) {
            StationRecord& r = frame->Network().Record(id);
            r.present = r.connected = 1;
            r.model = 4;
        }
        frame->Network().Record(5).present = 1;  // unsupported: not connected
        frame->Network().DeviceNames()[3] = "Mixer";
        frame->close();
    }
    EXPECT_EQ(Stored("Main/ConIDs").toByteArray(), QByteArray("\x03\x07", 2));
    EXPECT_EQ(Stored("InvName/Inv Name3").toString(), "Mixer");
    EXPECT_FALSE(Stored("Placement/MAIN").toByteArray().isEmpty());
    EXPECT_FALSE(Stored("Layout/Main PaneLayout").toByteArray().isEmpty());
    EXPECT_TRUE(Stored("Main/INVCol 0").isValid());

    auto again = Make({quiet.path, {}});
    EXPECT_EQ(again->Network().DeviceName(3), "Mixer");
    again->Startup();
    EXPECT_TRUE(again->Network().Scanning());
    EXPECT_EQ(again->Network().ScanIds(), (std::vector<int>{3, 7}));
    EXPECT_FALSE(again->Action(kCmdConnect)->isEnabled());
    EXPECT_TRUE(again->Action(kCmdStop)->isEnabled());
    EXPECT_EQ(again->PaneText(kPaneProgress), "0/100");
    again->OnStop();
    EXPECT_FALSE(again->Network().Scanning());
    EXPECT_EQ(again->PaneText(kPaneProgress), "");
}

TEST_F(MainFrameTest, portGivenForOneRunIsNotSaved)
{
    {
        QSettings s(kCompanyKey, kApplicationKey);
        s.setValue("Main/Port", quiet.path);
    }
    QuietLine other;
    {
        auto frame = Make({other.path, std::vector<int>{4}});
        EXPECT_EQ(frame->Settings().port, other.path);
        frame->Startup();
        EXPECT_EQ(frame->Network().ScanIds(), std::vector<int>{4});
        frame->close();
    }
    EXPECT_EQ(Stored("Main/Port").toString(), quiet.path);
}

TEST_F(MainFrameTest, toolCommandsOpenOneFramePerKeyAndSayWhenAToolIsNotAvailable)
{
    auto bare = Make({quiet.path, {}}, false);
    Connect(*bare, 3);
    for (Command c : {kCmdKeypad, kCmdOnlineEditor, kCmdOfflineEditor, kCmdGraphMonitor}) {
        EXPECT_FALSE(bare->Action(c)->isEnabled());
        EXPECT_TRUE(bare->Action(c)->statusTip().endsWith("(not available in this build)"));
    }
    bare.reset();

    auto frame = Make({quiet.path, {}});
    Connect(*frame, 3);
    EXPECT_FALSE(frame->Action(kCmdKeypad)->statusTip().contains("not available"));
    frame->Action(kCmdOnlineEditor)->trigger();
    frame->Action(kCmdOnlineEditor)->trigger();
    frame->Action(kCmdKeypad)->trigger();
    frame->Action(kCmdGraphMonitor)->trigger();
    frame->Action(kCmdOfflineEditor)->trigger();
    frame->Action(kCmdOfflineEditor)->trigger();
    EXPECT_EQ(frame->Frames().Count(kKindParameterEditor), 3);
    EXPECT_TRUE(frame->Frames().Exists(kKindParameterEditor, 3));
    EXPECT_TRUE(frame->Frames().Exists(kKindParameterEditor, 256));
    EXPECT_TRUE(frame->Frames().Exists(kKindParameterEditor, 257));
    EXPECT_TRUE(frame->Frames().Exists(kKindKeypad, 3));
    EXPECT_TRUE(frame->Frames().Exists(kKindGraphMonitor, kGraphMonitorKey));

    // A frame that cannot close keeps the main window open.
    struct Stubborn : RecordingFrame {
        using RecordingFrame::RecordingFrame;
        bool CanCloseFrame() override { return false; }
    };
    frame->Frames().RegisterKind(kKindGraphMonitor, [](ToolHost& host, int station) {
        return new Stubborn(host, kKindGraphMonitor, station);
    });
    frame->Frames().Find(kKindGraphMonitor, kGraphMonitorKey)->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    frame->Action(kCmdGraphMonitor)->trigger();
    frame->show();
    EXPECT_FALSE(frame->close());
    EXPECT_EQ(frame->Frames().Count(kKindParameterEditor), 3);
}

TEST_F(MainFrameTest, graphWatchShowsInItsPaneAndDisablesKeypadAndEditor)
{
    auto frame = Make({quiet.path, {}});
    StationRecord& r = frame->Network().Record(2);
    r.present = r.connected = 1;
    r.model = 4;
    frame->RefreshStation(r);
    EXPECT_TRUE(frame->Action(kCmdKeypad)->isEnabled());
    EXPECT_TRUE(frame->Action(kCmdInformation)->isEnabled());
    EXPECT_TRUE(frame->Action(kCmdUpdate)->isEnabled());

    frame->Manager().SetGraphWatch(true);
    frame->GraphWatchChanged();
    EXPECT_EQ(frame->PaneText(kPaneGraphWatch), "Graph Watch Mode");
    EXPECT_FALSE(frame->Action(kCmdKeypad)->isEnabled());
    EXPECT_FALSE(frame->Action(kCmdOnlineEditor)->isEnabled());
    EXPECT_TRUE(frame->Action(kCmdInformation)->isEnabled());
    frame->Manager().SetGraphWatch(false);
    frame->GraphWatchChanged();
    EXPECT_TRUE(frame->Action(kCmdKeypad)->isEnabled());
}

TEST_F(MainFrameTest, eventLogStartsWithTheProgramWhenEnabledAndStopsOnCommand)
{
    auto frame = Make({quiet.path, {}});
    frame->Startup();
    EXPECT_TRUE(frame->Log().Logging());
    EXPECT_EQ(frame->Log().Path(), QDir(folders.log).filePath("event.txt"));
    EXPECT_FALSE(frame->Action(kCmdStartEventLog)->isEnabled());
    frame->OnStopEventLog();
    EXPECT_FALSE(frame->Log().Logging());
    EXPECT_TRUE(frame->Action(kCmdStartEventLog)->isEnabled());
    frame->close();
    EXPECT_EQ(Stored("Main/Log Enable").toInt(), 0);
}

TEST_F(MainFrameTest, faultHistoryTabShowsTheFileOfTheLastRunAndNewFaultsOnTop)
{
    QDir().mkpath(folders.log);
    WritePreviousHistory();
    auto frame = Make({quiet.path, {}});
    EXPECT_EQ(frame->Tabs().tabText(1), "Fault History");
    EXPECT_EQ(frame->Tabs().widget(1), &frame->FaultList());
    EXPECT_EQ(frame->Settings().faultFilePath, HistoryPath());
    frame->Startup();
    EXPECT_TRUE(messages.Entries().empty());
    CFaultListModel& rows = frame->FaultList().Model();
    ASSERT_EQ(rows.rowCount(), 1);
    EXPECT_EQ(rows.CellText(0, 4), "Press");

    // A fault seen by the polling lands in row 0 and in the file at once.
    StationRecord& r = Connect(*frame, 2);
    r.fault = 0x02;
    frame->History().AddFault(r, "Mixer");
    ASSERT_EQ(rows.rowCount(), 2);
    EXPECT_EQ(rows.CellText(0, 3), "2");
    EXPECT_EQ(rows.CellText(1, 0), "2");
    CHistory onDisk;
    ASSERT_TRUE(onDisk.Open(HistoryPath()));
    EXPECT_EQ(onDisk.Count(), 2);

    // The Information command belongs to the inverter list only.
    EXPECT_TRUE(frame->Action(kCmdInformation)->isEnabled());
    frame->Tabs().setCurrentIndex(1);
    EXPECT_FALSE(frame->Action(kCmdInformation)->isEnabled());
    EXPECT_TRUE(frame->Action(kCmdEraseFaultHistory)->isEnabled());

    frame->FaultList().setColumnWidth(4, 210);
    frame->close();
    EXPECT_EQ(Stored("Main/Fault File Path").toString(), HistoryPath());
    EXPECT_EQ(Stored("Main/FaultCol 4").toInt(), 210);
}

// Notes whether the line was running, and a scan under way, when each message was shown.
struct LineStateSink : MessageSink {
    void Show(MessageKind kind, const std::string& text, const std::string& caption) override
    {
        lineRunning.push_back(frame && frame->Driver().IsRunning() && frame->Network().Scanning());
        log.Show(kind, text, caption);
    }
    bool AskYesNo(const std::string& text, const std::string& caption) override
    {
        return log.AskYesNo(text, caption);
    }
    CMainFrame* frame = nullptr;
    std::vector<bool> lineRunning;
    MessageLog log;
};

TEST_F(MainFrameTest, damagedHistoryFileIsKeptAsideOnceAndTheRunsFaultsGoToAFreshOne)
{
    QDir().mkpath(folders.log);
    const QByteArray junk("\x05\x00garbage", 9);
    {
        QFile f(HistoryPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(junk);
    }
    auto frame = Make({quiet.path, std::vector<int>{2, 3}});
    // The message waits for the line: an unattended restart monitors before anyone clicks OK.
    LineStateSink sink;
    sink.frame = frame.get();
    frame->SetMessageSink(&sink);
    frame->Startup();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sink.log.Entries().empty(); }, 5000));
    EXPECT_EQ(sink.lineRunning, std::vector<bool>{true});
    frame->OnStop();
    frame->SetMessageSink(&messages);
    for (const auto& e : sink.log.Entries())
        messages.Show(e.kind, e.text, e.caption);
    ASSERT_EQ(messages.Entries().size(), 1u);
    EXPECT_NE(messages.Entries()[0].text.find((HistoryPath() + ".damaged").toStdString()), std::string::npos);
    EXPECT_EQ(Read(HistoryPath() + ".damaged"), junk);

    StationRecord& r = Connect(*frame, 2);
    r.fault = 0x02;
    frame->History().AddFault(r, "Mixer");
    EXPECT_EQ(frame->FaultList().Model().rowCount(), 1);
    frame->close();
    CHistory onDisk;
    ASSERT_TRUE(onDisk.Open(HistoryPath()));
    EXPECT_EQ(onDisk.Count(), 1);
    EXPECT_EQ(messages.Entries().size(), 1u);
}

TEST_F(MainFrameTest, unwritableHistoryAndFullLogDiskGiveOneBoxEachWhileEveryDriveStaysLive)
{
    QDir().mkpath(folders.log);
    sim::SimLine simLine(sim::Protocol::Kx485, sim::LineFaults{});
    test::AddSimStations(simLine, {"1:QM-A20", "2:QM-E20", "3:QM-A20", "4:QM-A20"});
    int64_t clock = 0;
    auto frame = Make({"sim", std::vector<int>{1, 2, 3, 4}});
    frame->Manager().SetPortFactory([&] { return std::make_unique<test::QueuedSimPort>(simLine, clock); });
    MainSettings fast = frame->Settings();
    fast.timeOut = 150;  // a starved line loses its stations well within the box's 2 s
    fast.retryCount = 2;
    ASSERT_TRUE(frame->ApplyPortSettings(fast));
    frame->Startup();
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame->Network().ConnectedCount() == 4; }, 20000));

    ModalSink boxes(clock);
    frame->SetMessageSink(&boxes);
    ASSERT_TRUE(QFile::remove(HistoryPath()) || !QFileInfo::exists(HistoryPath()));
    ASSERT_TRUE(QDir().mkdir(HistoryPath()));
    // And the event log goes on a disk with room for its header only.
    frame->Log().SetDeviceFactory([](const QString&) { return std::make_unique<test::FullDiskDevice>(70); });
    ASSERT_TRUE(frame->Log().ChangePath(dir.filePath("full.txt")));
    ASSERT_TRUE(frame->Log().Logging());
    ASSERT_TRUE(simLine.Station(3)->Trip(2));
    ASSERT_TRUE(QTest::qWaitFor([&] { return boxes.shown.size() >= 2 && boxes.open == 0; }, 60000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame->Network().Record(3).fault != 0; }, 5000));

    // One box per cause, one after the other.
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.maxOpen, 1);
    EXPECT_TRUE(boxes.lineRan);
    const std::string all = boxes.shown[0] + "\n" + boxes.shown[1];
    EXPECT_NE(all.find(HistoryPath().toStdString()), std::string::npos) << all;
    EXPECT_NE(all.find("Fail to write data to log file"), std::string::npos) << all;
    EXPECT_FALSE(frame->Log().Logging());
    EXPECT_EQ(frame->Network().ConnectedIds(), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(frame->windowTitle(), "Varimon Main [4 Connected]");
    QStringList events;
    for (const QString& l : frame->Log().Lines())
        events << l.section(" >> ", 1);
    EXPECT_TRUE(events.filter("Disconnected").isEmpty()) << events.join("\n").toStdString();
    ASSERT_EQ(frame->History().Count(), 1);
    const StationRecord recorded = CHistory::ToStationRecord(frame->History().Get(0));
    EXPECT_EQ(recorded.model, 4);
    const std::string text = StationFaultText(recorded);
    EXPECT_NE(text, "");
    EXPECT_EQ(events.filter("fault occured"),
              QStringList{QStringLiteral("3:QM-A20 %1 fault occured").arg(QString::fromStdString(text))});
    frame->SetMessageSink(&messages);
    frame->close();
}

TEST_F(MainFrameTest, eraseAsksFirstAndOnlyYesEmptiesTabAndFile)
{
    QDir().mkpath(folders.log);
    WritePreviousHistory();
    auto frame = Make({quiet.path, {}});
    frame->Startup();
    messages.SetAnswer(false);
    frame->Action(kCmdEraseFaultHistory)->trigger();
    ASSERT_EQ(messages.Entries().size(), 1u);
    EXPECT_EQ(messages.Entries()[0].kind, MessageKind::Question);
    EXPECT_EQ(messages.Entries()[0].text, "Erase all fault history ?");
    EXPECT_EQ(frame->FaultList().Model().rowCount(), 1);

    messages.SetAnswer(true);
    frame->OnEraseFaultHistory();
    EXPECT_EQ(frame->FaultList().Model().rowCount(), 0);
    EXPECT_EQ(Read(HistoryPath()), QByteArray(18, '\0'));
}

TEST_F(MainFrameTest, filePathCommandsAskBeforeReplacingAFileAndKeepTheChosenPath)
{
    QDir().mkpath(folders.log);
    WritePreviousHistory();
    auto frame = Make({quiet.path, {}});
    frame->Startup();
    QString chosen;
    QStringList titles;
    frame->SetSavePathDialog([&](const QString& title, const QString&, const QString&, const QString&) {
        titles << title;
        return chosen;
    });
    const QString existing = dir.filePath("plant.log");
    {
        QFile f(existing);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("keep me");
    }

    chosen = existing;
    messages.SetAnswer(false);
    frame->Action(kCmdFaultFilePath)->trigger();
    EXPECT_EQ(titles, QStringList{"Fault History File Path"});
    ASSERT_EQ(messages.Entries().size(), 1u);
    EXPECT_EQ(messages.Entries()[0].text,
              existing.toStdString() + " file is already exist\nDo you want to over-write ?");
    EXPECT_EQ(Read(existing), "keep me");
    EXPECT_EQ(frame->Settings().faultFilePath, HistoryPath());

    messages.Clear();
    messages.SetAnswer(true);
    frame->OnFaultFilePath();
    EXPECT_EQ(frame->Settings().faultFilePath, existing);
    CHistory moved;
    ASSERT_TRUE(moved.Open(existing));
    EXPECT_EQ(moved.Count(), 1);  // the records went along; the rows stay
    EXPECT_EQ(frame->FaultList().Model().rowCount(), 1);

    // A folder that does not exist: the path stays and the failure is named.
    messages.Clear();
    chosen = dir.filePath("missing/history.log");
    frame->OnFaultFilePath();
    ASSERT_FALSE(messages.Entries().empty());
    EXPECT_EQ(messages.Entries().back().text, "Faild to change fault history file path");
    EXPECT_EQ(frame->Settings().faultFilePath, existing);

    messages.Clear();
    chosen = dir.filePath("plant-events.txt");
    frame->OnLogFilePath();
    EXPECT_EQ(titles.last(), "Event Log File Path");
    EXPECT_TRUE(messages.Entries().empty());
    EXPECT_EQ(frame->Settings().logFilePath, chosen);
    frame->Network().AddEvent(2, "Connected");
    EXPECT_TRUE(Read(chosen).contains("2:"));

    chosen = dir.filePath("missing/events.txt");
    frame->OnLogFilePath();
    ASSERT_FALSE(messages.Entries().empty());
    EXPECT_EQ(messages.Entries().back().text, "Faild to change log file path");
    EXPECT_EQ(frame->Settings().logFilePath, dir.filePath("plant-events.txt"));

    frame->close();
    EXPECT_EQ(Stored("Main/Fault File Path").toString(), existing);
    EXPECT_EQ(Stored("Main/Log File Path").toString(), dir.filePath("plant-events.txt"));
}

TEST_F(MainFrameTest, eventLogPaneShowsTheLatest200LinesWithTheNewestSelected)
{
    auto frame = Make({quiet.path, {}});
    frame->Startup();
    CEventLogView& pane = frame->EventLogPane();
    EXPECT_EQ(frame->EventLogDock().widget(), &pane);
    EXPECT_TRUE(pane.ToolBar().actions().contains(frame->Action(kCmdStartEventLog)));
    EXPECT_TRUE(pane.ToolBar().actions().contains(frame->Action(kCmdStopEventLog)));
    EXPECT_EQ(frame->Action(kCmdStartEventLog)->shortcut(), QKeySequence(Qt::Key_F9));
    EXPECT_EQ(frame->Action(kCmdStopEventLog)->shortcut(), QKeySequence(Qt::Key_F10));

    Connect(*frame, 3);
    for (int i = 1; i <= 201; ++i)
        frame->Network().AddEvent(3, QStringLiteral("event %1").arg(i));
    QListWidget& list = pane.List();
    ASSERT_EQ(list.count(), 200);
    EXPECT_TRUE(list.item(0)->text().endsWith(" >> 3:QM-A20 event 2")) << list.item(0)->text().toStdString();
    EXPECT_EQ(list.currentRow(), 199);
    EXPECT_EQ(list.item(199)->text(), frame->Log().Lines().last());

    // With logging off the pane goes on; the file does not get the line.
    frame->OnStopEventLog();
    frame->Network().AddEvent(3, "quiet");
    EXPECT_TRUE(list.item(199)->text().endsWith("quiet"));
    EXPECT_FALSE(Read(frame->Log().Path()).contains("quiet"));
}

TEST_F(MainFrameTest, eventLogWriteFailureShowsTheErrorAndOffersStartAgain)
{
    auto frame = Make({quiet.path, {}});
    frame->Log().SetDeviceFactory([](const QString&) {
        return std::make_unique<test::FullDiskDevice>(70);  // room for the header only
    });
    frame->Startup();
    ASSERT_TRUE(frame->Log().Logging());
    EXPECT_TRUE(frame->Action(kCmdStopEventLog)->isEnabled());

    // Raised while the line is served: shown once the caller is back in the event loop.
    frame->Network().AddEvent(1, "Connected");
    EXPECT_TRUE(messages.Entries().empty());
    EXPECT_TRUE(frame->Action(kCmdStartEventLog)->isEnabled());
    EXPECT_FALSE(frame->Action(kCmdStopEventLog)->isEnabled());
    frame->Network().AddEvent(1, "Disconnected");  // logging is off: no further failure
    QCoreApplication::processEvents();
    ASSERT_EQ(messages.Entries().size(), 1u);
    EXPECT_EQ(messages.Entries()[0].kind, MessageKind::Error);
    const QString said = QString::fromStdString(messages.Entries()[0].text);
    EXPECT_TRUE(said.startsWith("Fail to write data to log file\n")) << said.toStdString();
    EXPECT_TRUE(said.contains("No space left on device"));
    // The pane keeps both lines although the file took neither.
    ASSERT_EQ(frame->EventLogPane().List().count(), 2);
    EXPECT_TRUE(frame->EventLogPane().List().item(1)->text().endsWith("Disconnected"));
    frame->close();
    EXPECT_EQ(Stored("Main/Log Enable").toInt(), 0);
}

TEST_F(MainFrameTest, informationOpensTheSheetForTheSelectedStationAndANewNameReachesEveryone)
{
    auto frame = Make({quiet.path, {}});
    frame->Startup();
    Connect(*frame, 4);
    Connect(*frame, 2);  // the last refreshed row is the selected one
    ASSERT_EQ(frame->InvList().SelectedStation()->station, 2);
    EXPECT_EQ(frame->Action(kCmdInformation)->shortcut(), QKeySequence(Qt::Key_F4));
    frame->Action(kCmdInformation)->trigger();
    CInvInfoPropertySheet* sheet = frame->InfoSheet().Sheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->Station(), 2);
    EXPECT_TRUE(sheet->windowTitle().startsWith("2 : QM-A20")) << sheet->windowTitle().toStdString();

    // A double click on station 4's row moves the same sheet there.
    frame->InvList().selectRow(1);  // rows are sorted by ID
    ASSERT_EQ(frame->InvList().SelectedStation()->station, 4);
    frame->Action(kCmdKeypad)->trigger();
    auto* keypad = static_cast<RecordingFrame*>(frame->Frames().Find(kKindKeypad, 4));
    ASSERT_NE(keypad, nullptr);
    emit frame->InvList().doubleClicked(frame->InvList().Model().index(1, 0));
    EXPECT_EQ(frame->InfoSheet().Sheet(), sheet);
    EXPECT_EQ(sheet->Station(), 4);

    sheet->General().NameEdit()->setText("  Mixer ");
    sheet->General().ApplyName();
    EXPECT_EQ(frame->Network().DeviceName(4), "Mixer");
    EXPECT_EQ(frame->InvList().Model().CellText(1, kColDeviceName), "Mixer");
    EXPECT_EQ(frame->InvList().Model().CellText(0, kColDeviceName), "");
    EXPECT_EQ(Stored("InvName/Inv Name4").toString(), "Mixer");  // kept before any shutdown
    EXPECT_TRUE(sheet->windowTitle().endsWith(" - Mixer")) << sheet->windowTitle().toStdString();
    EXPECT_TRUE(keypad->notices.empty());  // posted, not sent
    QCoreApplication::processEvents();
    ASSERT_EQ(keypad->notices.size(), 1u);
    EXPECT_EQ(keypad->notices[0], std::make_pair(ToolNotice::InvNameChanged, 4));

    // Graph watch mode reaches the visible page and the tool windows.
    frame->SetGraphWatch(true);
    QCoreApplication::processEvents();
    EXPECT_EQ(keypad->notices.back(), std::make_pair(ToolNotice::GraphWatchChanged, 0));
    EXPECT_TRUE(sheet->windowTitle().startsWith("Graph Watch Mode - ")) << sheet->windowTitle().toStdString();
    EXPECT_FALSE(sheet->General().Registered());

    // Closing the main window closes the sheet and frees the tool windows at once.
    QPointer<CFloatFrame> alive = keypad;
    frame->close();
    EXPECT_TRUE(frame->InfoSheet().Sheet() == nullptr || frame->InfoSheet().Sheet()->Closed());
    EXPECT_TRUE(alive.isNull());
}

TEST_F(MainFrameTest, lineHealthTabListsEveryConnectedDriveWithItsName)
{
    auto frame = Make({quiet.path, {}});
    ASSERT_EQ(frame->Tabs().count(), 3);
    EXPECT_EQ(frame->Tabs().tabText(2), "Line Health");
    EXPECT_EQ(frame->Tabs().widget(2), &frame->LineHealth());

    Connect(*frame, 9, 4);
    Connect(*frame, 2, 10);
    frame->Network().Record(5).present = 1;  // unsupported: not connected
    frame->Network().DeviceNames()[9] = "Mixer";
    frame->LineHealth().Refresh();
    const LineHealthModel& model = frame->LineHealth().Model();
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.CellText(0, HealthColumn::Id), "2");
    EXPECT_EQ(model.CellText(0, HealthColumn::Drive), "QM-B20X");
    EXPECT_EQ(model.CellText(1, HealthColumn::Drive), "Mixer (QM-A20)");
}

TEST(RxTxLampTest, eachDirectionStaysLitForTwoPeriodsAndOnlyChangesAreReported)
{
    RxTxLamp lamp;
    EXPECT_TRUE(lamp.Traffic(CommManager::kFrameSent));
    EXPECT_EQ(lamp.Bits(), RxTxLamp::kTransmit);
    EXPECT_FALSE(lamp.Traffic(CommManager::kFrameSent));  // already lit: nothing to redraw
    EXPECT_FALSE(lamp.Traffic(CommManager::kAttemptFailed));
    EXPECT_FALSE(lamp.Tick());
    EXPECT_TRUE(lamp.Traffic(CommManager::kReplyAccepted));
    EXPECT_EQ(lamp.Bits(), RxTxLamp::kTransmit | RxTxLamp::kReceive);
    EXPECT_TRUE(lamp.Tick());  // transmit runs out
    EXPECT_EQ(lamp.Bits(), RxTxLamp::kReceive);
    EXPECT_TRUE(lamp.Tick());
    EXPECT_EQ(lamp.Bits(), 0);
    EXPECT_FALSE(lamp.Tick());
}
