#pragma once
// The "Fault History" page of the main window: the fault history's records, newest first, with
// the history file behind them.

#include "monitor/FaultHistory.h"
#include "monitor/MonitorHooks.h"

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

class CFaultListView final : public QTableView, public FaultHistoryHook {
    Q_OBJECT
public:
    explicit CFaultListView(MessageSink* messages, QWidget* parent = nullptr);

    CFaultListModel& Model() { return model_; }
    const CHistory& History() const { return history_; }
    void SetMessageSink(MessageSink* messages) { history_.SetMessageSink(messages); }

    // Records the station's fault now, saves the file and shows the record in row 0.
    void AddFault(const StationRecord& record, const QString& deviceName) override;
    // Binds and loads the history file; false (file left as it is) when it cannot be read.
    bool Open(const QString& path);
    bool ChangePath(const QString& path) { return history_.ChangePath(path); }
    void Erase();
    // Saves the records to their file one last time, without messages.
    void Close() { history_.Close(); }

    // "FaultCol %d" in section "Main".
    void LoadColumnWidths(QSettings& settings);
    void SaveColumnWidths(QSettings& settings) const;

private:
    void SelectNewest();

    CHistory history_;
    CFaultListModel model_;
};

}  // namespace vm
