#pragma once
// Helpers shared by the program's report-style lists (the main window's inverter list and fault
// history, the parameter editor's list): their look and their column widths kept in the settings.

#include <QString>

class QSettings;
class QTableView;

namespace vm {

// Report-style list: whole rows, single selection shown even without focus, grid lines.
void SetReportStyle(QTableView& view);

// A column width from the settings; a missing or non-positive value gives the default, and
// the result is at least minWidth.
int StoredColumnWidth(QSettings& settings, const QString& key, int defaultWidth, int minWidth = 0);

// The width a cell needs for the view's row icon beside `digits` digits in the view's font.
int IconAndDigitsWidth(const QTableView& view, int digits);

}  // namespace vm
