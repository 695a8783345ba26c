// The parameter list: row colours, sorting, in-place editing, undo/redo, deleting from a user
// group, and what a drop onto the tree accepts.

#include "EditorTestSupport.h"

#include "editor/ParaDrag.h"
#include "editor/ParaListView.h"
#include "editor/ParaTreeView.h"
#include "paramdb/UserGroup.h"

#include <QMimeData>
#include <QSignalSpy>
#include <QTableView>

namespace vm::test {
namespace {

class ParameterList : public EditorTest {
protected:
    void SetUp() override
    {
        EditorTest::SetUp();
        frame = OpenOffline();
        ASSERT_TRUE(frame);
        model = &frame->List().Model();
    }
    // The first row of the list whose item fits.
    int RowWhere(const std::function<bool(const CItem&)>& fits) const
    {
        for (int r = 0; r < model->RowCount(); ++r)
            if (model->ItemAt(r) && fits(*model->ItemAt(r)))
                return r;
        return -1;
    }
    int NumericRow() const
    {
        return RowWhere([](const CItem& i) {
            return i.writable && !i.IsChoice() && i.HasValueType() && i.maximum > i.minimum + 10 &&
                   i.GetEditFormat().kind == EditFormat::Kind::Decimal && i.Decimals() == 0;
        });
    }
    void ShowAll() { frame->List().Show(ParaNode{NodeKind::GroupRoot, nullptr, nullptr}); }

