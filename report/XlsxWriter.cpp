#include "report/XlsxWriter.h"

#include "report/ReportSheet.h"

#include <xlsxwriter.h>

#include <cerrno>
#include <map>
#include <tuple>

namespace vm {

namespace {

using FormatKey = std::tuple<bool, bool, QRgb, QRgb, bool, bool, int>;

lxw_format* FormatFor(lxw_workbook* book, std::map<FormatKey, lxw_format*>& formats, const ReportCell& cell)
{
    const QRgb ink = cell.ink.rgb() & 0xFFFFFF;
    const QRgb fill = cell.fill.isValid() ? (cell.fill.rgb() & 0xFFFFFF) : 0;
    const std::optional<ReportNumber> number = NumberOf(cell);
    const int decimals = number ? number->decimals : -1;
    const FormatKey key{cell.bold, cell.italic, ink, fill, cell.fill.isValid(), cell.boxed, decimals};
    auto it = formats.find(key);
    if (it != formats.end())
        return it->second;
    lxw_format* f = workbook_add_format(book);
    format_set_font_name(f, "Arial");
    format_set_font_size(f, 10);
    format_set_align(f, LXW_ALIGN_LEFT);  // numbers too, as the report shows them
    format_set_align(f, LXW_ALIGN_VERTICAL_CENTER);
    if (cell.bold)
        format_set_bold(f);
    if (cell.italic)
        format_set_italic(f);
    if (ink != 0)
        format_set_font_color(f, static_cast<lxw_color_t>(ink));
    if (cell.fill.isValid()) {
        format_set_pattern(f, LXW_PATTERN_SOLID);
        format_set_bg_color(f, static_cast<lxw_color_t>(fill));
    }
    if (cell.boxed)
        format_set_border(f, LXW_BORDER_THIN);
    if (decimals >= 0) {
        // Shown with the decimals of the report's text.
        const QByteArray pattern =
            decimals > 0 ? QByteArray("0.") + QByteArray(decimals, '0') : QByteArray("0");
        format_set_num_format(f, pattern.constData());
    }
    formats.emplace(key, f);
    return f;
}

// Column width in characters of the default font, as the Excel 97 file has it.
double ColumnChars(int twips)
{
    const double pixels = twips * 96.0 / 1440.0;
    return std::max(0.0, pixels - 5.0) / 7.0;
}

// As the Excel 97 file has it: margins of the printed report, A4 portrait one page wide, the
// page text in the footer, the report's row height, and its titles on every page.
lxw_error SetUpPage(lxw_worksheet* ws, const ReportSheet& sheet)
{
    worksheet_set_default_row(ws, ReportSheet::kRowHeight / 20.0, LXW_FALSE);
    worksheet_set_paper(ws, 9);
    worksheet_set_portrait(ws);
    worksheet_fit_to_pages(ws, 1, 0);
    const double margin = ReportSheet::kPrintMargin / 1440.0;
    worksheet_set_margins(ws, margin, margin, margin, 0.5);
    lxw_error err = worksheet_set_footer(ws, "&C&P / &N Page");
    const auto& sections = sheet.Sections();
    if (err == LXW_NO_ERROR && !sections.empty()) {
        // One section repeats its title and column titles; several share only the column titles.
        const int title = sections.front().titleRow;
        const int first = sections.size() == 1 ? title : title + 1;
        err = worksheet_repeat_rows(ws, static_cast<lxw_row_t>(first - 1), static_cast<lxw_row_t>(title));
    }
    return err;
}

}  // namespace

Result<void> XlsxWriter::Write(const ReportSheet& sheet, const QString& path)
{
    if (sheet.RowCount() > kMaxRows)
        return Failure{EFBIG, "The report has more rows than a sheet holds."};
    const QByteArray name = path.toLocal8Bit();
    lxw_workbook* book = workbook_new(name.constData());
    if (!book)
        return Failure{LXW_ERROR_CREATING_XLSX_FILE, "Cannot create the workbook."};
    lxw_worksheet* ws = workbook_add_worksheet(book, "Parameter Report");
    std::map<FormatKey, lxw_format*> formats;
    lxw_error err = SetUpPage(ws, sheet);
    for (int c = 1; c <= ReportSheet::kColumns && err == LXW_NO_ERROR; ++c)
        err = worksheet_set_column(ws, static_cast<lxw_col_t>(c - 1), static_cast<lxw_col_t>(c - 1),
                                   ColumnChars(ReportSheet::ColumnWidth(c)), nullptr);
    for (const ReportSpan& s : sheet.Spans()) {
        if (err != LXW_NO_ERROR)
            break;
        const ReportCell& cell = *sheet.CellAt(s.row, s.column);
        const QByteArray text = cell.text.toUtf8();
        err = worksheet_merge_range(
            ws, static_cast<lxw_row_t>(s.row - 1), static_cast<lxw_col_t>(s.column - 1),
            static_cast<lxw_row_t>(s.row + s.rows - 2), static_cast<lxw_col_t>(s.column + s.columns - 2),
            text.constData(), FormatFor(book, formats, cell));
        if (const auto number = NumberOf(cell); number && err == LXW_NO_ERROR)
            err = worksheet_write_number(ws, static_cast<lxw_row_t>(s.row - 1),
                                         static_cast<lxw_col_t>(s.column - 1), number->value,
                                         FormatFor(book, formats, cell));
    }
    for (int r = 1; r <= sheet.RowCount() && err == LXW_NO_ERROR; ++r) {
        for (int c = 1; c <= ReportSheet::kColumns && err == LXW_NO_ERROR; ++c) {
            if (sheet.SpanAt(r, c) || sheet.IsCovered(r, c))
                continue;
            const ReportCell& cell = *sheet.CellAt(r, c);
            const bool styled = cell.boxed || cell.fill.isValid();
            if (cell.text.isEmpty() && !styled)
                continue;
            const QByteArray text = cell.text.toUtf8();
            if (const auto number = NumberOf(cell))
                err = worksheet_write_number(ws, static_cast<lxw_row_t>(r - 1), static_cast<lxw_col_t>(c - 1),
                                             number->value, FormatFor(book, formats, cell));
            else
                err = worksheet_write_string(ws, static_cast<lxw_row_t>(r - 1), static_cast<lxw_col_t>(c - 1),
                                             text.constData(), FormatFor(book, formats, cell));
        }
    }
    const lxw_error closed = workbook_close(book);
    if (err == LXW_NO_ERROR)
        err = closed;
    if (err != LXW_NO_ERROR)
        return Failure{err, lxw_strerror(err)};
    return {};
}

}  // namespace vm
