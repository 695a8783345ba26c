#include "monitor/FaultListView.h"

#include "monitor/InvListModel.h"
#include "monitor/StationIcons.h"
#include "platform/ReportList.h"

#include <QHeaderView>
#include <QSettings>

#include <algorithm>

namespace vm {

// --- CFaultListModel -------------------------------------------------------------------------

CFaultListModel::CFaultListModel(const CHistory& history, QObject* parent)
    : QAbstractTableModel(parent), history_(history), faultIcon_(RowImagePixmap(kRowFault, 2.0))
{
    Rebuild();
}

int CFaultListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int CFaultListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(kFaultColumns.size());
}

QVariant CFaultListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    if (role == Qt::DisplayRole)
        return CellText(index.row(), index.column());
    if (role == Qt::DecorationRole && index.column() == 0)
        return faultIcon_;
    return {};
}

QVariant CFaultListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= columnCount())
        return {};
    return QString::fromLatin1(kFaultColumns[static_cast<size_t>(section)].header);
}

QString CFaultListModel::CellText(int row, int column) const
{
    if (row < 0 || row >= rowCount())
        return {};
    return rows_[static_cast<size_t>(row)].value(column);
}

void CFaultListModel::Rebuild()
{
    rows_.clear();
    rows_.reserve(static_cast<size_t>(history_.Count()));
    for (int i = 0; i < history_.Count(); ++i)
        rows_.push_back(history_.RowTexts(i));
}

void CFaultListModel::Added(bool trimmed)
{
    // The model still holds the rows from before the record came in.
    if (trimmed && !rows_.empty()) {
        const int last = rowCount() - 1;
        beginRemoveRows({}, last, last);
        rows_.pop_back();
        endRemoveRows();
    }
    beginInsertRows({}, 0, 0);
    rows_.insert(rows_.begin(), history_.RowTexts(0));
    endInsertRows();
    // Every older row moved down one number.
    for (int r = 1; r < rowCount(); ++r)
        rows_[static_cast<size_t>(r)][0] = QString::number(r + 1);
    if (rowCount() > 1)
        emit dataChanged(index(1, 0), index(rowCount() - 1, 0), {Qt::DisplayRole});
}

void CFaultListModel::Reload()
{
    beginResetModel();
    Rebuild();
    endResetModel();
}

// --- CFaultListView --------------------------------------------------------------------------

CFaultListView::CFaultListView(CHistory& history, QWidget* parent)
    : QTableView(parent), history_(history), model_(history_)
{
    setObjectName(QStringLiteral("FaultListView"));
    setModel(&model_);
    SetReportStyle(*this);
    for (int c = 0; c < model_.columnCount(); ++c)
        setColumnWidth(c, std::max(kFaultColumns[static_cast<size_t>(c)].width, MinColumnWidth(c)));
    history_.SetObserver([this](CHistory::Change change, bool trimmed) { HistoryChanged(change, trimmed); });
}

CFaultListView::~CFaultListView()
{
    history_.SetObserver({});
}

void CFaultListView::HistoryChanged(CHistory::Change change, bool trimmed)
{
    if (change == CHistory::Change::Added) {
        model_.Added(trimmed);
    } else {
        model_.Reload();
    }
    SelectNewest();
}

int CFaultListView::MinColumnWidth(int column) const
{
    // "Num." carries the row icon and counts up to 200.
    return column == 0 ? IconAndDigitsWidth(*this, 3) : 0;
}

void CFaultListView::SelectNewest()
{
    if (model_.rowCount() == 0)
        return;
    const QModelIndex first = model_.index(0, 0);
    selectionModel()->setCurrentIndex(first, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(first);
}

void CFaultListView::LoadColumnWidths(QSettings& settings)
{
    for (int c = 0; c < model_.columnCount(); ++c)
        setColumnWidth(c, StoredColumnWidth(settings, QStringLiteral("Main/") + FaultColumnKey(c),
                                            kFaultColumns[static_cast<size_t>(c)].width, MinColumnWidth(c)));
}

void CFaultListView::SaveColumnWidths(QSettings& settings) const
{
    for (int c = 0; c < model_.columnCount(); ++c)
        settings.setValue(QStringLiteral("Main/") + FaultColumnKey(c), columnWidth(c));
}

}  // namespace vm
