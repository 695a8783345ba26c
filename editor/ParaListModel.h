#pragma once
// The rows of the parameter list: one group, all groups or one user group, with the column set
// of each mode, the row colours, sorting, deleting from a user group, in-place editing of an
// offline editor's values and its undo/redo. The list view and its filter sit on top.

#include "editor/ParaNode.h"
#include "editor/ParaUndoStacks.h"
#include "paramdb/ParameterData.h"

#include <QAbstractTableModel>
#include <QColor>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace vm {

class EditorMessages;

class ParaListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum class Mode : int { None = -1, Group = 0, UserGroup = 1, AllGroups = 2, Empty = 3 };
    enum class RowState { NotRead, Failed, Default, Changed };
    enum class EditKind : int { None = 0, Choice = 2, Numeric = 3 };
    enum class EditResult { Stored, Unchanged, Refused };

    static constexpr const char* kRangeErrorText =
        "There is valid data range error\nPlease, input data again ?";
    static QColor StateColour(RowState state);  // invalid for the normal text colour

    ParaListModel(std::shared_ptr<ParameterData> data, bool online, EditorMessages& messages, uint64_t editor,
                  QObject* parent = nullptr);

    // Nothing shows no rows (no tree node).
    void Show(std::optional<ParaNode> node);
    Mode ListMode() const { return mode_; }
    const CCustom* ShownUserGroup() const { return custom_; }
    int RowCount() const { return static_cast<int>(rows_.size()); }
    int ValueColumn() const { return mode_ == Mode::Group || mode_ == Mode::None ? 2 : 3; }
    int AddressColumn() const { return mode_ == Mode::Group || mode_ == Mode::None ? 0 : 1; }
    // The item of a row; in a user group found by the entry's address, null when there is none.
    CItem* ItemAt(int row) const;
    CCustom::Entry* EntryAt(int row) const;
    int RowOfAddress(uint16_t address) const;
    QString CellText(int row, int column) const;
    RowState State(int row) const;

    // Value cells again; with valuesOnly false also names and defaults (mode or TIME1 changed).
    void Refresh(bool valuesOnly);
    // Before a user group closes: its undo records go, and its rows when it is shown.
    void DropUserGroup(const CCustom& group);

    // The same column again reverses the order; equal keys keep their order.
    void SortByColumn(int column);
    int SortColumn() const { return sortColumn_; }
    bool Ascending() const { return ascending_; }

    // In-place editing, offline only.
    EditKind BeginEdit(int row);
    QStringList ChoiceTexts(int row) const;
    EditFormat Format(int row) const;
    EditResult EndEdit(int row, const QString& text);

    // Offline only: an online editor's undo and redo write to the drive through its online side,
    // which moves the record when the drive has taken the value.
    bool Undo();
    bool Redo();
    ParaUndoStacks& Stacks() { return stacks_; }
    // Told of every user-group entry before it is deleted (the online undo write may hold it).
    std::function<void(const CCustom::Entry*)> onEntryDiscarded;

    // User group rows only; returns the row to select afterwards, or -1.
    int DeleteRows(std::vector<int> rows);

    // The filter box: code or name contains the text; changedOnly keeps values off their default.
    bool RowMatches(int row, const QString& text, bool changedOnly) const;

    // QAbstractTableModel
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override { return Qt::CopyAction | Qt::MoveAction; }

signals:
    // Around a change of column set: widths are saved before and loaded after.
    void ColumnsAboutToChange(int oldMode);
    void ColumnsChanged(int newMode);
    // A user group's content or values changed (its modified flag is set).
    void UserGroupChanged(CCustom* group);
    void UndoStateChanged();

private:
    struct Row {
        CItem* item = nullptr;
        CCustom::Entry* entry = nullptr;
    };
    void SetMode(Mode mode);
    bool Editable(int row) const;
    uint32_t RowValue(int row, const CItem* item) const;
    void ApplyUndo(const UndoRecord& record);
    void RowChanged(int row);

    std::shared_ptr<ParameterData> data_;
    const bool online_;
    EditorMessages& messages_;
    const uint64_t editor_;
    Mode mode_ = Mode::None;
    CCustom* custom_ = nullptr;
    std::vector<Row> rows_;
    int sortColumn_ = -1;
    bool ascending_ = true;
    ParaUndoStacks stacks_;
    // The in-place edit under way.
    int editRow_ = -1;
    CItem* editItem_ = nullptr;
    CCustom::Entry* editEntry_ = nullptr;
    uint32_t editOld_ = 0;
};

}  // namespace vm
