#include "report/ReportPrinter.h"

#include "report/ReportSheet.h"

#include <QAtomicInt>
#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace vm {

namespace {

QAtomicInt printJobs;

constexpr double kTwipsPerInch = 1440.0;
constexpr double kTwipsPerPoint = 20.0;
constexpr int kFooterRows = 2;         // a blank line, then the page text
constexpr double kPadTwips = 40;       // between a cell's border and its text
constexpr double kSmallestFont = 0.8;  // a text is shrunk this far before it is wrapped

// How one cell's text goes on paper: its font, and wrapped onto lines when even the smaller
// font does not fit.
struct TextPlan {
    QFont font;
    bool wrap = false;
    int lines = 1;
};

QTextOption WrapOption()
{
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    return option;
}

// Lays the text out in lines of the given width; returns the line count.
int WrapLines(QTextLayout& layout, double width)
{
    layout.setTextOption(WrapOption());
    layout.beginLayout();
    int lines = 0;
    double y = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, y));
        y += line.height();
        ++lines;
    }
    layout.endLayout();
    return std::max(1, lines);
}

}  // namespace

struct ReportPrinter::Layout {
    double scale = 1;      // sheet twips to device pixels
    double rowHeight = 1;  // one line of text
    double pad = 0;
    double pageHeight = 0;  // above the footer
    QRectF page;
    QFont base;
    QPaintDevice* device = nullptr;
    std::vector<double> heights;  // per row, index 0 is row 1

    double Width(const ReportSheet& sheet, int row, int column) const
    {
        int twips = ReportSheet::ColumnWidth(column);
        if (const ReportSpan* span = sheet.SpanAt(row, column))
            for (int k = column + 1; k < column + span->columns; ++k)
                twips += ReportSheet::ColumnWidth(k);
        return twips * scale;
    }

    TextPlan Plan(const ReportCell& cell, double width) const
    {
        TextPlan plan;
        plan.font = base;
        plan.font.setBold(cell.bold);
        plan.font.setItalic(cell.italic);
        const double room = width - 2 * pad;
        const double natural = QFontMetricsF(plan.font, device).horizontalAdvance(cell.text);
        if (natural <= room)
            return plan;
        if (natural * kSmallestFont <= room) {
            plan.font.setPointSizeF(base.pointSizeF() * room / natural);
            return plan;
        }
        plan.wrap = true;
        QTextLayout layout(cell.text, plan.font, device);
        plan.lines = WrapLines(layout, room);
        return plan;
    }
};

QString ReportPrinter::NextJobName()
{
    return QStringLiteral("VRMN Report%1").arg(printJobs.fetchAndAddRelaxed(1));
}

QString ReportPrinter::FooterText(int page, int pageCount)
{
    return QStringLiteral("%1 / %2 Page").arg(page).arg(pageCount);
}

void ReportPrinter::SetMargins(QPagedPaintDevice& device)
{
    const double m = ReportSheet::kPrintMargin / kTwipsPerPoint;
    device.setPageMargins(QMarginsF(m, m, m, m), QPageLayout::Point);
}

ReportPrinter::Layout ReportPrinter::LayOut(QPaintDevice& device) const
{
    Layout l;
    l.device = &device;
    l.page = QRectF(0, 0, device.width(), device.height());
    const double pageWidthTwips = l.page.width() * kTwipsPerInch / device.logicalDpiX();
    // A page narrower than the sheet scales it down, fonts and all.
    const double fit = std::min(1.0, pageWidthTwips / ReportSheet::TotalWidth());
    l.scale = fit * device.logicalDpiY() / kTwipsPerInch;
    l.rowHeight = ReportSheet::kRowHeight * l.scale;
    l.pad = kPadTwips * l.scale;
    l.pageHeight = l.page.height() - kFooterRows * l.rowHeight;
    l.base = QFont(QStringLiteral("Arial"));
    l.base.setPointSizeF(10.0 * fit);
    l.heights.assign(static_cast<size_t>(sheet_.RowCount()), l.rowHeight);
    for (int r = 1; r <= sheet_.RowCount(); ++r) {
        int lines = 1;
        for (int c = 1; c <= ReportSheet::kColumns; ++c) {
            const ReportCell& cell = *sheet_.CellAt(r, c);
            if (!sheet_.IsCovered(r, c) && !cell.text.isEmpty())
                lines = std::max(lines, l.Plan(cell, l.Width(sheet_, r, c)).lines);
        }
        l.heights[static_cast<size_t>(r - 1)] = lines * l.rowHeight;
    }
    return l;
}

