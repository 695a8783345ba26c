#pragma once
// The report as one HTML table with the sheet's column widths, spans, colours and borders.
// UTF-8; every text is escaped and its blanks are kept.

#include <QByteArray>

namespace vm {

class ReportSheet;

QByteArray ReportHtml(const ReportSheet& sheet);

}  // namespace vm
