#include "monitor/InvListView.h"

#include "catalogue/Models.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>
#include <QSettings>

#include <algorithm>

namespace vm {

CInvListView::CInvListView(CInvListModel::NameLookup deviceName, QWidget* parent)
    : QTableView(parent), model_(std::move(deviceName))
{
    setObjectName(QStringLiteral("InvListView"));
    setModel(&model_);
    SetReportStyle(*this);
    horizontalHeader()->setSectionsClickable(true);
    for (int c = 0; c < kInvColumnCount; ++c)
        setColumnWidth(c, std::max(kInvColumnDefaultWidths[c], MinColumnWidth(c)));

    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &CInvListView::SortByColumn);
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        const StationRecord* r = model_.RecordAt(index.row());
        if (r && r->present && IsSupportedModel(r->model))
            emit informationRequested();
    });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        const StationRecord* r = SelectedStation();
        emit selectionChangedTo(r ? r->station : -1);
    });
}

void CInvListView::RefreshStation(StationRecord& record)
{
    const int row = model_.RefreshStation(record);
    if (row < 0)
        return;
    const QModelIndex index = model_.index(row, 0);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(index);
}

int CInvListView::MinColumnWidth(int column) const
{
    // The ID column carries the row icon: it must leave room for IDs up to 255.
    return column == 0 ? IconAndDigitsWidth(*this, 3) : 0;
}

StationRecord* CInvListView::SelectedStation() const
{
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? nullptr : model_.RecordAt(rows.first().row());
}

void CInvListView::SortByColumn(int column)
{
    if (column < 0 || column >= kInvColumnCount)
        return;
    sortAscending_ = column == sortColumn_ ? !sortAscending_ : true;
    sortColumn_ = column;
    model_.SortRows(column, sortAscending_);
    horizontalHeader()->setSortIndicatorShown(true);
    horizontalHeader()->setSortIndicator(column, sortAscending_ ? Qt::AscendingOrder : Qt::DescendingOrder);
    if (const StationRecord* r = SelectedStation())
        scrollTo(model_.index(model_.RowOf(r), 0));
}

void CInvListView::LoadColumnWidths(QSettings& settings)
{
    for (int c = 0; c < kInvColumnCount; ++c)
        setColumnWidth(c, StoredColumnWidth(settings, QStringLiteral("Main/INVCol %1").arg(c),
                                            kInvColumnDefaultWidths[c], MinColumnWidth(c)));
}

void CInvListView::SaveColumnWidths(QSettings& settings) const
{
    for (int c = 0; c < kInvColumnCount; ++c)
        settings.setValue(QStringLiteral("Main/INVCol %1").arg(c), columnWidth(c));
}

void CInvListView::contextMenuEvent(QContextMenuEvent* event)
{
    const QModelIndex at = indexAt(viewport()->mapFromGlobal(event->globalPos()));
    if (at.isValid())
        selectRow(at.row());
    if (model_.rowCount() == 0 || !SelectedStation() || contextActions_.empty())
        return;
    QMenu menu(QStringLiteral("InvListView"), this);
    for (QAction* a : contextActions_) {
        if (a)
            menu.addAction(a);
        else
            menu.addSeparator();
    }
    menu.exec(event->globalPos());
}

}  // namespace vm