std::vector<std::vector<int>> ReportPrinter::Paginate(const std::vector<double>& rowHeights,
                                                      double pageHeight) const
{
    auto height = [&rowHeights](int row) { return rowHeights[static_cast<size_t>(row - 1)]; };
    const int rows = std::min(sheet_.RowCount(), static_cast<int>(rowHeights.size()));
    std::vector<std::vector<int>> pages;
    int r = 1;
    while (r <= rows) {
        std::vector<int> page;
        double used = 0;
        // A section continued from the page before gets its title and column titles again.
        if (const ReportSection* s = sheet_.SectionOf(r); s && r > s->titleRow) {
            for (int t = s->titleRow; t < std::min(r, s->titleRow + 2); ++t) {
                page.push_back(t);
                used += height(t);
            }
        }
        const size_t repeated = page.size();
        while (r <= rows && (page.size() == repeated || used + height(r) <= pageHeight)) {
            page.push_back(r);
            used += height(r++);
        }
        // Titles are not left alone at the foot of a page when their rows follow on the next.
        while (r <= rows && page.size() > repeated + 1) {
            const int last = page.back();
            const ReportSection* s = sheet_.SectionOf(last);
            if (!s || last > s->titleRow + 1 || s->lastRow <= last)
                break;
            page.pop_back();
            r = last;
        }
        pages.push_back(std::move(page));
    }
    if (pages.empty())
        pages.emplace_back();
    return pages;
}

int ReportPrinter::PageCount(QPagedPaintDevice& device) const
{
    const Layout l = LayOut(device);
    return static_cast<int>(Paginate(l.heights, l.pageHeight).size());
}

Result<void> ReportPrinter::Print(QPagedPaintDevice& device) const
{
    const Failure undrawn{-1, "The page could not be drawn."};
    QPainter painter;
    if (!painter.begin(&device))
        return undrawn;
    const Layout l = LayOut(device);
    const auto pages = Paginate(l.heights, l.pageHeight);
    const int count = static_cast<int>(pages.size());
    for (int p = 0; p < count; ++p) {
        if (p > 0 && !device.newPage()) {
            painter.end();
            return undrawn;
        }
        double y = 0;
        for (int row : pages[static_cast<size_t>(p)]) {
            PaintRow(painter, l, row, y);
            y += l.heights[static_cast<size_t>(row - 1)];
        }
        painter.setFont(l.base);
        painter.setPen(Qt::black);
        const QRectF footer(0, l.page.height() - l.rowHeight, l.page.width(), l.rowHeight);
        painter.drawText(footer, Qt::AlignHCenter | Qt::AlignVCenter, FooterText(p + 1, count));
    }
    if (!painter.end())
        return undrawn;
    return {};
}

void ReportPrinter::PaintRow(QPainter& painter, const Layout& l, int row, double y) const
{
    const QPen border(Qt::black, std::max(1.0, 15 * l.scale));
    const double height = l.heights[static_cast<size_t>(row - 1)];
    double x = 0;
    for (int c = 1; c <= ReportSheet::kColumns; x += ReportSheet::ColumnWidth(c) * l.scale, ++c) {
        if (sheet_.IsCovered(row, c))
            continue;
        const QRectF rect(x, y, l.Width(sheet_, row, c), height);
        const ReportCell& cell = *sheet_.CellAt(row, c);
        if (cell.fill.isValid())
            painter.fillRect(rect, cell.fill);
        if (!cell.text.isEmpty()) {
            const TextPlan plan = l.Plan(cell, rect.width());
            const QRectF inner = rect.adjusted(l.pad, 0, -l.pad, 0);
            painter.setFont(plan.font);
            painter.setPen(cell.ink);
            if (!plan.wrap) {
                painter.drawText(inner, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, cell.text);
            } else {
                QTextLayout layout(cell.text, plan.font, l.device);
                WrapLines(layout, inner.width());
                const double top = inner.top() + (inner.height() - layout.boundingRect().height()) / 2;
                layout.draw(&painter, QPointF(inner.left(), top));
            }
        }
        if (cell.boxed) {
            painter.setPen(border);
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(rect);
        }
    }
}

}  // namespace vm
