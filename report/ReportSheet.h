#pragma once
// The parameter report as a plain sheet of 12 columns: texts, spans, fill and text colours,
// emphasis and cell borders. The window's table model, the exporters and the printer all read
// this one sheet, so what is shown, saved and printed is the same. Rows and columns are
// numbered from 1, as the cells of the report are named.

#include <QColor>
#include <QString>

#include <vector>

namespace vm {

struct ReportCell {
    QString text;
    QColor fill;                 // invalid: no fill
    QColor ink = Qt::black;
    bool bold = false;           // labels, column titles and section titles
    bool italic = false;         // values that were never read (kept in black-and-white print)
    bool boxed = false;          // thin solid border on all four sides
};

// A merged area, named by its top-left cell.
struct ReportSpan {
    int row = 1;
    int column = 1;
    int rows = 1;
    int columns = 1;
};

class ReportSheet {
public:
    static constexpr int kColumns = 12;
    // Column widths and margins in twips (1/1440 inch).
    static constexpr int kMarginColumnWidth = 283;
    static constexpr int kColumnWidth = 992;
    static constexpr int kRowHeight = 255;
    static constexpr int kPrintMargin = 198;

    static int ColumnWidth(int column);
    static int TotalWidth();

    int RowCount() const { return static_cast<int>(cells_.size()) / kColumns; }
    // Grows (never shrinks) the sheet to hold the row.
    void EnsureRows(int rows);
    void Clear();

    // The cell, growing the sheet as needed.
    ReportCell& Cell(int row, int column);
    // The cell, or null outside the sheet.
    const ReportCell* CellAt(int row, int column) const;

    // Merges an area; the top-left cell carries the text and the style of the whole area.
    void Merge(int row, int column, int rows, int columns);
    const std::vector<ReportSpan>& Spans() const { return spans_; }
    // The span whose top-left cell this is, or null.
    const ReportSpan* SpanAt(int row, int column) const;
    // True for a cell inside a span other than its top-left one.
    bool IsCovered(int row, int column) const;

private:
    size_t Index(int row, int column) const
    {
        return static_cast<size_t>(row - 1) * kColumns + static_cast<size_t>(column - 1);
    }

    std::vector<ReportCell> cells_;
    std::vector<int> spanOf_;  // per cell: index into spans_, or -1
    std::vector<ReportSpan> spans_;
};

}  // namespace vm
