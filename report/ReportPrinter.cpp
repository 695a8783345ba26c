#include "report/ReportPrinter.h"

#include "report/ReportSheet.h"

#include <QAtomicInt>
#include <QFont>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>

#include <cmath>

namespace vm {

namespace {

QAtomicInt printJobs;

constexpr double kTwipsPerInch = 1440.0;
constexpr double kTwipsPerPoint = 20.0;
constexpr int kFooterRows = 2;  // a blank line, then the page text

}  // namespace

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

int ReportPrinter::RowsPerPage(double pageHeightTwips)
{
    const int rows = static_cast<int>(std::floor(pageHeightTwips / ReportSheet::kRowHeight)) - kFooterRows;
    return std::max(1, rows);
}

int ReportPrinter::PageCount(double pageHeightTwips) const
{
    const int perPage = RowsPerPage(pageHeightTwips);
    return std::max(1, (sheet_.RowCount() + perPage - 1) / perPage);
}

bool ReportPrinter::Print(QPagedPaintDevice& device) const
{
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    const double dpi = device.logicalDpiY();
    const QRectF page(0, 0, device.width(), device.height());
    const double pageWidthTwips = page.width() * kTwipsPerInch / device.logicalDpiX();
    // Sheet twips to device pixels; a page narrower than the sheet scales it down.
    const double fit = std::min(1.0, pageWidthTwips / ReportSheet::TotalWidth());
    const double scale = fit * dpi / kTwipsPerInch;
    const double heightTwips = page.height() / scale;
    const int perPage = RowsPerPage(heightTwips);
    const int pages = PageCount(heightTwips);
    for (int p = 0; p < pages; ++p) {
        if (p > 0 && !device.newPage()) {
            painter.end();
            return false;
        }
        const int first = p * perPage + 1;
        PaintPage(painter, page, scale, first, std::min(sheet_.RowCount(), first + perPage - 1), p + 1, pages);
    }
    return painter.end();
}

void ReportPrinter::PaintPage(QPainter& painter, const QRectF& page, double scale, int firstRow, int lastRow,
                              int pageNo, int pageCount) const
{
    const double rowHeight = ReportSheet::kRowHeight * scale;
    const double pad = 40 * scale;
    QFont base(QStringLiteral("Arial"));
    // Point sizes follow the device's resolution; the fit factor shrinks them with the columns.
    base.setPointSizeF(10.0 * scale * kTwipsPerInch / painter.device()->logicalDpiY());
    const QPen border(Qt::black, std::max(1.0, 15 * scale));

    for (int r = firstRow; r <= lastRow; ++r) {
        const double y = (r - firstRow) * rowHeight;
        double x = 0;
        for (int c = 1; c <= ReportSheet::kColumns; x += ReportSheet::ColumnWidth(c) * scale, ++c) {
            if (sheet_.IsCovered(r, c))
                continue;
            int width = ReportSheet::ColumnWidth(c);
            if (const ReportSpan* span = sheet_.SpanAt(r, c))
                for (int k = c + 1; k < c + span->columns; ++k)
                    width += ReportSheet::ColumnWidth(k);
            const QRectF rect(x, y, width * scale, rowHeight);
            const ReportCell& cell = *sheet_.CellAt(r, c);
            if (cell.fill.isValid())
                painter.fillRect(rect, cell.fill);
            if (!cell.text.isEmpty()) {
                QFont font = base;
                font.setBold(cell.bold);
                font.setItalic(cell.italic);
                painter.setFont(font);
                painter.setPen(cell.ink);
                painter.save();
                painter.setClipRect(rect);
                painter.drawText(rect.adjusted(pad, 0, -pad, 0), Qt::AlignLeft | Qt::AlignVCenter, cell.text);
                painter.restore();
            }
            if (cell.boxed) {
                painter.setPen(border);
                painter.setBrush(Qt::NoBrush);
                painter.drawRect(rect);
            }
        }
    }
    painter.setFont(base);
    painter.setPen(Qt::black);
    const QRectF footer(0, page.height() - rowHeight, page.width(), rowHeight);
    painter.drawText(footer, Qt::AlignHCenter | Qt::AlignVCenter, FooterText(pageNo, pageCount));
}

}  // namespace vm
