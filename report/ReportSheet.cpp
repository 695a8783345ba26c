#include "report/ReportSheet.h"

#include <QRegularExpression>

#include <stdexcept>

namespace vm {

std::optional<ReportNumber> NumberOf(const ReportCell& cell)
{
    // No leading zeros: "007" is a code, not seven.
    static const QRegularExpression plain(QStringLiteral("^-?(0|[1-9][0-9]{0,14})(\\.([0-9]{1,9}))?$"));
    if (!cell.numeric)
        return std::nullopt;
    const QRegularExpressionMatch m = plain.match(cell.text);
    if (!m.hasMatch())
        return std::nullopt;
    bool ok = false;
    const double value = cell.text.toDouble(&ok);
    if (!ok)
        return std::nullopt;
    return ReportNumber{value, static_cast<int>(m.capturedLength(3))};
}

int ReportSheet::ColumnWidth(int column)
{
    return (column == 1 || column == kColumns) ? kMarginColumnWidth : kColumnWidth;
}

int ReportSheet::TotalWidth()
{
    int width = 0;
    for (int c = 1; c <= kColumns; ++c)
        width += ColumnWidth(c);
    return width;
}

void ReportSheet::EnsureRows(int rows)
{
    if (rows > RowCount()) {
        cells_.resize(static_cast<size_t>(rows) * kColumns);
        spanOf_.resize(cells_.size(), -1);
    }
}

void ReportSheet::Clear()
{
    cells_.clear();
    spanOf_.clear();
    spans_.clear();
    sections_.clear();
}

const ReportSection* ReportSheet::SectionOf(int row) const
{
    for (const ReportSection& s : sections_)
        if (row >= s.titleRow && row <= s.lastRow)
            return &s;
    return nullptr;
}

ReportCell& ReportSheet::Cell(int row, int column)
{
    if (row < 1 || column < 1 || column > kColumns)
        throw std::out_of_range("report cell");
    EnsureRows(row);
    return cells_[Index(row, column)];
}

const ReportCell* ReportSheet::CellAt(int row, int column) const
{
    if (row < 1 || row > RowCount() || column < 1 || column > kColumns)
        return nullptr;
    return &cells_[static_cast<size_t>(row - 1) * kColumns + static_cast<size_t>(column - 1)];
}

void ReportSheet::Merge(int row, int column, int rows, int columns)
{
    if (rows < 1 || columns < 1 || column + columns - 1 > kColumns)
        throw std::out_of_range("report span");
    EnsureRows(row + rows - 1);
    if (rows == 1 && columns == 1)
        return;
    for (int r = row; r < row + rows; ++r)
        for (int c = column; c < column + columns; ++c)
            if (spanOf_[Index(r, c)] >= 0)
                throw std::logic_error("report spans overlap");
    spans_.push_back({row, column, rows, columns});
    for (int r = row; r < row + rows; ++r)
        for (int c = column; c < column + columns; ++c)
            spanOf_[Index(r, c)] = static_cast<int>(spans_.size()) - 1;
}

const ReportSpan* ReportSheet::SpanAt(int row, int column) const
{
    if (!CellAt(row, column))
        return nullptr;
    const int i = spanOf_[Index(row, column)];
    if (i < 0)
        return nullptr;
    const ReportSpan& s = spans_[static_cast<size_t>(i)];
    return (s.row == row && s.column == column) ? &s : nullptr;
}

bool ReportSheet::IsCovered(int row, int column) const
{
    if (!CellAt(row, column))
        return false;
    const int i = spanOf_[Index(row, column)];
    if (i < 0)
        return false;
    const ReportSpan& s = spans_[static_cast<size_t>(i)];
    return !(s.row == row && s.column == column);
}

}  // namespace vm
