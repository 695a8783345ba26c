// The inverter list: rows from station records, partial refresh, sorting, red rows, menus.
#include "monitor/InvListView.h"
#include "tests/platform/QStringPrinter.h"

#include <gtest/gtest.h>
#include <QAbstractItemDelegate>
#include <QSettings>
#include <QSignalSpy>
#include <QStyleOptionViewItem>
#include <QTemporaryDir>

using namespace vm;

namespace {

class InvListTest : public ::testing::Test {
protected:
    InvListTest() : view([this](int id) { return names[id]; }), model(view.Model())
    {
        for (int i = 0; i < kStationRecordCount; ++i)
            records[i].station = i;
    }

    StationRecord& Connect(int id, int model_ = 4, int version = 0x0103)
    {
        StationRecord& r = records[id];
        r.present = 1;
        r.connected = IsSupported(model_) ? 1 : 0;
        r.model = model_;
        r.version = version;
        r.capacity = 2;
        r.timeScale = 10;
        view.RefreshStation(r);
        return r;
    }
    static bool IsSupported(int m) { return m == 4 || m == 5 || m == 8 || m == 9 || m == 10; }

    QStringList Column(int column) const
    {
        QStringList out;
        for (int row = 0; row < model.rowCount(); ++row)
            out << model.CellText(row, column);
        return out;
    }

    std::array<QString, 256> names;
    std::array<StationRecord, kStationRecordCount> records;
    CInvListView view;
    CInvListModel& model;
};

}  // namespace

TEST_F(InvListTest, foundStationsAreSortedByIdAsNumbers)
{
    Connect(10);
    Connect(9);
    Connect(100);
    EXPECT_EQ(Column(kColId), (QStringList{"9", "10", "100"}));
    EXPECT_EQ(view.ListedStations(), (std::vector<int>{9, 10, 100}));
    // The last station refreshed is selected.
    ASSERT_NE(view.SelectedStation(), nullptr);
    EXPECT_EQ(view.SelectedStation()->station, 100);
    EXPECT_EQ(view.SortColumn(), -1);  // the automatic ID sort is not a header click
}

TEST_F(InvListTest, headerClicksSortAscendingThenDescendingAndOtherColumnsStartAscending)
{
    Connect(1, 9);
    Connect(2, 4);
    Connect(3, 10);
    view.SortByColumn(kColModel);
    EXPECT_EQ(Column(kColModel), (QStringList{"QM-A20", "QM-B20X", "QM-F20X"}));
    view.SortByColumn(kColModel);
    EXPECT_FALSE(view.SortAscending());
    EXPECT_EQ(Column(kColModel), (QStringList{"QM-F20X", "QM-B20X", "QM-A20"}));
    view.SortByColumn(kColId);
    EXPECT_TRUE(view.SortAscending());
    EXPECT_EQ(Column(kColId), (QStringList{"1", "2", "3"}));
}

TEST_F(InvListTest, textColumnsSortWithoutRegardToCase)
{
    names[1] = "beta";
    names[2] = "Alpha";
    names[3] = "gamma";
    Connect(1);
    Connect(2);
    Connect(3);
    view.SortByColumn(kColDeviceName);
    EXPECT_EQ(Column(kColDeviceName), (QStringList{"Alpha", "beta", "gamma"}));
}

TEST_F(InvListTest, unsupportedModelIsRedWithItsImageAndIgnoresDoubleClicks)
{
    QSignalSpy info(&view, &CInvListView::informationRequested);
    Connect(4, 3);
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_EQ(model.CellText(0, kColStatus), "Not Support");
    EXPECT_EQ(model.CellText(0, kColModel), "QM-D1");
    EXPECT_EQ(model.CellText(0, kColFrequency), "");
    EXPECT_EQ(model.RowImageAt(0), kRowNotSupported);
    EXPECT_TRUE(model.data(model.index(0, 2), Qt::ForegroundRole).isValid());
    emit view.doubleClicked(model.index(0, 2));
    EXPECT_EQ(info.count(), 0);

    Connect(5, 4);
    const int row = model.RowOf(&records[5]);
    EXPECT_FALSE(model.data(model.index(row, 2), Qt::ForegroundRole).isValid());
    emit view.doubleClicked(model.index(row, 2));
    EXPECT_EQ(info.count(), 1);
}

