// Adding the selected parameters to a user group without dragging: the current group, a new
// untitled one when none is open, and the command's menu, context menu and keys.

#include "EditorTestSupport.h"

#include "editor/ParaListView.h"
#include "editor/ParaTreeView.h"
#include "paramdb/UserGroup.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QStatusBar>
#include <QTableView>
#include <QTest>

namespace vm::test {
namespace {

using AddToUserGroup = EditorTest;

std::vector<uint32_t> Addresses(const CCustom& group)
{
    std::vector<uint32_t> out;
    for (size_t i = 0; i < group.Count(); ++i)
        out.push_back(group.EntryAt(i)->address);
    return out;
}

// The addresses of the first n items of the data file, in file order.
std::vector<uint16_t> FirstItems(const ParameterData& data, size_t n)
{
    std::vector<uint16_t> out;
    for (const auto& g : data.Groups())
        for (const auto& item : g->items)
            if (out.size() < n)
                out.push_back(static_cast<uint16_t>(item->address));
    return out;
}

TEST_F(AddToUserGroup, withNoGroupOpenANewUntitledOneTakesThemAndLaterAddsGoToTheCurrentGroup)
{
    CParaFrame* f = OpenOffline(8, 0x0012);
    ASSERT_TRUE(f);
    ParaFrameLogic& logic = f->Logic();
    const std::vector<uint16_t> a = FirstItems(*f->Data(), 4);
    ASSERT_EQ(a.size(), 4u);
    EXPECT_EQ(logic.AddToCurrentUserGroup({}).group, nullptr);  // nothing selected: no group made
    EXPECT_TRUE(logic.UserGroups().empty());

    ParaFrameLogic::Added added = logic.AddToCurrentUserGroup({a[0], a[1]});
    ASSERT_EQ(logic.UserGroups().size(), 1u);
    CCustom* first = logic.UserGroups()[0].get();
    EXPECT_EQ(added.group, first);
    EXPECT_TRUE(added.created);
    EXPECT_EQ(added.count, 2);
    EXPECT_TRUE(first->IsUntitled());
    EXPECT_TRUE(first->IsModified());
    EXPECT_EQ(first->Name(), "custom_QM-E20_v1.2_1");
    EXPECT_TRUE(f->Tree().UserGroupNode(first));
    EXPECT_EQ(ParaFrameLogic::AddedText(added),
              "2 parameter(s) added to new user group custom_QM-E20_v1.2_1");

    // Held ones and addresses the data file lacks are passed over.
    added = logic.AddToCurrentUserGroup({a[1], 0xFFFF, a[2]});
    EXPECT_FALSE(added.created);
    EXPECT_EQ(added.count, 1);
    EXPECT_EQ(Addresses(*first), (std::vector<uint32_t>{a[0], a[1], a[2]}));
    added = logic.AddToCurrentUserGroup({a[0]});
    EXPECT_EQ(added.count, 0);
    EXPECT_EQ(ParaFrameLogic::AddedText(added),
              "User group custom_QM-E20_v1.2_1 already holds the selected parameters");

    // A newer group is the current one, until the tree selects another; the tree shows it bold.
    const auto bold = [&](const CCustom* g) { return f->Tree().UserGroupNode(g)->font(0).bold(); };
    CCustom* second = logic.NewUserGroup();
    EXPECT_EQ(logic.AddToCurrentUserGroup({a[3]}).group, second);
    EXPECT_TRUE(bold(second));
    EXPECT_FALSE(bold(first));
    f->Tree().setCurrentItem(f->Tree().UserGroupNode(first));
    EXPECT_EQ(logic.AddToCurrentUserGroup({a[3]}).group, first);
    EXPECT_TRUE(bold(first));
    EXPECT_FALSE(bold(second));
    EXPECT_EQ(Addresses(*first).back(), a[3]);
    // The list showing that group shows what was added.
    EXPECT_EQ(f->List().RowCount(), 4);

    // Closing the current group hands over to the newest one left.
    host.script.answers = {false};  // do not save
    ASSERT_TRUE(logic.CloseUserGroup(*first));
    EXPECT_EQ(logic.CurrentUserGroup(), second);
    QCoreApplication::processEvents();
    EXPECT_TRUE(bold(second));
    logic.SetCurrentUserGroup(first);  // no longer open: ignored
    EXPECT_EQ(logic.CurrentUserGroup(), second);
}

TEST_F(AddToUserGroup, theCommandSitsInTheEditMenuTheListsContextMenuAndOnCtrlGAndInsert)
{
    CParaFrame* f = OpenOffline(8, 0x0012);
    ASSERT_TRUE(f);
    QAction* add = f->CommandAction(CParaFrame::kAddToUserGroup);
    ASSERT_TRUE(add);
    QTableView* table = f->List().Table();
    EXPECT_EQ(table->contextMenuPolicy(), Qt::ActionsContextMenu);
    EXPECT_TRUE(table->actions().contains(add));
    EXPECT_EQ(add->shortcuts(),
              (QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::Key_G), QKeySequence(Qt::Key_Insert)}));
    // No other command of the editor answers these keys.
    for (int id = CParaFrame::kNewUserGroup; id < CParaFrame::kAddToUserGroup; ++id) {
        QAction* other = f->CommandAction(id);
        for (const QKeySequence& key : other ? other->shortcuts() : QList<QKeySequence>()) {
            EXPECT_FALSE(add->shortcuts().contains(key)) << other->text().toStdString();
        }
    }

    table->clearSelection();
    EXPECT_FALSE(add->isEnabled());
    const QModelIndex row1 = table->model()->index(1, 0), row2 = table->model()->index(2, 0);
    table->selectionModel()->select(row1, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    table->selectionModel()->select(row2, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_TRUE(add->isEnabled());
    const uint32_t first = f->List().Model().ItemAt(1)->address;
    const uint32_t second = f->List().Model().ItemAt(2)->address;

    f->show();
    f->activateWindow();
    table->setFocus();
    QTRY_VERIFY(f->isActiveWindow());
    QTest::keyClick(table, Qt::Key_G, Qt::ControlModifier);
    ASSERT_EQ(f->Logic().UserGroups().size(), 1u);
    CCustom* group = f->Logic().UserGroups()[0].get();
    EXPECT_EQ(Addresses(*group), (std::vector<uint32_t>{first, second}));
    EXPECT_EQ(f->statusBar()->currentMessage(),
              "2 parameter(s) added to new user group " + QString::fromStdString(group->Name()));

    // Insert adds the next selection to the same group.
    table->clearSelection();
    table->selectionModel()->select(table->model()->index(3, 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QTest::keyClick(table, Qt::Key_Insert);
    EXPECT_EQ(f->Logic().UserGroups().size(), 1u);
    EXPECT_EQ(group->Count(), 3u);
}

}  // namespace
}  // namespace vm::test
