#pragma once
// Saving a report sheet to a file: the formats, how a chosen name and file-dialog filter become
// a path and a format, and the save itself, which writes to a temporary file in the target's
// folder and renames it into place, so a failure leaves any old file as it was. A symbolic link
// is written through to its target, and a replaced file keeps its permissions.

#include "base/Result.h"

#include <QString>

namespace vm {

class ReportSheet;

enum class ReportFormat { Xls, Html, Xlsx, Pdf };

struct ReportExportTarget {
    QString path;
    ReportFormat format = ReportFormat::Xls;
};

class ReportExport {
public:
    // The file dialog's filters, in filter-index order 1, 2, 3.
    static QString Filters();
    static QString FilterName(int index);
    // The stored "ReportFile Filter Index": 1 Excel 97, 2 HTML, 3 Excel workbook; anything else is 1.
    static int ValidFilterIndex(int stored);
    // A name without extension gets the filter's. A typed extension is kept; when it is one of
    // ours (.xls, .htm, .html, .xlsx, .pdf, in any case) it decides the format, otherwise the
    // filter does.
    static ReportExportTarget Resolve(const QString& chosen, int filterIndex);

    // A failure's text names the file and says why, for the user; its code is the errno or the
    // format's own.
    static Result<void> Save(const ReportSheet& sheet, const ReportExportTarget& target);
};

}  // namespace vm
