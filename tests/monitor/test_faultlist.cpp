// The "Fault History" page: rows against the history they show, column widths, unreadable files.
#include "monitor/FaultListView.h"
#include "paramdb/MessageSink.h"
#include "platform/Settings.h"
#include "tests/platform/QStringPrinter.h"

#include <gtest/gtest.h>
#include <QAbstractItemDelegate>
#include <QAbstractItemModelTester>
#include <QFile>
#include <QSettings>
#include <QStyleOptionViewItem>
#include <QTemporaryDir>

using namespace vm;

namespace {

StationRecord Faulted(int id, int fault)
{
    StationRecord s;
    s.station = id;
    s.present = s.connected = 1;
    s.model = 4;
    s.capacity = 4;
    s.voltage = 1;
    s.version = 0x0015;
    s.fault = fault;
    return s;
}

QStringList ModelRow(const CFaultListModel& model, int row)
{
    QStringList cells;
    for (int c = 0; c < model.columnCount(); ++c)
        cells << model.CellText(row, c);
    return cells;
}

QByteArray Read(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

class FaultListTest : public ::testing::Test {
protected:
    FaultListTest() : path(dir.filePath("history.log")), history(&messages), view(history)
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath("config"));
    }

    QTemporaryDir dir;
    QString path;
    MessageLog messages;
    CHistory history;
    CFaultListView view;
};

}  // namespace

TEST_F(FaultListTest, rowsFollowTheHistoryNewestFirstThroughTheTrimAt200)
{
    // Fails the test on any model signal that does not match the rows' real changes.
    QAbstractItemModelTester tester(&view.Model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    ASSERT_TRUE(history.Open(path));
    EXPECT_EQ(view.Model().rowCount(), 0);
    EXPECT_EQ(view.Model().headerData(4, Qt::Horizontal, Qt::DisplayRole).toString(), "Device Name");
    EXPECT_EQ(view.Model().headerData(7, Qt::Horizontal, Qt::DisplayRole).toString(), "Fault");

    history.AddFault(Faulted(3, 0x01), "Pump");
    history.AddFault(Faulted(9, 0x02), QString());
    ASSERT_EQ(view.Model().rowCount(), 2);
    EXPECT_EQ(view.Model().CellText(0, 0), "1");
    EXPECT_EQ(view.Model().CellText(0, 3), "9");
    EXPECT_EQ(view.Model().CellText(0, 4), "");
    EXPECT_EQ(view.Model().CellText(1, 0), "2");
    EXPECT_EQ(view.Model().CellText(1, 3), "3");
    EXPECT_EQ(view.Model().CellText(1, 4), "Pump");
    EXPECT_EQ(view.Model().CellText(1, 5), "QM-A20");
    EXPECT_EQ(view.currentIndex().row(), 0);  // the newest is the selected row

    for (int i = 0; i < 199; ++i)
        history.AddFault(Faulted(100 + i % 100, 0x01), QString());
    ASSERT_EQ(view.Model().rowCount(), CHistory::kMaxRecords);
    EXPECT_EQ(view.History().Get(199).station, 9);  // station 3's record went with the 201st
    for (int r = 0; r < view.Model().rowCount(); ++r)
        ASSERT_EQ(ModelRow(view.Model(), r), view.History().RowTexts(r)) << "row " << r;
    EXPECT_EQ(view.currentIndex().row(), 0);

    // The file carries every added record already.
    CHistory reread;
    ASSERT_TRUE(reread.Open(path));
    EXPECT_EQ(reread.Records(), view.History().Records());
}

TEST_F(FaultListTest, listFollowsTheHistoryWhenItIsReplacedOrErased)
{
    history.AddFault(Faulted(3, 0x01), "Pump");
    EXPECT_EQ(view.Model().rowCount(), 1);
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("not a fault history at all");
    }
    ASSERT_TRUE(history.Open(path));  // set aside; the record in memory goes to the fresh file
    EXPECT_EQ(view.Model().rowCount(), 1);
    history.Erase();
    EXPECT_EQ(view.Model().rowCount(), 0);
    EXPECT_EQ(Read(path), QByteArray(18, '\0'));
}

TEST_F(FaultListTest, columnWidthsComeFromTheSettingsAndGoBack)
{
    {
        QSettings s(kCompanyKey, kApplicationKey);
        s.setValue("Main/FaultCol 4", 220);
        s.setValue("Main/FaultCol 7", 0);  // would hide the column: the default stands
        view.LoadColumnWidths(s);
    }
    EXPECT_GT(view.columnWidth(0), 40);  // the stored default leaves no room for "200"
    EXPECT_EQ(view.columnWidth(4), 220);
    EXPECT_EQ(view.columnWidth(7), 150);
    view.setColumnWidth(2, 95);
    {
        QSettings s(kCompanyKey, kApplicationKey);
        view.SaveColumnWidths(s);
    }
    QSettings s(kCompanyKey, kApplicationKey);
    EXPECT_EQ(s.value("Main/FaultCol 2").toInt(), 95);
    EXPECT_EQ(s.value("Main/FaultCol 4").toInt(), 220);
    EXPECT_EQ(s.value("Main/FaultCol 7").toInt(), 150);
}

TEST_F(FaultListTest, numberColumnShowsItsIconAndThreeDigitsAtAnyStoredWidth)
{
    ASSERT_TRUE(history.Open(path));
    for (int i = 0; i < CHistory::kMaxRecords; ++i)
        history.AddFault(Faulted(1, 0x01), QString());
    ASSERT_EQ(view.Model().CellText(199, 0), "200");
    // What the list's own delegate asks for that cell, "200" beside the fault icon.
    QStyleOptionViewItem option;
    option.initFrom(&view);
    option.font = view.font();
    option.fontMetrics = view.fontMetrics();
    option.decorationSize = view.iconSize();
    const int needed = view.itemDelegate()->sizeHint(option, view.Model().index(199, 0)).width();
    for (int stored : {40, 1, 300}) {
        QSettings s(kCompanyKey, kApplicationKey);
        s.setValue("Main/FaultCol 0", stored);
        view.LoadColumnWidths(s);
        EXPECT_GE(view.columnWidth(0), needed) << stored;
    }
    EXPECT_EQ(view.columnWidth(0), 300);  // a wider stored width stands
}
