#include "report/ReportModel.h"

#include <QBrush>
#include <QFont>

namespace vm {

void ReportModel::SetSheet(ReportSheet sheet)
{
    beginResetModel();
    sheet_ = std::move(sheet);
    endResetModel();
}

void ReportModel::SetText(int row, int column, const QString& text)
{
    if (!sheet_.CellAt(row, column))
        return;
    sheet_.Cell(row, column).text = text;
    const QModelIndex i = index(row - 1, column - 1);
    emit dataChanged(i, i, {Qt::DisplayRole});
}

int ReportModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : sheet_.RowCount();
}

int ReportModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ReportSheet::kColumns;
}

QVariant ReportModel::data(const QModelIndex& index, int role) const
{
    const ReportCell* cell = index.isValid() ? sheet_.CellAt(index.row() + 1, index.column() + 1) : nullptr;
    if (!cell)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return cell->text;
    case Qt::BackgroundRole:
        return cell->fill.isValid() ? QVariant(QBrush(cell->fill)) : QVariant();
    case Qt::ForegroundRole:
        return QBrush(cell->ink);
    case Qt::FontRole:
        if (cell->bold || cell->italic) {
            QFont font;
            font.setBold(cell->bold);
            font.setItalic(cell->italic);
            return font;
        }
        return {};
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    case kBoxedRole:
        return cell->boxed;
    default:
        return {};
    }
}

QVariant ReportModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    return section + 1;
}

}  // namespace vm
