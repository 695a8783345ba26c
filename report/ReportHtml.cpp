#include "report/ReportHtml.h"

#include "report/ReportSheet.h"

#include <QStringList>

namespace vm {

namespace {

// Twips to CSS pixels at 96 per inch.
int Pixels(int twips)
{
    return (twips * 96 + 720) / 1440;
}

// Escaped, with every blank after another as a no-break space: spreadsheet importers fold
// runs of blanks even under white-space: pre.
QString CellText(const QString& text)
{
    QString out = text.toHtmlEscaped();
    for (qsizetype i = out.size() - 1; i > 0; --i)
        if (out[i] == QLatin1Char(' ') && out[i - 1] == QLatin1Char(' '))
            out.replace(i, 1, QStringLiteral("&nbsp;"));
    return out;
}

QString CellStyle(const ReportCell& cell)
{
    QStringList style;
    if (cell.fill.isValid())
        style << QStringLiteral("background-color:%1").arg(cell.fill.name());
    if (cell.ink != QColor(Qt::black))
        style << QStringLiteral("color:%1").arg(cell.ink.name());
    if (cell.bold)
        style << QStringLiteral("font-weight:bold");
    if (cell.italic)
        style << QStringLiteral("font-style:italic");
    if (cell.boxed)
        style << QStringLiteral("border:1px solid #000000");
    return style.join(QLatin1Char(';'));
}

// Spreadsheet importers read the look from attributes and inline tags rather than from CSS:
// the fill as bgcolor, the typeface and text colour, bold and italics as font, b and i around
// the text.
QString Marked(const ReportCell& cell)
{
    QString text = CellText(cell.text);
    if (text.isEmpty())
        return text;
    if (cell.italic)
        text = QStringLiteral("<i>") + text + QStringLiteral("</i>");
    if (cell.bold)
        text = QStringLiteral("<b>") + text + QStringLiteral("</b>");
    QString font = QStringLiteral("<font face=\"Arial\"");
    if (cell.ink != QColor(Qt::black))
        font += QStringLiteral(" color=\"%1\"").arg(cell.ink.name());
    return font + QLatin1Char('>') + text + QStringLiteral("</font>");
}

}  // namespace

QByteArray ReportHtml(const ReportSheet& sheet)
{
    QString html;
    html += QStringLiteral(
        "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>Parameter Report</title>\n"
        "<style>\ntable { border-collapse: collapse; table-layout: fixed; font-family: Arial, sans-serif; "
        "font-size: 10pt; }\ntd { white-space: pre; overflow: hidden; height: 17px; padding: 0 2px; }\n"
        "</style>\n</head>\n<body>\n");
    html += QStringLiteral("<table width=\"%1\" border=\"0\" cellspacing=\"0\" cellpadding=\"2\">\n")
                .arg(Pixels(ReportSheet::TotalWidth()));
    for (int c = 1; c <= ReportSheet::kColumns; ++c)
        html += QStringLiteral("<col width=\"%1\">\n").arg(Pixels(ReportSheet::ColumnWidth(c)));
    for (int r = 1; r <= sheet.RowCount(); ++r) {
        html += QStringLiteral("<tr>");
        for (int c = 1; c <= ReportSheet::kColumns; ++c) {
            if (sheet.IsCovered(r, c))
                continue;
            const ReportCell& cell = *sheet.CellAt(r, c);
            html += QStringLiteral("<td");
            int columns = 1;
            if (const ReportSpan* span = sheet.SpanAt(r, c)) {
                columns = span->columns;
                if (span->columns > 1)
                    html += QStringLiteral(" colspan=\"%1\"").arg(span->columns);
                if (span->rows > 1)
                    html += QStringLiteral(" rowspan=\"%1\"").arg(span->rows);
            }
            // Importers take the column widths from the cells of the first row.
            if (r == 1) {
                int twips = 0;
                for (int k = c; k < c + columns; ++k)
                    twips += ReportSheet::ColumnWidth(k);
                html += QStringLiteral(" width=\"%1\"").arg(Pixels(twips));
            }
            if (cell.fill.isValid())
                html += QStringLiteral(" bgcolor=\"%1\"").arg(cell.fill.name());
            const QString style = CellStyle(cell);
            if (!style.isEmpty())
                html += QStringLiteral(" style=\"%1\"").arg(style);
            // Text format, so that importers keep "007", "0x0001" or "5.0" as written (Calc's
            // HTML import drops number formats it does not already know, such as "0.0").
            if (!cell.text.isEmpty())
                html += QStringLiteral(" sdnum=\"1033;1033;@\"");
            html += QLatin1Char('>') + Marked(cell) + QStringLiteral("</td>");
        }
        html += QStringLiteral("</tr>\n");
    }
    html += QStringLiteral("</table>\n</body>\n</html>\n");
    return html.toUtf8();
}

}  // namespace vm
