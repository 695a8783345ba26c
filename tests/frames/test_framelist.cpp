// The frame list with a dummy tool kind: keys, offline slots, notices, placements, recent files,
// closing and shutdown.
#include "frames/FloatFrame.h"
#include "frames/ToolFrameList.h"
#include "platform/Settings.h"
#include "tests/support/FakeToolHost.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDialog>
#include <QFile>
#include <QPointer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

using namespace vm;

namespace {

const std::vector<uint16_t> kAddresses{5, 14};

// A tool window that records its notices and is a client of the manager, as real ones are.
class DummyFrame : public CFloatFrame, public CommClient {
public:
    DummyFrame(ToolHost& host, int kind, int station) : CFloatFrame(host, kind, station)
    {
        if (station < kFirstOfflineStation) {
            host.Comm().AddMonitor(station, kAddresses);
            host.Comm().AddListener(station, this);
        }
    }
    ~DummyFrame() override
    {
        if (Station() < kFirstOfflineStation)
            Host().Comm().RemoveMonitor(Station(), kAddresses);
    }

    bool CanCloseFrame() override { return canClose; }
    bool OpenRecentFile(const QString& path) override
    {
        opened.push_back(path);
        return QFile::exists(path);
    }

    std::vector<std::pair<ToolNotice, int>> notices;
    QStringList opened;
    bool canClose = true;

protected:
    void OnInvConnected(int s) override { notices.push_back({ToolNotice::InvConnected, s}); }
    void OnInvDisconnected(int s) override
    {
        notices.push_back({ToolNotice::InvDisconnected, s});
        CloseFrame();  // as an online tool window does when its drive is gone
    }
    void OnInvNameChanged(int s) override { notices.push_back({ToolNotice::InvNameChanged, s}); }
    void OnGraphWatchChanged() override { notices.push_back({ToolNotice::GraphWatchChanged, 0}); }
};

class FrameListTest : public ::testing::Test {
protected:
    FrameListTest()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
        for (int kind : {kKindKeypad, kKindParameterEditor, kKindGraphMonitor})
            list().RegisterKind(
                kind, [kind](ToolHost& h, int station) { return new DummyFrame(h, kind, station); });
    }
    CToolFrameList& list() { return host.frames; }
    DummyFrame* Open(int kind, int station) { return static_cast<DummyFrame*>(list().Open(kind, station)); }
    static void Flush()
    {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    QTemporaryDir dir;
    test::FakeToolHost host;
};

}  // namespace

TEST_F(FrameListTest, oneFramePerKindAndStationAndActivateRestoresAMinimisedOne)
{
    DummyFrame* editor = Open(kKindParameterEditor, 3);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(Open(kKindParameterEditor, 3), nullptr);  // refused: the same key is open
    EXPECT_NE(Open(kKindKeypad, 3), nullptr);           // another kind for the same station
    EXPECT_EQ(list().Find(kKindParameterEditor, 3), editor);
    EXPECT_FALSE(list().Exists(kKindParameterEditor, 4));
    EXPECT_EQ(list().Open(135, 3), nullptr);  // a kind nobody registered

    editor->showMinimized();
    EXPECT_TRUE(editor->isMinimized());
    EXPECT_EQ(list().OpenOrActivate(kKindParameterEditor, 3), editor);
    EXPECT_FALSE(editor->isMinimized());
    EXPECT_FALSE(list().Activate(kKindParameterEditor, 9));

    // A factory that declines (a cancelled set-up dialog) opens nothing and lists nothing.
    list().RegisterKind(kKindGraphMonitor, [](ToolHost&, int) { return nullptr; });
    EXPECT_EQ(list().Open(kKindGraphMonitor, kGraphMonitorKey), nullptr);
    EXPECT_EQ(list().Frames().size(), 2u);
}

TEST_F(FrameListTest, offlineSlotsAreHandedOutLowestFreeFirstUpToThirtyTwo)
{
    std::vector<DummyFrame*> editors;
    for (int i = 0; i < 32; ++i) {
        const int slot = list().FreeOfflineStation();
        ASSERT_EQ(slot, kFirstOfflineStation + i);
        editors.push_back(Open(kKindParameterEditor, slot));
    }
    EXPECT_EQ(list().OfflineCount(), 32);
    EXPECT_EQ(list().FreeOfflineStation(), -1);  // the 33rd request has no slot

    editors[4]->close();  // slot 260, after 287 was opened last
    EXPECT_EQ(list().FreeOfflineStation(), 260);
    Flush();
    EXPECT_EQ(Open(kKindParameterEditor, 260)->Station(), 260);
    EXPECT_EQ(list().FreeOfflineStation(), -1);
    // Keypads and online editors do not take offline slots.
    Open(kKindKeypad, 5);
    EXPECT_EQ(list().OfflineCount(), 32);
}

