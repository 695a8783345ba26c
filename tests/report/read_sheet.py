#!/usr/bin/env python3
"""Reads the first sheet of an .xls (xlrd) or .xlsx (openpyxl) file and prints it as JSON:
every non-empty cell with its value, type ("text" or "number") and number format, the merged
areas, the style of each cell (fill and text colours as RGB hex, bold, italic, whether it has a
left border), the column widths in characters and, for .xlsx, the page setup.
Exit 3 when the reader module is missing."""
import json
import sys


def rgb(t):
    return "%02x%02x%02x" % tuple(t[:3]) if t else None


def read_xls(path):
    try:
        import xlrd
    except ImportError:
        sys.exit(3)
    book = xlrd.open_workbook(path, formatting_info=True)
    sh = book.sheet_by_index(0)
    cells, styles = [], {}
    for r in range(sh.nrows):
        for c in range(sh.ncols):
            cell = sh.cell(r, c)
            if cell.ctype == xlrd.XL_CELL_EMPTY:
                continue
            xf = book.xf_list[sh.cell_xf_index(r, c)]
            if cell.ctype != xlrd.XL_CELL_BLANK:
                kind = {xlrd.XL_CELL_TEXT: "text", xlrd.XL_CELL_NUMBER: "number"}.get(cell.ctype, "other")
                fmt = book.format_map[xf.format_key].format_str
                cells.append([r + 1, c + 1, cell.value, kind, fmt])
            font = book.font_list[xf.font_index]
            fill = None
            if xf.background.fill_pattern == 1:
                fill = rgb(book.colour_map.get(xf.background.pattern_colour_index))
            styles["%d,%d" % (r + 1, c + 1)] = {
                "fill": fill,
                "ink": rgb(book.colour_map.get(font.colour_index)) or "000000",
                "bold": font.bold == 1 or font.weight >= 700,
                "italic": bool(font.italic),
                "border": xf.border.left_line_style != 0,
            }
    merged = [[rlo + 1, clo + 1, rhi - rlo, chi - clo] for rlo, rhi, clo, chi in sh.merged_cells]
    widths = [sh.colinfo_map[c].width / 256.0 if c in sh.colinfo_map else None for c in range(12)]
    titles = None
    for name in book.name_obj_list:
        if name.name == "Print_Titles":
            area = name.area2d()
            titles = "%d:%d" % (area[1] + 1, area[2])
    return {"rows": sh.nrows, "cells": cells, "merged": merged, "styles": styles, "name": sh.name,
            "widths": widths, "titles": titles}


def read_xlsx(path):
    try:
        import openpyxl
        from openpyxl.utils import get_column_letter
    except ImportError:
        sys.exit(3)
    book = openpyxl.load_workbook(path)
    ws = book.worksheets[0]
    cells, styles = [], {}
    for row in ws.iter_rows():
        for cell in row:
            if cell.value is not None:
                kind = {"s": "text", "n": "number"}.get(cell.data_type, "other")
                cells.append([cell.row, cell.column, cell.value, kind, cell.number_format])
            if not cell.has_style:
                continue
            fill = None
            if cell.fill is not None and cell.fill.fill_type == "solid":
                fill = cell.fill.fgColor.rgb[-6:].lower()
            ink = "000000"
            if cell.font.color is not None and isinstance(cell.font.color.rgb, str):
                ink = cell.font.color.rgb[-6:].lower()
            styles["%d,%d" % (cell.row, cell.column)] = {
                "fill": fill,
                "ink": ink,
                "bold": bool(cell.font.b),
                "italic": bool(cell.font.i),
                "border": cell.border.left.style is not None,
            }
    merged = [[m.min_row, m.min_col, m.max_row - m.min_row + 1, m.max_col - m.min_col + 1]
              for m in ws.merged_cells.ranges]
    widths = []
    for c in range(1, 13):
        width = None
        for dim in ws.column_dimensions.values():
            if dim.min is not None and dim.min <= c <= dim.max and dim.customWidth:
                width = dim.width
        widths.append(width)
    setup = {
        "orientation": ws.page_setup.orientation,
        "paper": ws.page_setup.paperSize,
        "fitToPage": bool(ws.sheet_properties.pageSetUpPr and ws.sheet_properties.pageSetUpPr.fitToPage),
        "fitToWidth": ws.page_setup.fitToWidth,
        "fitToHeight": ws.page_setup.fitToHeight,
        "left": ws.page_margins.left,
        "rowHeight": ws.sheet_format.defaultRowHeight,
    }
    titles = ws.print_title_rows
    return {"rows": ws.max_row, "cells": cells, "merged": merged, "styles": styles, "name": ws.title,
            "widths": widths, "titles": titles, "setup": setup}


path = sys.argv[1]
result = read_xlsx(path) if path.endswith(".xlsx") else read_xls(path)
json.dump(result, sys.stdout, ensure_ascii=False)
