#pragma once
// The report as one HTML table with the sheet's column widths, spans, colours and borders.
// UTF-8; every text is escaped, kept as text, and its blanks are kept. The look is given twice:
// as CSS for browsers and as the attributes and tags spreadsheet importers read.

#include <QByteArray>

namespace vm {

class ReportSheet;

QByteArray ReportHtml(const ReportSheet& sheet);

}  // namespace vm
