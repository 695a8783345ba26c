#pragma once
// Lays a report sheet out on pages and paints it: the sheet's column widths (scaled down only
// when a page is too narrow), rows as tall as their texts need (a text too wide for its cell is
// set a little smaller, or wrapped onto more lines, never cut), the print margins, the section
// and column titles repeated at the top of every page a section continues on, and the page
// footer "N / M Page" under each page. The printer, the print preview and the PDF export use it
// alike.

#include "base/Result.h"

#include <QRectF>
#include <QString>

#include <vector>

class QPagedPaintDevice;
class QPainter;
class QPaintDevice;

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

    // The sheet rows each page prints, repeated titles first, for rows of the given heights
    // (index 0 is row 1) on pages of the given height, in any one unit.
    std::vector<std::vector<int>> Paginate(const std::vector<double>& rowHeights, double pageHeight) const;

    // Pages the sheet takes on the device, laid out as Print lays it out.
    int PageCount(QPagedPaintDevice& device) const;

    // Paints every page; fails when the device cannot be painted on.
    Result<void> Print(QPagedPaintDevice& device) const;

private:
    struct Layout;
    Layout LayOut(QPaintDevice& device) const;
    void PaintRow(QPainter& painter, const Layout& layout, int row, double y) const;

    const ReportSheet& sheet_;
};

}  // namespace vm
