#pragma once
// Writes a report sheet as an Excel 97 workbook: BIFF8 records (shared strings, fonts, cell
// formats with fills, borders and number formats, a custom palette, merged areas, the page setup
// and the repeated title rows) in a compound file holding one "Workbook" stream. Numeric cells
// whose text is a plain decimal are numbers shown with the text's decimals; all else is text.

#include <QByteArray>
#include <QString>

#include <optional>

namespace vm {

class ReportSheet;

class XlsWriter {
public:
    static constexpr int kMaxRows = 65536;
    static constexpr int kMaxTextLength = 32767;
    static constexpr const char* kSheetName = "Parameter Report";

    // The workbook's bytes, or nothing with the reason in `error`.
    static std::optional<QByteArray> Write(const ReportSheet& sheet, QString* error);

    // The workbook stream alone (globals and one worksheet).
    static std::optional<QByteArray> WorkbookStream(const ReportSheet& sheet, QString* error);
    // A version 3 compound file (512-byte sectors) with the stream as "Workbook".
    static std::optional<QByteArray> CompoundFile(const QByteArray& workbook, QString* error);
};

}  // namespace vm
