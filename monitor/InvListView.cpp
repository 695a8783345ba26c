#include "monitor/InvListView.h"

#include "catalogue/Models.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>
#include <QSettings>

namespace vm {

void SetReportStyle(QTableView& view)
{
    view.setSelectionBehavior(QAbstractItemView::SelectRows);
    view.setSelectionMode(QAbstractItemView::SingleSelection);
    view.setEditTriggers(QAbstractItemView::NoEditTriggers);
    view.setShowGrid(true);
    view.setAlternatingRowColors(true);
    view.setWordWrap(false);
    view.setIconSize(QSize(16, 16));
    view.setFrameShape(QFrame::NoFrame);
    view.verticalHeader()->hide();
    view.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view.verticalHeader()->setDefaultSectionSize(view.fontMetrics().height() + 8);
    view.horizontalHeader()->setHighlightSections(false);
    view.horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    view.horizontalHeader()->setStretchLastSection(true);

    // The selection stays visible while another window has the focus.
    QPalette pal = view.palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight, pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                 pal.color(QPalette::Active, QPalette::HighlightedText));
    view.setPalette(pal);
}

int StoredColumnWidth(QSettings& settings, const QString& key, int defaultWidth)
{
    const int w = settings.value(key, defaultWidth).toInt();
    return w > 0 ? w : defaultWidth;
}

CInvListView::CInvListView(CInvListModel::NameLookup deviceName, QWidget* parent)
    : QTableView(parent), model_(std::move(deviceName))
{
    setObjectName(QStringLiteral("InvListView"));
    setModel(&model_);
    SetReportStyle(*this);
    horizontalHeader()->setSectionsClickable(true);
    for (int c = 0; c < kInvColumnCount; ++c)
        setColumnWidth(c, kInvColumnDefaultWidths[c]);

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
    selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(index);
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
    horizontalHeader()->setSortIndicator(column,
                                         sortAscending_ ? Qt::AscendingOrder : Qt::DescendingOrder);
    if (const StationRecord* r = SelectedStation())
        scrollTo(model_.index(model_.RowOf(r), 0));
}

void CInvListView::LoadColumnWidths(QSettings& settings)
{
    for (int c = 0; c < kInvColumnCount; ++c)
        setColumnWidth(c, StoredColumnWidth(settings, QStringLiteral("Main/INVCol %1").arg(c),
                                            kInvColumnDefaultWidths[c]));
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
