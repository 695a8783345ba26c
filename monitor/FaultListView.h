#pragma once
// The "Fault History" page of the main window: the records of the main window's fault history,
// newest first, following each change of the history.

#include "monitor/FaultHistory.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QTableView>

#include <vector>

class QSettings;

namespace vm {

// Row r shows record r of the history: the newest is row 0, numbered 1.
class CFaultListModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit CFaultListModel(const CHistory& history, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    QString CellText(int row, int column) const;

    // A record was added at index 0; trimmed: the oldest one was dropped for it.
    void Added(bool trimmed);
    // The history was replaced as a whole (loaded, erased).
    void Reload();

private:
    void Rebuild();

    const CHistory& history_;
    std::vector<QStringList> rows_;  // cell texts, formatted once per change
    QIcon faultIcon_;
};

// Observes the history it is given, which must outlive it; a new record is selected in row 0.
class CFaultListView final : public QTableView {
    Q_OBJECT
public:
    explicit CFaultListView(CHistory& history, QWidget* parent = nullptr);
    ~CFaultListView() override;

    CFaultListModel& Model() { return model_; }
    const CHistory& History() const { return history_; }

    // "FaultCol %d" in section "Main"; a "Num." column too narrow for the icon and three digits
    // is widened.
    void LoadColumnWidths(QSettings& settings);
    void SaveColumnWidths(QSettings& settings) const;
    int MinColumnWidth(int column) const;

private:
    void HistoryChanged(CHistory::Change change, bool trimmed);
    void SelectNewest();

    CHistory& history_;
    CFaultListModel model_;
};

}  // namespace vm
