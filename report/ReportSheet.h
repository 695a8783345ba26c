#pragma once
// The parameter report as a plain sheet of 12 columns: texts, spans, fill and text colours,
// emphasis and cell borders. The window's table model, the exporters and the printer all read
// this one sheet, so what is shown, saved and printed is the same. Rows and columns are
// numbered from 1, as the cells of the report are named.

#include <QColor>
#include <QString>

#include <optional>
#include <vector>

namespace vm {

struct ReportCell {
    QString text;
    QColor fill;  // invalid: no fill
    QColor ink = Qt::black;
    bool bold = false;     // labels, column titles and section titles
    bool italic = false;   // values that were never read (kept in black-and-white print)
    bool boxed = false;    // thin solid border on all four sides
    bool numeric = false;  // address, value or default: a number when its text is a plain one
};

// A cell's text as a spreadsheet number: its value and the decimals the text shows.
struct ReportNumber {
    double value = 0;
    int decimals = 0;
};

// The number of a numeric cell whose text is a plain decimal ("12", "-0.50"); nothing for other
// texts ("0x1F", "007", "On", "1.2.3"), which stay text so that they read as the report shows them.
std::optional<ReportNumber> NumberOf(const ReportCell& cell);

// A section of the report: its title row, its column-title row below it and its last row.
struct ReportSection {
    int titleRow = 0;
    int lastRow = 0;
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

    // Sections are listed so that print can repeat their titles on every page.
    void AddSection(const ReportSection& section) { sections_.push_back(section); }
    const std::vector<ReportSection>& Sections() const { return sections_; }
    // The section holding the row, or null.
    const ReportSection* SectionOf(int row) const;

private:
    size_t Index(int row, int column) const
    {
        return static_cast<size_t>(row - 1) * kColumns + static_cast<size_t>(column - 1);
    }

    std::vector<ReportCell> cells_;
    std::vector<int> spanOf_;  // per cell: index into spans_, or -1
    std::vector<ReportSpan> spans_;
    std::vector<ReportSection> sections_;
};

}  // namespace vm