TEST_F(FrameListTest, noticesArePostedToOnlineFramesAndTheGraphMonitorButOfflineEditorsOnlyHearGraphWatch)
{
    DummyFrame* online = Open(kKindParameterEditor, 3);
    DummyFrame* keypad = Open(kKindKeypad, 4);
    DummyFrame* scope = Open(kKindGraphMonitor, kGraphMonitorKey);
    DummyFrame* offline = Open(kKindParameterEditor, list().FreeOfflineStation());

    list().Broadcast(ToolNotice::InvNameChanged, 3);
    list().Broadcast(ToolNotice::InvConnected, 1);  // key 1 is the graph monitor's: it is station 1
    EXPECT_TRUE(online->notices.empty());           // posted, not sent
    QCoreApplication::processEvents();
    using N = std::vector<std::pair<ToolNotice, int>>;
    EXPECT_EQ(online->notices, (N{{ToolNotice::InvNameChanged, 3}}));
    EXPECT_TRUE(keypad->notices.empty());  // another station's notice
    EXPECT_EQ(scope->notices, (N{{ToolNotice::InvConnected, 1}}));
    EXPECT_TRUE(offline->notices.empty());

    host.SetGraphWatch(true);
    QCoreApplication::processEvents();
    for (DummyFrame* f : {online, keypad, scope, offline})
        EXPECT_EQ(f->notices.back(), std::make_pair(ToolNotice::GraphWatchChanged, 0));

    // A frame closed before its notice arrives never gets it.
    list().Broadcast(ToolNotice::InvNameChanged, 4);
    QPointer<DummyFrame> gone = keypad;
    keypad->close();
    const size_t before = keypad->notices.size();
    QCoreApplication::processEvents();
    if (gone) {
        EXPECT_EQ(gone->notices.size(), before);
    }
    Flush();
    EXPECT_TRUE(gone.isNull());
}

TEST_F(FrameListTest, placementsAreStoredPerKindAndStation)
{
    DummyFrame* seven = Open(kKindParameterEditor, 7);
    seven->setGeometry(120, 130, 500, 320);
    DummyFrame* eight = Open(kKindParameterEditor, 8);
    eight->setGeometry(300, 310, 410, 260);
    seven->close();
    eight->close();
    Flush();
    {
        QSettings s(kCompanyKey, kApplicationKey);
        EXPECT_TRUE(s.contains("Placement/132-7"));
        EXPECT_TRUE(s.contains("Placement/132-8"));
    }
    EXPECT_EQ(CToolFrameList::PlacementName(132, 256), "132-256");
    EXPECT_EQ(CToolFrameList::PlacementName(133, 1), "133-1");
    DummyFrame* again = Open(kKindParameterEditor, 7);
    EXPECT_EQ(again->size(), QSize(500, 320));
    EXPECT_EQ(Open(kKindParameterEditor, 8)->size(), QSize(410, 260));
}

