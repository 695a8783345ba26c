#pragma once
// Lays a report sheet out on pages and paints it: the sheet's column widths (scaled down only
// when a page is too narrow), fixed row heights, the print margins, and the page footer
// "N / M Page" under each page. The printer, the print preview and the PDF export use it alike.

#include <QRectF>
#include <QString>

class QPagedPaintDevice;
class QPainter;
class QPrinter;

namespace vm {

class ReportSheet;

class ReportPrinter {
public:
    explicit ReportPrinter(const ReportSheet& sheet) : sheet_(sheet) {}

    // "VRMN Report%d", numbered from 0 across every report window of the run.
    static QString NextJobName();
    // "1 / 3 Page"
    static QString FooterText(int page, int pageCount);

    // Sets the margins (198 twips on every side) on the device's page layout.
    static void SetMargins(QPagedPaintDevice& device);

    // Rows of the sheet on one page of the given height in twips.
    static int RowsPerPage(double pageHeightTwips);
    int PageCount(double pageHeightTwips) const;

    // Paints every page; false when the device cannot be painted on.
    bool Print(QPagedPaintDevice& device) const;

private:
    void PaintPage(QPainter& painter, const QRectF& page, double scale, int firstRow, int lastRow, int pageNo,
                   int pageCount) const;

    const ReportSheet& sheet_;
};

}  // namespace vm
