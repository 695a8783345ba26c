// The main window offscreen: settings at start and shutdown, the re-scan of the last stations,
// status panes, the RX/TX lamp and the enabling of commands.
#include "monitor/MainFrame.h"
#include "tests/platform/QStringPrinter.h"

#include <QAction>
#include <QDir>
#include <QDockWidget>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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

class MainFrameTest : public ::testing::Test {
protected:
    MainFrameTest()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
        folders = ResolveProgramFolders(dir.filePath("program"), dir.filePath("user"),
                                        {VARIMON_TEST_DATA_DIR});
    }

    std::unique_ptr<CMainFrame> Make(StartOptions options = {})
    {
        auto frame = std::make_unique<CMainFrame>(folders, options);
        frame->SetMessageSink(&messages);
        return frame;
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