TEST_F(FrameListTest, recentFilesKeepEightNewestFirstAndDropAnEntryThatFailsToOpen)
{
    DummyFrame* frame = Open(kKindParameterEditor, 3);
    frame->CreateRecentFileList("Para", 8);
    ASSERT_NE(frame->RecentFiles(), nullptr);
    QStringList paths;
    for (int i = 1; i <= 9; ++i) {
        paths << dir.filePath(QStringLiteral("group%1.usr").arg(i));
        QFile f(paths.back());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    for (const QString& p : paths)
        frame->AddRecentFile(p);
    frame->AddRecentFile(paths[4]);  // moves up
    const QStringList files = frame->RecentFiles()->Files();
    ASSERT_EQ(files.size(), 8);
    EXPECT_EQ(files[0], paths[4]);
    EXPECT_EQ(files[1], paths[8]);
    EXPECT_FALSE(files.contains(paths[0]));  // the oldest fell off

    QFile::remove(paths[8]);
    frame->OpenRecentEntry(1);
    EXPECT_EQ(frame->opened, QStringList{paths[8]});
    EXPECT_FALSE(frame->RecentFiles()->Files().contains(paths[8]));
    frame->OpenRecentEntry(0);
    EXPECT_TRUE(frame->RecentFiles()->Files().contains(paths[4]));

    frame->SaveRecentFiles();
    RecentFileList stored("Para", 8);
    QSettings s(kCompanyKey, kApplicationKey);
    stored.Read(s);
    EXPECT_EQ(stored.Files(), frame->RecentFiles()->Files());
    EXPECT_EQ(s.value("Para/File1").toString(), paths[4]);

    const QString longPath = "/home/engineer/commissioning/line-7/press/parameters.usr";
    const QString shown = RecentFileList::MenuText(0, longPath);
    EXPECT_TRUE(shown.startsWith("&1 "));
    EXPECT_EQ(shown.size() - 3, RecentFileList::kShownLength);
    EXPECT_TRUE(shown.endsWith("/parameters.usr"));
}

TEST_F(FrameListTest, exitClosesOnlyItsFrameAndAllCanCloseAsksEveryFrame)
{
    DummyFrame* a = Open(kKindParameterEditor, 3);
    DummyFrame* b = Open(kKindKeypad, 3);
    EXPECT_TRUE(list().AllCanClose());
    b->canClose = false;
    EXPECT_FALSE(list().AllCanClose());
    b->canClose = true;
    a->ExitAction()->trigger();
    Flush();
    EXPECT_FALSE(list().Exists(kKindParameterEditor, 3));
    EXPECT_TRUE(list().Exists(kKindKeypad, 3));
}

TEST_F(FrameListTest, aDisconnectWhileADialogIsOpenClosesTheDialogFirstAndFreesTheFrameAfterIt)
{
    DummyFrame* frame = Open(kKindKeypad, 3);
    QPointer<DummyFrame> guard = frame;
    bool frameAliveAfterExec = false;
    int result = -1;
    QTimer::singleShot(0, frame, [&] {
        QDialog dialog(frame);
        QTimer::singleShot(0, &dialog, [&] {
            host.frames.Broadcast(ToolNotice::InvDisconnected, 3);  // arrives inside exec()
        });
        result = dialog.exec();
        frameAliveAfterExec = !guard.isNull();
    });
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_TRUE(frameAliveAfterExec);
    EXPECT_FALSE(list().Exists(kKindKeypad, 3));
    Flush();
    EXPECT_TRUE(guard.isNull());
}

TEST_F(FrameListTest, closeAllFreesEveryFrameAtOnceAndTheirRegistrationsWithIt)
{
    Open(kKindParameterEditor, 3);
    Open(kKindKeypad, 3);
    Open(kKindGraphMonitor, kGraphMonitorKey);
    Open(kKindParameterEditor, 256);
    EXPECT_EQ(host.Comm().MonitorRefCount(3, 5), 2);
    EXPECT_TRUE(list().CloseAll(0));
    EXPECT_TRUE(list().Frames().empty());
    EXPECT_EQ(host.Comm().MonitorRefCount(3, 5), 0);
    EXPECT_EQ(host.Comm().MonitorRefCount(1, 5), 0);

    // A refusing frame stays; closing one kind leaves the others.
    DummyFrame* keypad = Open(kKindKeypad, 4);
    Open(kKindParameterEditor, 4);
    struct Refuses : DummyFrame {
        using DummyFrame::DummyFrame;
        bool AboutToClose() override { return false; }
    };
    list().RegisterKind(kKindGraphMonitor,
                        [](ToolHost& h, int s) { return new Refuses(h, kKindGraphMonitor, s); });
    Open(kKindGraphMonitor, kGraphMonitorKey);
    EXPECT_TRUE(list().CloseAll(kKindKeypad));
    (void)keypad;
    EXPECT_FALSE(list().Exists(kKindKeypad, 4));
    EXPECT_TRUE(list().Exists(kKindParameterEditor, 4));
    EXPECT_FALSE(list().CloseAll(0));
    EXPECT_TRUE(list().Exists(kKindGraphMonitor, kGraphMonitorKey));
    // The host's list frees what is left when it goes, before the manager (checked by ASan).
}