    CParaFrame* frame = nullptr;
    ParaListModel* model = nullptr;
};

TEST_F(ParameterList, rowColourFollowsValueStatusAndDefault)
{
    ShowAll();
    const int row = NumericRow();
    ASSERT_GE(row, 0);
    CItem* item = model->ItemAt(row);
    EXPECT_EQ(model->State(row), ParaListModel::RowState::NotRead);
    EXPECT_EQ(model->data(model->index(row, 0), Qt::ForegroundRole).value<QColor>(), QColor(153, 153, 153));
    item->valueStatus = 1;
    item->value = item->defaultValue;
    EXPECT_EQ(model->State(row), ParaListModel::RowState::Default);
    EXPECT_FALSE(model->data(model->index(row, 0), Qt::ForegroundRole).isValid());
    item->value = item->defaultValue == item->maximum ? item->minimum : item->maximum;
    EXPECT_EQ(model->data(model->index(row, 0), Qt::ForegroundRole).value<QColor>(), QColor(0, 0, 255));
    item->valueStatus = 2;
    EXPECT_EQ(model->data(model->index(row, 0), Qt::ForegroundRole).value<QColor>(), QColor(255, 51, 51));

    // A user group entry without a parameter is red too, and its own status decides otherwise.
    CCustom* g = frame->Logic().NewUserGroup();
    g->AddEntry(item->address, item->defaultValue)->valueStatus = 1;
    frame->List().Show(ParaNode{NodeKind::UserGroup, nullptr, g});
    EXPECT_EQ(model->State(0), ParaListModel::RowState::Default);
    g->EntryAt(0)->address = 0x7777;
    EXPECT_EQ(model->State(0), ParaListModel::RowState::Failed);
}

TEST_F(ParameterList, aValuesOnlyRefreshRepaintsTheWholeRowBecauseItsColourFollowsTheValue)
{
    ShowAll();
    QSignalSpy spy(model, &QAbstractItemModel::dataChanged);
    frame->List().Refresh(true);
    ASSERT_EQ(spy.count(), 1);
    const auto topLeft = spy[0][0].value<QModelIndex>();
    const auto bottomRight = spy[0][1].value<QModelIndex>();
    EXPECT_EQ(topLeft.column(), 0);
    EXPECT_EQ(bottomRight.column(), model->columnCount() - 1);
    const auto roles = spy[0][2].value<QList<int>>();
    EXPECT_TRUE(roles.isEmpty() || roles.contains(Qt::ForegroundRole));
}

TEST_F(ParameterList, addressesSortAsNumbersAndEqualKeysKeepTheirOrder)
{
    ShowAll();
    ASSERT_EQ(model->AddressColumn(), 1);
    model->SortByColumn(1);
    std::vector<int> codes;
    for (int r = 0; r < model->RowCount(); ++r)
        codes.push_back(model->CellText(r, 1).toInt());
    EXPECT_TRUE(std::is_sorted(codes.begin(), codes.end()));
    EXPECT_EQ(codes.front(), 0);  // 9 before 10, not "10" before "9"
    // Groups reuse codes: rows with the same code keep the group order they had.
    for (size_t i = 1; i < codes.size(); ++i) {
        if (codes[i] == codes[i - 1]) {
            EXPECT_LE(model->ItemAt(static_cast<int>(i - 1))->address,
                      model->ItemAt(static_cast<int>(i))->address);
        }
    }
    model->SortByColumn(1);
    EXPECT_FALSE(model->Ascending());
    EXPECT_GE(model->CellText(0, 1).toInt(), model->CellText(model->RowCount() - 1, 1).toInt());

    // Names: ascending without regard to case, then descending.
    model->SortByColumn(2);
    for (int r = 1; r < model->RowCount(); ++r)
        EXPECT_LE(model->CellText(r - 1, 2).compare(model->CellText(r, 2), Qt::CaseInsensitive), 0);
    model->SortByColumn(2);
    for (int r = 1; r < model->RowCount(); ++r)
        EXPECT_GE(model->CellText(r - 1, 2).compare(model->CellText(r, 2), Qt::CaseInsensitive), 0);
}

TEST_F(ParameterList, onlyWritableValueCellsEditInPlace)
{
    ShowAll();
    const int row = NumericRow();
    ASSERT_GE(row, 0);
    EXPECT_TRUE(model->flags(model->index(row, model->ValueColumn())) & Qt::ItemIsEditable);
    EXPECT_FALSE(model->flags(model->index(row, model->ValueColumn() + 1)) & Qt::ItemIsEditable);
    const int readOnly = RowWhere([](const CItem& i) { return !i.writable; });
    ASSERT_GE(readOnly, 0);
    EXPECT_EQ(model->BeginEdit(readOnly), ParaListModel::EditKind::None);
    EXPECT_EQ(model->BeginEdit(row), ParaListModel::EditKind::Numeric);
    const int choice = RowWhere([](const CItem& i) { return i.writable && i.IsChoice(); });
    ASSERT_GE(choice, 0);
    EXPECT_EQ(model->BeginEdit(choice), ParaListModel::EditKind::Choice);
}

TEST_F(ParameterList, inPlaceEditStoresInRangeAndRefusesOutOfRange)
{
    ShowAll();
    const int row = NumericRow();
    ASSERT_GE(row, 0);
    CItem* item = model->ItemAt(row);
    const QModelIndex cell = model->index(row, model->ValueColumn());
    const uint32_t before = item->value;
    const QString max = QString::fromStdString(item->MaxText());
    ASSERT_TRUE(model->setData(cell, max, Qt::EditRole));
    EXPECT_EQ(item->value, item->maximum);
    EXPECT_EQ(item->valueStatus, 1);
    EXPECT_EQ(model->CellText(row, model->ValueColumn()), max);
    EXPECT_EQ(model->Stacks().UndoCount(), before == item->maximum ? 0u : 1u);

    host.script.entries.clear();
    EXPECT_FALSE(model->setData(cell, QString::number(item->Decode(item->maximum) + 1000), Qt::EditRole));
    EXPECT_EQ(item->value, item->maximum);
    ASSERT_EQ(host.script.entries.size(), 1u);
    EXPECT_EQ(host.script.entries[0].text, "There is valid data range error\nPlease, input data again ?");
    EXPECT_EQ(host.script.entries[0].kind, MessageKind::Information);
    EXPECT_EQ(host.script.entries[0].caption, "Parameter Editor");
    EXPECT_FALSE(model->setData(cell, "not a number", Qt::EditRole));
    EXPECT_EQ(item->value, item->maximum);
}

TEST_F(ParameterList, choiceTextStoresItsPosition)
{
    ShowAll();
    const int row = RowWhere([](const CItem& i) { return i.writable && i.IsChoice() && i.maximum >= 1; });
    ASSERT_GE(row, 0);
    CItem* item = model->ItemAt(row);
    const QStringList texts = model->ChoiceTexts(row);
    ASSERT_GE(texts.size(), 2);
    const int pick = item->value == 1 ? 0 : 1;
    ASSERT_TRUE(model->setData(model->index(row, model->ValueColumn()), texts[pick], Qt::EditRole));
    EXPECT_EQ(item->value, static_cast<uint32_t>(pick));
    EXPECT_EQ(model->CellText(row, model->ValueColumn()), texts[pick]);
    EXPECT_FALSE(model->setData(model->index(row, model->ValueColumn()), "no such choice", Qt::EditRole));
    EXPECT_EQ(item->value, static_cast<uint32_t>(pick));
}

TEST_F(ParameterList, undoGoesBackEightStepsAndANewEditKeepsRedo)
{
    ShowAll();
    const int row = NumericRow();
    ASSERT_GE(row, 0);
    CItem* item = model->ItemAt(row);
    const QModelIndex cell = model->index(row, model->ValueColumn());
    const double low = item->Decode(item->minimum);
    std::vector<uint32_t> values{item->value};
    for (int i = 1; i <= 9; ++i) {
        ASSERT_TRUE(model->setData(cell, QString::number(low + i), Qt::EditRole)) << i;
        values.push_back(item->value);
    }
    EXPECT_EQ(model->Stacks().UndoCount(), 8u);
    int undone = 0;
    while (model->Undo())
        ++undone;
    EXPECT_EQ(undone, 8);
    EXPECT_EQ(item->value, values[1]);  // the first edit fell off the end
    EXPECT_EQ(model->Stacks().RedoCount(), 8u);

    ASSERT_TRUE(model->Redo());
    EXPECT_EQ(item->value, values[2]);
    // A new edit leaves the redo stack; redo then still restores the value it undid.
    ASSERT_TRUE(model->setData(cell, QString::number(low + 20), Qt::EditRole));
    EXPECT_EQ(model->Stacks().RedoCount(), 7u);
    ASSERT_TRUE(model->Redo());
    EXPECT_EQ(item->value, values[3]);
    EXPECT_TRUE(frame->CommandAction(CParaFrame::kUndo)->isEnabled());
}

TEST_F(ParameterList, deletingUserGroupRowsRemovesOnlyThoseEntriesAndTheirUndo)
{
    CCustom* g = frame->Logic().NewUserGroup();
    std::vector<uint16_t> addresses;
    for (const auto& item : frame->Data()->GroupAt(0)->items)
        if (item->writable && !item->IsChoice() && addresses.size() < 4)
            addresses.push_back(item->address);
    ASSERT_EQ(addresses.size(), 4u);
    ASSERT_EQ(AddToUserGroup(*g, *frame->Data(), addresses), 4);
    g->SetModified(false);
    frame->List().Show(ParaNode{NodeKind::UserGroup, nullptr, g});
    ASSERT_EQ(model->RowCount(), 4);
    const int vc = model->ValueColumn();
    ASSERT_TRUE(model->setData(model->index(1, vc), QString::fromStdString(model->ItemAt(1)->MaxText()),
                               Qt::EditRole));
    ASSERT_TRUE(model->setData(model->index(3, vc), QString::fromStdString(model->ItemAt(3)->MaxText()),
                               Qt::EditRole));
    EXPECT_TRUE(g->IsModified());
    g->SetModified(false);
    const uint32_t kept = g->EntryAt(3)->value;
    EXPECT_EQ(model->DeleteRows({1, 2}), 1);
    EXPECT_TRUE(g->IsModified());
    ASSERT_EQ(g->Count(), 2u);
    EXPECT_EQ(g->EntryAt(0)->address, addresses[0]);
    EXPECT_EQ(g->EntryAt(1)->address, addresses[3]);
    EXPECT_EQ(model->Stacks().UndoCount(), 1u);
    ASSERT_TRUE(model->Undo());
    EXPECT_NE(g->EntryAt(1)->value, kept);
    EXPECT_FALSE(model->Undo());
}

TEST_F(ParameterList, closingAGroupDropsItsUndoRecordsAndRows)
{
    CCustom* g = frame->Logic().NewUserGroup();
    ShowAll();
    const int row = NumericRow();
    ASSERT_EQ(AddToUserGroup(*g, *frame->Data(), {model->ItemAt(row)->address}), 1);
    frame->List().Show(ParaNode{NodeKind::UserGroup, nullptr, g});
    ASSERT_TRUE(model->setData(model->index(0, model->ValueColumn()),
                               QString::fromStdString(model->ItemAt(0)->MaxText()), Qt::EditRole));
    ASSERT_EQ(model->Stacks().UndoCount(), 1u);
    host.script.answers = {false};
    ASSERT_TRUE(frame->Logic().CloseUserGroup(*g));
    EXPECT_EQ(model->Stacks().UndoCount(), 0u);
    EXPECT_EQ(model->RowCount(), 0);
}

TEST_F(ParameterList, dropsComeOnlyFromThisEditorOntoAUserGroup)
{
    CCustom* g = frame->Logic().NewUserGroup();
    const uint16_t a = frame->Data()->GroupAt(0)->items.At(0)->address;
    const uint16_t b = frame->Data()->GroupAt(0)->items.At(1)->address;
    const uint16_t c = frame->Data()->GroupAt(1)->items.At(0)->address;
    ASSERT_EQ(AddToUserGroup(*g, *frame->Data(), {a}), 1);
    g->SetModified(false);
    CParaTreeView& tree = frame->Tree();
    QTreeWidgetItem* node = tree.UserGroupNode(g);

    // Plain text (the old payload was pointers as text) is refused outright.
    QMimeData text;
    text.setText(QStringLiteral("\x10\x20\x30\x40"));
    text.setData("text/plain", QByteArray(64, '\x41'));
    EXPECT_EQ(tree.DropOn(node, &text), -1);
    // Our type from another editor, or garbage under our type, likewise.
    std::unique_ptr<QMimeData> foreign(EncodeParaDrag(frame->Identity() + 1000, {b}));
    EXPECT_EQ(tree.DropOn(node, foreign.get()), -1);
    QMimeData garbage;
    garbage.setData(kParaDragMime, QByteArray("\xff\xff\xff\xff\xff\xff", 6));
    EXPECT_EQ(tree.DropOn(node, &garbage), -1);
    EXPECT_EQ(g->Count(), 1u);
    EXPECT_FALSE(g->IsModified());

    // Three dragged from the list, one already there: two added; only onto a user group node.
    frame->List().Show(ParaNode{NodeKind::GroupRoot, nullptr, nullptr});
    const int ra = model->RowOfAddress(a), rb = model->RowOfAddress(b), rc = model->RowOfAddress(c);
    std::unique_ptr<QMimeData> mine(
        model->mimeData({model->index(ra, 0), model->index(rb, 0), model->index(rc, 2)}));
    EXPECT_EQ(tree.DropOn(tree.GroupRoot(), mine.get()), -1);
    EXPECT_EQ(tree.DropOn(tree.GroupRoot()->child(0), mine.get()), -1);
    EXPECT_EQ(tree.DropOn(node, mine.get()), 2);
    EXPECT_EQ(g->Count(), 3u);
    EXPECT_TRUE(g->IsModified());
}

TEST_F(ParameterList, filterKeepsCodeOrNameMatchesAndChangedValues)
{
    ShowAll();
    const int all = frame->List().RowCount();
    const int row = NumericRow();
    CItem* item = model->ItemAt(row);
    frame->List().SetFilter(QString(), true);
    EXPECT_EQ(frame->List().RowCount(), 0);
    item->value = item->defaultValue == item->maximum ? item->minimum : item->maximum;
    frame->List().SetFilter(QString(), true);
    EXPECT_EQ(frame->List().RowCount(), 1);
    const QString name = model->CellText(row, 2);
    frame->List().SetFilter(name.toLower(), false);
    EXPECT_GE(frame->List().RowCount(), 1);
    EXPECT_LT(frame->List().RowCount(), all);
    frame->List().SetFilter(QString(), false);
    EXPECT_EQ(frame->List().RowCount(), all);
    EXPECT_EQ(frame->PaneTexts().quantity, QString("Parameter Quantity : %1").arg(all));
}

TEST_F(ParameterList, treeSelectionSwitchesTheColumnSets)
{
    CParaTreeView& tree = frame->Tree();
    ASSERT_EQ(model->ListMode(), ParaListModel::Mode::Group);
    EXPECT_EQ(model->columnCount(), 5);
    EXPECT_EQ(model->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "Address");
    tree.setCurrentItem(tree.GroupRoot());
    EXPECT_EQ(model->ListMode(), ParaListModel::Mode::AllGroups);
    EXPECT_EQ(model->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "Group Name");
    EXPECT_EQ(model->RowCount(), frame->Data()->TotalItemCount());
    tree.setCurrentItem(tree.UserGroupRoot());
    EXPECT_EQ(model->ListMode(), ParaListModel::Mode::Empty);
    EXPECT_EQ(model->RowCount(), 0);
    // Widths are remembered per station and column set.
    tree.setCurrentItem(tree.GroupRoot()->child(0));
    frame->List().Table()->setColumnWidth(1, 333);
    tree.setCurrentItem(tree.GroupRoot());
    QSettings s(kCompanyKey, kApplicationKey);
    EXPECT_EQ(s.value(QString("Para%1/PARACol1 1").arg(frame->Station())).toInt(), 333);
    tree.setCurrentItem(tree.GroupRoot()->child(0));
    EXPECT_EQ(frame->List().Table()->columnWidth(1), 333);
    // Six columns after five: the last one gets its width too.
    frame->List().Table()->setColumnWidth(1, 90);
    tree.setCurrentItem(tree.GroupRoot());
    EXPECT_EQ(frame->List().Table()->columnWidth(5), 50);
    frame->List().Table()->setColumnWidth(5, 77);
    tree.setCurrentItem(tree.GroupRoot()->child(0));
    tree.setCurrentItem(tree.GroupRoot());
    EXPECT_EQ(frame->List().Table()->columnWidth(5), 77);
}

TEST_F(ParameterList, groupAndParameterNameColumnsWidenToTheLongestNameShown)
{
    QTableView* table = frame->List().Table();
    const auto widest = [&](int column) {
        int w = 0;
        for (int r = 0; r < model->RowCount(); ++r)
            w = std::max(w, table->fontMetrics().horizontalAdvance(model->CellText(r, column)));
        return w;
    };
    CParaTreeView& tree = frame->Tree();
    tree.setCurrentItem(tree.GroupRoot());
    ASSERT_EQ(model->ListMode(), ParaListModel::Mode::AllGroups);
    ASSERT_GT(widest(2), 60);  // the names are wider than the narrow columns below
    table->setColumnWidth(0, 40);
    table->setColumnWidth(2, 40);
    table->setColumnWidth(3, 40);
    ShowAll();
    EXPECT_GE(table->columnWidth(0), widest(0));
    EXPECT_GE(table->columnWidth(2), widest(2));
    EXPECT_EQ(table->columnWidth(3), 40);  // values keep the width they were given
    // A name column wider than its names stays as the user left it.
    table->setColumnWidth(2, 900);
    ShowAll();
    EXPECT_EQ(table->columnWidth(2), 900);
    // The group list's name column too.
    tree.setCurrentItem(tree.GroupRoot()->child(0));
    table->setColumnWidth(1, 40);
    frame->List().Show(tree.SelectedNode());
    EXPECT_GE(table->columnWidth(1), widest(1));
}

}  // namespace
}  // namespace vm::test
