// The online half wired into the editor frame: an online editor gets it, an offline one does not,
// and the frame's Undo goes through the drive, moving the record only on the reply.

#include "EditorTestSupport.h"

#include "catalogue/Registers.h"
#include "editor/ParaEditDlg.h"
#include "editor/ParaListView.h"
#include "editor/ParaReadDlg.h"
#include "tests/support/ModalProbe.h"
#include "tests/support/TransferFixture.h"

#include <QAction>
#include <QTest>
#include <QTimer>

namespace vm::test {
namespace {

class WiredHost : public FakeToolHost {
public:
    using FakeToolHost::FakeToolHost;
    MessageSink& Messages() override { return script; }
    ScriptedMessages script;
};

class OnlineWiring : public ::testing::Test {
protected:
    OnlineWiring() : host(&line.harness.manager)
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           dir.filePath(QStringLiteral("config")));
        ConnectRecord(host.Record(kTestStation), *line.drive);
        host.Record(kTestStation).status = reg::kStatusStop;
    }
    ~OnlineWiring() override
    {
        host.frames.CloseAll();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    CParaFrame* OpenOnline()
    {
        RegisterEditorKind(host.frames, LogicRunner(0, 0));
        return static_cast<CParaFrame*>(host.frames.Open(kKindParameterEditor, kTestStation));
    }
    // A value edited from 40 to 60 on the drive, its record on the undo stack.
    CItem* Edited(CParaFrame& f)
    {
        CItem* item = f.Data()->FindItem(kAddress);
        EXPECT_EQ(line.drive->Force(kAddress, 60), "");
        item->value = 60;
        f.List().Model().Stacks().PushUndo({kAddress, 40, 60, false, nullptr});
        f.UpdateCommands();
        return item;
    }

    static constexpr uint16_t kAddress = 0x5101;
    QTemporaryDir dir;
    DriveOnLine line;
    WiredHost host;
};

TEST_F(OnlineWiring, onlyOnlineEditorsHaveAnOnlineSide)
{
    CParaFrame* online = OpenOnline();
    ASSERT_TRUE(online);
    EXPECT_NE(online->Online(), nullptr);
    EXPECT_TRUE(online->CommandAction(CParaFrame::kUpload)->isEnabled());

    RegisterEditorKind(host.frames, LogicRunner(kLargestModel, kLargestVersion));
    auto* offline =
        static_cast<CParaFrame*>(host.frames.Open(kKindParameterEditor, host.frames.FreeOfflineStation()));
    ASSERT_TRUE(offline);
    EXPECT_EQ(offline->Online(), nullptr);
    EXPECT_FALSE(offline->CommandAction(CParaFrame::kUpload)->isEnabled());
}

TEST_F(OnlineWiring, undoWritesTheDriveAndMovesTheRecordOnlyOnTheReply)
{
    CParaFrame* f = OpenOnline();
    ASSERT_TRUE(f);
    CItem* item = Edited(*f);
    ParaUndoStacks& stacks = f->List().Model().Stacks();
    QAction* undo = f->CommandAction(CParaFrame::kUndo);
    QAction* redo = f->CommandAction(CParaFrame::kRedo);
    ASSERT_TRUE(undo->isEnabled());

    undo->trigger();
    // On its way: the record sits in neither stack, the list still shows 60, both commands wait.
    EXPECT_EQ(stacks.UndoCount() + stacks.RedoCount(), 0u);
    EXPECT_EQ(item->value, 60u);
    EXPECT_TRUE(f->Online()->UndoPending());
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_FALSE(redo->isEnabled());

    ASSERT_TRUE(line.harness.StepUntil([&] { return !f->Online()->UndoPending(); }));
    EXPECT_EQ(line.Register(kAddress), 40);
    EXPECT_EQ(item->value, 40u);
    ASSERT_EQ(stacks.RedoCount(), 1u);
    EXPECT_EQ(stacks.UndoCount(), 0u);
    EXPECT_TRUE(redo->isEnabled());

    // Redo writes the edited value back.
    redo->trigger();
    ASSERT_TRUE(line.harness.StepUntil([&] { return !f->Online()->UndoPending(); }));
    EXPECT_EQ(line.Register(kAddress), 60);
    EXPECT_EQ(item->value, 60u);
    EXPECT_EQ(stacks.UndoCount(), 1u);
    EXPECT_EQ(stacks.RedoCount(), 0u);
    EXPECT_TRUE(host.script.entries.empty());
}

TEST_F(OnlineWiring, aFailedUndoWriteKeepsTheRecordAndReportsAfterTheReply)
{
    CParaFrame* f = OpenOnline();
    ASSERT_TRUE(f);
    CItem* item = Edited(*f);
    ParaUndoStacks& stacks = f->List().Model().Stacks();
    line.drive->SetSilenced(true);
    f->CommandAction(CParaFrame::kUndo)->trigger();
    ASSERT_TRUE(f->Online()->UndoPending());
    ASSERT_TRUE(line.harness.StepUntil([&] { return !f->Online()->UndoPending(); }));
    // Back where it was; the value unchanged; the box comes after the reply has returned.
    EXPECT_EQ(stacks.UndoCount(), 1u);
    EXPECT_EQ(stacks.RedoCount(), 0u);
    EXPECT_EQ(item->value, 60u);
    EXPECT_TRUE(host.script.entries.empty());
    QTRY_COMPARE(host.script.entries.size(), size_t{1});
    EXPECT_EQ(host.script.entries[0].caption, "Parameter Editor");
    EXPECT_TRUE(f->CommandAction(CParaFrame::kUndo)->isEnabled());
}

TEST_F(OnlineWiring, readingAGroupRunsTheReadingDialogThenShowsTheGroupWithTheDrivesValues)
{
    CParaFrame* f = OpenOnline();
    ASSERT_TRUE(f);
    CGroup* group = f->Data()->Groups().At(0);
    CItem* first = group->items.At(0);
    bool finished = false;
    QTimer::singleShot(0, f, [&] {
        auto* dlg = f->findChild<CParaReadDlg*>();
        ASSERT_TRUE(dlg);
        finished = line.harness.StepUntil([&] { return dlg->Logic().Finished(); });
    });
    f->Online()->ReadNode({NodeKind::Group, group, nullptr});
    ASSERT_TRUE(finished);
    EXPECT_FALSE(f->findChild<CParaReadDlg*>());
    uint16_t onDrive = 0;
    line.drive->Read(first->address, onDrive);
    EXPECT_EQ(first->value, onDrive);
    ASSERT_EQ(f->List().Model().RowCount(), static_cast<int>(group->items.Count()));
    EXPECT_NE(f->List().Model().State(0), ParaListModel::RowState::NotRead);
    EXPECT_EQ(f->List().Model().ItemAt(0), first);
}

TEST_F(OnlineWiring, theEditLoopMovesToTheNextRowAndStoppingEndsItAtOnce)
{
    CParaFrame* f = OpenOnline();
    ASSERT_TRUE(f);
    ParaListModel& model = f->List().Model();
    ASSERT_GE(model.RowCount(), 2);
    std::vector<CItem*> opened;
    int polls = 0;
    // Each open dialog in turn: the first moves on, the second is stopped as a disconnect would.
    std::function<void()> arm = [&] {
        QTimer::singleShot(0, f, [&] {
            CParaEditDlg* dlg = nullptr;
            for (auto* d : f->findChildren<CParaEditDlg*>())
                if (d->isVisible() && d->result() == 0 &&
                    (opened.empty() || d->Logic().Item() != opened.back()))
                    dlg = d;
            if (!dlg) {
                if (++polls < 200)
                    arm();
                return;
            }
            opened.push_back(dlg->Logic().Item());
            ASSERT_TRUE(line.harness.StepUntil([&] { return dlg->Logic().ControlsEnabled(); }));
            if (opened.size() == 1) {
                arm();
                dlg->PressMove(CParaEditDlg::kMoveNext);
            } else {
                f->Online()->StopEditing();
            }
        });
    };
    arm();
    f->Online()->EditRow(0);
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0], model.ItemAt(0));
    EXPECT_EQ(opened[1], model.ItemAt(1));
    EXPECT_FALSE(f->findChild<CParaEditDlg*>());
    EXPECT_EQ(f->List().SelectedRows(), std::vector<int>{1});
}

