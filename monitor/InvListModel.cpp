#include "monitor/InvListModel.h"

#include "catalogue/Models.h"
#include "catalogue/MonitorItems.h"
#include "catalogue/Registers.h"
#include "monitor/StationIcons.h"

#include <QBrush>
#include <QColor>

#include <algorithm>

namespace vm {

namespace {

const char* const kHeaders[kInvColumnCount] = {"ID",        "Device Name", "Model",  "Capacity",
                                               "Frequency", "Current",     "Status", "Fault"};

QString Text(const std::string& s)
{
    return QString::fromStdString(s);
}

}  // namespace

CInvListModel::CInvListModel(NameLookup deviceName, QObject* parent)
    : QAbstractTableModel(parent), deviceName_(std::move(deviceName))
{
    for (int i = 0; i < kRowImageCount; ++i)
        icons_[i] = QIcon(RowImagePixmap(i, 2.0));
}

int CInvListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int CInvListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kInvColumnCount;
}

QVariant CInvListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const Row& row = rows_[index.row()];
    switch (role) {
    case Qt::DisplayRole:
        return row.cells[index.column()];
    case Qt::DecorationRole:
        return index.column() == kColId ? QVariant(icons_[row.image]) : QVariant();
    case Qt::ForegroundRole:
        return IsRed(row) ? QVariant(QBrush(QColor(0xc8, 0x10, 0x10))) : QVariant();
    case Qt::TextAlignmentRole:
        if (index.column() == kColFrequency || index.column() == kColCurrent)
            return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::UserRole:
        return row.record ? row.record->station : -1;
    default:
        return {};
    }
}

QVariant CInvListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < kInvColumnCount)
        return QString::fromLatin1(kHeaders[section]);
    return QAbstractTableModel::headerData(section, orientation, role);
}

bool CInvListModel::IsRed(const Row& row) const
{
    return !row.record || !row.record->present || !IsSupportedModel(row.record->model);
}

int CInvListModel::RowOf(const StationRecord* record) const
{
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].record == record)
            return static_cast<int>(i);
    }
    return -1;
}

StationRecord* CInvListModel::RecordAt(int row) const
{
    return (row >= 0 && row < rowCount()) ? rows_[row].record : nullptr;
}

QString CInvListModel::CellText(int row, int column) const
{
    return rows_.at(row).cells.at(column);
}

int CInvListModel::RowImageAt(int row) const
{
    return rows_.at(row).image;
}

std::vector<int> CInvListModel::ListedStations() const
{
    std::vector<int> ids;
    for (const Row& r : rows_)
        ids.push_back(r.record->station);
    return ids;
}

void CInvListModel::SetCell(int row, int column, const QString& text)
{
    QString& cell = rows_[row].cells[column];
    if (cell == text)
        return;
    cell = text;
    ++cellWrites_;
    const QModelIndex i = index(row, column);
    emit dataChanged(i, i, {Qt::DisplayRole});
}

void CInvListModel::SetImage(int row, int image)
{
    if (rows_[row].image == image)
        return;
    rows_[row].image = image;
    const QModelIndex i = index(row, kColId);
    emit dataChanged(i, i, {Qt::DecorationRole});
}

int CInvListModel::RefreshStation(StationRecord& r)
{
    int row = RowOf(&r);
    if (r.present) {
        const bool supported = IsSupportedModel(r.model);
        const int image = supported ? kRowStop : kRowNotSupported;
        if (row < 0) {
            row = rowCount();
            beginInsertRows({}, row, row);
            Row fresh;
            fresh.record = &r;
            fresh.cells[kColId] = QString::number(r.station);
            fresh.image = image;
            rows_.push_back(fresh);
            endInsertRows();
        } else {
            SetImage(row, image);
            // A station back from "No Connection" is no longer red.
            emit dataChanged(index(row, 0), index(row, kInvColumnCount - 1), {Qt::ForegroundRole});
        }
        SetCell(row, kColDeviceName, deviceName_(r.station));
        SetCell(row, kColModel, Text(FormatStationValue(r, reg::kModel, r.model)));
        SetCell(row, kColCapacity, Text(FormatStationValue(r, reg::kCapacity, r.capacity)));
        if (!supported) {
            SetCell(row, kColStatus, QString::fromLatin1(StatusName(NameIndex::NotSupport)));
            SetCell(row, kColFrequency, {});
            SetCell(row, kColCurrent, {});
            SetCell(row, kColFault, {});
        }
        SortRows(kColId, true);
        return RowOf(&r);
    }
    if (row >= 0) {
        SetImage(row, kRowDisconnected);
        SetCell(row, kColStatus, QString::fromLatin1(StatusName(NameIndex::NoConnection)));
        SetCell(row, kColFrequency, {});
        SetCell(row, kColCurrent, {});
        SetCell(row, kColFault, {});
        emit dataChanged(index(row, 0), index(row, kInvColumnCount - 1), {Qt::ForegroundRole});
    }
    return row;
}

void CInvListModel::RefreshValues(StationRecord& r)
{
    if (!r.present || !IsSupportedModel(r.model))
        return;
    const int row = RowOf(&r);
    if (row < 0)
        return;
    SetCell(row, kColFrequency, Text(SpeedText(r)));
    SetCell(row, kColCurrent, Text(FormatStationValue(r, reg::kCurrent, r.current)));
    SetImage(row, StatusImageIndex(r.status));
    SetCell(row, kColStatus, Text(FormatStationValue(r, reg::kStatus, r.status)));
    SetCell(row, kColFault, Text(StationFaultText(r)));
}

void CInvListModel::NameChanged(int station)
{
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].record->station == station)
            SetCell(static_cast<int>(i), kColDeviceName, deviceName_(station));
    }
}

void CInvListModel::RemoveUnconnected()
{
    for (int row = rowCount() - 1; row >= 0; --row) {
        const StationRecord* r = rows_[row].record;
        if (!(r->present && r->connected)) {
            beginRemoveRows({}, row, row);
            rows_.erase(rows_.begin() + row);
            endRemoveRows();
        }
    }
}

void CInvListModel::SortRows(int column, bool ascending)
{
    if (column < 0 || column >= kInvColumnCount || rows_.size() < 2)
        return;
    std::vector<int> order(rows_.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = static_cast<int>(i);
    const auto less = [&](int a, int b) {
        if (column == kColId)
            return rows_[a].record->station < rows_[b].record->station;
        return QString::compare(rows_[a].cells[column], rows_[b].cells[column], Qt::CaseInsensitive) < 0;
    };
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return ascending ? less(a, b) : less(b, a); });
    if (std::is_sorted(order.begin(), order.end()))
        return;

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<int> newRowOf(rows_.size());
    std::vector<Row> sorted;
    sorted.reserve(rows_.size());
    for (size_t i = 0; i < order.size(); ++i) {
        newRowOf[order[i]] = static_cast<int>(i);
        sorted.push_back(std::move(rows_[order[i]]));
    }
    rows_ = std::move(sorted);
    QModelIndexList after;
    for (const QModelIndex& i : before)
        after << index(newRowOf[i.row()], i.column());
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

}  // namespace vm