TEST_F(InvListTest, lostStationKeepsItsRowAsNoConnectionUntilTheListIsCleaned)
{
    StationRecord& r = Connect(6);
    r.status = 0x02;
    r.speed = 3000;
    view.RefreshValues(r);
    EXPECT_EQ(model.CellText(0, kColFrequency), "30.00 Hz");
    r.Reset();
    view.RefreshStation(r);
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_EQ(model.CellText(0, kColStatus), "No Connection");
    EXPECT_EQ(model.CellText(0, kColFrequency), "");
    EXPECT_EQ(model.RowImageAt(0), kRowDisconnected);
    EXPECT_TRUE(model.data(model.index(0, 0), Qt::ForegroundRole).isValid());

    Connect(7);
    view.RemoveUnconnected();
    EXPECT_EQ(view.ListedStations(), std::vector<int>{7});
}

TEST_F(InvListTest, valuesRewriteOnlyTheCellsWhoseTextChanged)
{
    StationRecord& r = Connect(2);
    r.status = 0x12;
    r.speed = 1234;
    r.current = 56;
    view.RefreshValues(r);
    EXPECT_EQ(model.CellText(0, kColFrequency), "12.34 Hz");
    EXPECT_EQ(model.CellText(0, kColCurrent), "5.6 A");
    EXPECT_EQ(model.CellText(0, kColStatus), "Forward Accelerating...");
    EXPECT_EQ(model.RowImageAt(0), kRowForward);

    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    const uint64_t writes = model.CellWrites();
    view.RefreshValues(r);
    EXPECT_EQ(model.CellWrites(), writes);
    EXPECT_EQ(changed.count(), 0);

    r.current = 57;
    view.RefreshValues(r);
    EXPECT_EQ(model.CellWrites(), writes + 1);
    ASSERT_EQ(changed.count(), 1);
    const QModelIndex cell = changed[0][0].value<QModelIndex>();
    EXPECT_EQ(cell.column(), kColCurrent);
    EXPECT_EQ(changed[0][1].value<QModelIndex>(), cell);
}

TEST_F(InvListTest, faultColumnFollowsTheFaultWordsAndNamesUnknownBitsByNumber)
{
    StationRecord& r = Connect(2, 5, 0x0100);
    r.status = 0x08;
    r.fault = 0x0004;  // model 5 has no bit 2
    view.RefreshValues(r);
    EXPECT_EQ(model.CellText(0, kColStatus), "Fault");
    EXPECT_EQ(model.CellText(0, kColFault), "Fault bit 2");
    EXPECT_EQ(model.RowImageAt(0), kRowFault);

    StationRecord& b = Connect(3, 10, 0x0015);
    b.fault2 = 0x0001;
    view.RefreshValues(b);
    EXPECT_EQ(model.CellText(model.RowOf(&b), kColFault), "Loader Failure (COM)");
}

TEST_F(InvListTest, deviceNameChangeTouchesOnlyThatRow)
{
    Connect(1);
    Connect(2);
    names[2] = "Fan";
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    view.NameChanged(2);
    EXPECT_EQ(Column(kColDeviceName), (QStringList{"", "Fan"}));
    EXPECT_EQ(changed.count(), 1);
}

TEST_F(InvListTest, columnWidthsComeFromAndGoBackToTheSettings)
{
    QTemporaryDir dir;
    QSettings s(dir.filePath("s.ini"), QSettings::IniFormat);
    EXPECT_EQ(view.columnWidth(kColDeviceName), 150);
    s.setValue("Main/INVCol 1", 222);
    view.LoadColumnWidths(s);
    EXPECT_EQ(view.columnWidth(kColDeviceName), 222);
    view.setColumnWidth(kColModel, 95);
    view.SaveColumnWidths(s);
    EXPECT_EQ(s.value("Main/INVCol 2").toInt(), 95);
}

TEST_F(InvListTest, idColumnShowsTheRowIconAndIdsUpTo255AtAnyStoredWidth)
{
    Connect(255);
    ASSERT_EQ(model.CellText(0, kColId), "255");
    // What the list's own delegate asks for that cell, "255" beside its row icon.
    QStyleOptionViewItem option;
    option.initFrom(&view);
    option.font = view.font();
    option.fontMetrics = view.fontMetrics();
    option.decorationSize = view.iconSize();
    const int needed = view.itemDelegate()->sizeHint(option, model.index(0, kColId)).width();
    EXPECT_GE(view.columnWidth(kColId), needed);  // the built-in default of 40 is widened too
    QTemporaryDir dir;
    QSettings s(dir.filePath("s.ini"), QSettings::IniFormat);
    for (int stored : {40, 1, 120}) {
        s.setValue("Main/INVCol 0", stored);
        view.LoadColumnWidths(s);
        EXPECT_GE(view.columnWidth(kColId), needed) << stored;
    }
    EXPECT_EQ(view.columnWidth(kColId), 120);
}