TEST_F(OnlineWiring, aReadThatFailsSaysWhatFailedAndKeepsWhatWasRead)
{
    CParaFrame* f = OpenOnline();
    ASSERT_TRUE(f);
    const CGroup* first = f->Data()->Groups().At(0);
    ASSERT_GT(first->items.Count(), 6u);
    const bool ok =
        RunUnderModal([&] { f->Online()->ReadAllGroups(); }, {{TopIs<CParaReadDlg>(), [](QWidget*) {}}},
                      [&] { return !f->findChild<CParaReadDlg*>(); },
                      [&] {
                          line.harness.Step(1);
                          auto* dlg = f->findChild<CParaReadDlg*>();
                          if (dlg && dlg->Logic().Done() >= 5)
                              line.drive->SetSilenced(true);
                      });
    ASSERT_TRUE(ok);
    ASSERT_FALSE(host.script.entries.empty());
    const std::string text = host.script.entries.back().text;
    EXPECT_EQ(host.script.entries.back().kind, MessageKind::Error);
    const CItem* failed = first->items.At(5);
    EXPECT_NE(text.find(std::to_string(failed->address & 0xFF) + " : " + failed->displayName),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(CommManager::ErrorText(kTimeoutError)), std::string::npos) << text;
    EXPECT_NE(text.find("5 of " + std::to_string(f->Data()->TotalItemCount()) + " parameters were read"),
              std::string::npos)
        << text;
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(first->items.At(i)->valueStatus, 1) << i;
    EXPECT_EQ(failed->valueStatus, 2);
}

}  // namespace
}  // namespace vm::test
