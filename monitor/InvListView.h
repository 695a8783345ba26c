#pragma once
// The "Connection Information" page: the inverter list, where the operator picks the station for
// every station command.

#include "monitor/InvListModel.h"
#include "platform/ReportList.h"

#include <QTableView>

#include <array>
#include <vector>

class QAction;
class QSettings;

namespace vm {

inline constexpr std::array<int, kInvColumnCount> kInvColumnDefaultWidths{40,  150, 80,  90,
                                                                          100, 100, 100, 150};

class CInvListView : public QTableView {
    Q_OBJECT
public:
    explicit CInvListView(CInvListModel::NameLookup deviceName, QWidget* parent = nullptr);

    CInvListModel& Model() { return model_; }

    void RefreshStation(StationRecord& record);
    void RefreshValues(StationRecord& record) { model_.RefreshValues(record); }
    void NameChanged(int station) { model_.NameChanged(station); }
    void RemoveUnconnected() { model_.RemoveUnconnected(); }
    StationRecord* SelectedStation() const;
    std::vector<int> ListedStations() const { return model_.ListedStations(); }

    // A header click: the column sorted last toggles its direction, another sorts ascending.
    void SortByColumn(int column);
    int SortColumn() const { return sortColumn_; }
    bool SortAscending() const { return sortAscending_; }

    // "INVCol %d" in section "Main"; a width too narrow for the icon and an ID is widened.
    void LoadColumnWidths(QSettings& settings);
    void SaveColumnWidths(QSettings& settings) const;

    // The commands of the right-click menu, in menu order; nullptr puts a separator.
    void SetContextActions(const std::vector<QAction*>& actions) { contextActions_ = actions; }

signals:
    // Double click on a row of a present, supported station.
    void informationRequested();
    void selectionChangedTo(int station);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

    int MinColumnWidth(int column) const;

private:
    CInvListModel model_;
    int sortColumn_ = -1;
    bool sortAscending_ = true;
    std::vector<QAction*> contextActions_;
};

}  // namespace vm
