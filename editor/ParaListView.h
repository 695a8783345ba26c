#pragma once
// The editor's client area: the parameter list with a filter box above it (code or name, and
// values changed from their default). Cells of writable values are edited in place in an offline
// editor: a drop-down for choices, a numeric field shaped by the parameter's format.

#include "editor/ParaListModel.h"

#include <QPointer>
#include <QWidget>

class QCheckBox;
class QLineEdit;
class QSortFilterProxyModel;
class QTableView;

namespace vm {

class ParaFilterProxy;
class ParaEditDelegate;

class CParaListView : public QWidget {
    Q_OBJECT
public:
    CParaListView(std::shared_ptr<ParameterData> data, int station, EditorMessages& messages, uint64_t editor,
                  QWidget* parent = nullptr);
    ~CParaListView() override;

    ParaListModel& Model() { return *model_; }
    QTableView* Table() const { return table_; }
    void Show(std::optional<ParaNode> node);
    void Refresh(bool valuesOnly) { model_->Refresh(valuesOnly); }
    // Rows shown (after the filter).
    int RowCount() const;
    void DropUserGroup(const CCustom& group) { model_->DropUserGroup(group); }
    // Ends an in-place edit without storing it.
    void StopEditing();
    void SetFilter(const QString& text, bool changedOnly);
    // Source rows of the selection, in row order.
    std::vector<int> SelectedRows() const;
    void SelectRow(int sourceRow);
    void DeleteSelected();

signals:
    void RowsChanged();
    // A double-click on a row of an online editor.
    void OnlineEditRequested(int row);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void LoadWidths(int mode);
    void SaveWidths(int mode);
    void FitNameColumns();

    const int station_;
    const bool online_;
    ParaListModel* model_;
    ParaFilterProxy* proxy_;
    ParaEditDelegate* delegate_;
    QTableView* table_;
    QLineEdit* filter_;
    QCheckBox* changedOnly_;
};

}  // namespace vm
