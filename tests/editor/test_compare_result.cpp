// The compare result list as it is painted: grid lines, a selected row that still shows its
// text, and names shown whole.

#include "editor/CompareResultDlg.h"

#include <QImage>
#include <QSet>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace vm {
namespace {

CompareRow Row(const char* group, int code, const char* name)
{
    CompareRow r;
    r.group = group;
    r.code = code;
    r.name = name;
    r.driveText = "7.7";
    r.fileText = "10.0";
    r.unit = "sec";
    return r;
}

// The colours inside a cell, a few pixels in from its edges (the grid lines).
QSet<QRgb> CellColours(QTreeWidget& list, int row, int column)
{
    const QImage image = list.viewport()->grab().toImage();
    const QRect cell = list.visualRect(list.model()->index(row, column)).adjusted(3, 2, -3, -2);
    QSet<QRgb> colours;
    for (int y = cell.top(); y <= cell.bottom(); ++y)
        for (int x = cell.left(); x <= cell.right(); ++x)
            colours.insert(image.pixel(x, y));
    return colours;
}

TEST(CompareResult, theSelectedRowAndTheOthersShowTheirTextBetweenGridLines)
{
    CCompareResultDlg dlg({Row("Drive group", 2, "Dec. Time"), Row("Drive group", 1, "Acc. Time")});
    dlg.show();
    QTreeWidget& list = *dlg.List();
    ASSERT_EQ(list.currentItem(), list.topLevelItem(0));
    ASSERT_TRUE(list.topLevelItem(0)->isSelected());
    for (int row : {0, 1})
        for (int column : {0, 2, 3}) {
            // A cell painted in one colour shows no text: the selected row once lost its own.
            EXPECT_GT(CellColours(list, row, column).size(), 1) << "row " << row << " column " << column;
        }
    // The grid: a line below each row, of one colour across the row's cells.
    const QImage image = list.viewport()->grab().toImage();
    const QRect first = list.visualRect(list.model()->index(1, 2));
    const QRgb line = image.pixel(first.center().x(), first.bottom());
    EXPECT_NE(line, image.pixel(first.center().x(), first.center().y() - first.height() / 2 + 2));
}

TEST(CompareResult, groupAndParameterNamesAreShownWhole)
{
    const char* group = "A very long group name for the compare result";
    const char* name = "An even longer parameter name that no fixed width would hold";
    CCompareResultDlg dlg({Row(group, 1, name)});
    QTreeWidget& list = *dlg.List();
    const QFontMetrics fm(list.font());
    // Wider than the columns' given widths, so that the check below can fail.
    ASSERT_GT(fm.horizontalAdvance(QString::fromLatin1(group)), 80 * 3 / 2);
    ASSERT_GT(fm.horizontalAdvance(QString::fromLatin1(name)), 130 * 3 / 2);
    EXPECT_GE(list.columnWidth(0), fm.horizontalAdvance(QString::fromLatin1(group)));
    EXPECT_GE(list.columnWidth(2), fm.horizontalAdvance(QString::fromLatin1(name)));
}

}  // namespace
}  // namespace vm
