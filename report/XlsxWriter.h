#pragma once
// Writes a report sheet as an Office Open XML workbook through libxlsxwriter, with the same
// widths, merged areas, fills, fonts, borders, numbers and page setup as the Excel 97 file.

#include "base/Result.h"

#include <QString>

namespace vm {

class ReportSheet;

class XlsxWriter {
public:
    static constexpr int kMaxRows = 1048576;
    // Writes the file at `path` (replacing it); a failure's code is the library's, or EFBIG for
    // too many rows.
    static Result<void> Write(const ReportSheet& sheet, const QString& path);
};

}  // namespace vm
