#pragma once
// Writes a report sheet as an Excel 97 workbook: BIFF8 records (shared strings, fonts, cell
// formats with fills, borders and number formats, a custom palette, merged areas, the page setup
// and the repeated title rows) in a compound file holding one "Workbook" stream. Numeric cells
// whose text is a plain decimal are numbers shown with the text's decimals; all else is text.

#include "base/Result.h"

#include <QByteArray>

namespace vm {

class ReportSheet;

class XlsWriter {
public:
    static constexpr int kMaxRows = 65536;
    static constexpr int kMaxTextLength = 32767;
    static constexpr const char* kSheetName = "Parameter Report";

    // The workbook's bytes; a report too large for the format fails with EFBIG.
    static Result<QByteArray> Write(const ReportSheet& sheet);

    // The workbook stream alone (globals and one worksheet).
    static Result<QByteArray> WorkbookStream(const ReportSheet& sheet);
    // A version 3 compound file (512-byte sectors) with the stream as "Workbook".
    static Result<QByteArray> CompoundFile(const QByteArray& workbook);
};

}  // namespace vm
