#include <gtest/gtest.h>

#include "ReportTestSource.h"
#include "report/ReportBuilder.h"

namespace vm {
namespace {

using test::TestReportSource;

const QDateTime kNow(QDate(2026, 12, 9), QTime(8, 5, 3));

QString Text(const ReportSheet& sheet, int row, int column)
{
    const ReportCell* cell = sheet.CellAt(row, column);
    return cell ? cell->text : QStringLiteral("<outside>");
}

bool RowIsBlank(const ReportSheet& sheet, int row)
{
    for (int c = 1; c <= ReportSheet::kColumns; ++c) {
        const ReportCell* cell = sheet.CellAt(row, c);
        if (!cell || !cell->text.isEmpty() || cell->boxed || cell->fill.isValid())
            return false;
    }
    return true;
}

QColor ExpectedInk(const CItem& item)
{
    if (item.valueStatus == 0)
        return QColor(153, 153, 153);
    if (item.valueStatus == 2)
        return QColor(255, 51, 51);
    return item.value != item.defaultValue ? QColor(0, 0, 255) : QColor(Qt::black);
}

TEST(ReportBuilder, allGroupsOfEveryShippedFileGiveOneSectionPerGroupEndingWithItsLastItem)
{
    const auto files = test::ShippedDataFiles();
    ASSERT_GE(files.size(), 5u);
    for (const auto& f : files) {
        SCOPED_TRACE(testing::Message() << ModelName(f.model) << " " << std::hex << f.version);
        test::FakeToolHost host;
        TestReportSource source(host, kFirstOfflineSlot);
        ASSERT_TRUE(source.Load(f.model, f.version));
        test::CycleStatuses(*source.data);
        const ReportSheet sheet =
            ReportBuilder(host, source).Build({ReportNodeKind::AllGroups, {}}, {}, kNow);

        int row = ReportBuilder::kFirstSectionRow;
        for (const auto& group : source.data->Groups()) {
            EXPECT_EQ(Text(sheet, row, 2),
                      QStringLiteral("[ Parameter Group Name : %1 ]").arg(test::Shown(group->name)));
            EXPECT_TRUE(sheet.CellAt(row, 2)->bold);
            EXPECT_EQ(Text(sheet, row + 1, 3), "Parameter Name");
            EXPECT_EQ(sheet.CellAt(row + 1, 10)->fill, QColor(189, 255, 148));
            row += 2;
            for (const auto& item : group->items) {
                EXPECT_EQ(Text(sheet, row, 2), QString::number(item->address & 0xFF));
                EXPECT_EQ(Text(sheet, row, 3), test::Shown(item->displayName));
                EXPECT_EQ(Text(sheet, row, 8), test::Shown(item->DefaultText()));
                EXPECT_EQ(Text(sheet, row, 10), test::Shown(item->UnitText()));
                for (int c = 2; c <= 11; ++c) {
                    EXPECT_EQ(sheet.CellAt(row, c)->ink, ExpectedInk(*item))
                        << "row " << row << " column " << c;
                    EXPECT_TRUE(sheet.CellAt(row, c)->boxed);
                    // Marks that survive black-and-white print: unread in italics, failed in bold.
                    EXPECT_EQ(sheet.CellAt(row, c)->italic, item->valueStatus == 0);
                    EXPECT_EQ(sheet.CellAt(row, c)->bold, item->valueStatus == 2);
                }
                ++row;
            }
            EXPECT_TRUE(RowIsBlank(sheet, row));
            EXPECT_TRUE(RowIsBlank(sheet, row + 1));
            row += 2;
        }
        // Sized from what was written: header, then items plus four rows per group.
        EXPECT_EQ(sheet.RowCount(), row - 1);
        EXPECT_EQ(sheet.RowCount(), 7 + source.data->TotalItemCount() + 4 * source.data->GroupCount());
    }
}

TEST(ReportBuilder, dataFileTextsAreShownFromWindows1252)
{
    int degrees = 0;
    for (const auto& f : test::ShippedDataFiles()) {
        test::FakeToolHost host;
        TestReportSource source(host, kFirstOfflineSlot);
        ASSERT_TRUE(source.Load(f.model, f.version));
        const ReportSheet sheet =
            ReportBuilder(host, source).Build({ReportNodeKind::AllGroups, {}}, {}, kNow);
        for (int r = 1; r <= sheet.RowCount(); ++r) {
            EXPECT_FALSE(sheet.CellAt(r, 10)->text.contains(QChar::ReplacementCharacter));
            EXPECT_FALSE(sheet.CellAt(r, 3)->text.contains(QStringLiteral("@@@@")));
            if (sheet.CellAt(r, 10)->text == QStringLiteral("\u00B0C"))
                ++degrees;
        }
    }
    EXPECT_GT(degrees, 0);
}

TEST(ReportBuilder, offlineHeaderShowsModelVersionAndNoDeviceName)
{
    test::FakeToolHost host;
    TestReportSource source(host, kFirstOfflineSlot + 2);
    const auto f = test::ShippedDataFiles().front();
    ASSERT_TRUE(source.Load(f.model, f.version));
    host.names[0] = QStringLiteral("never shown");
    const ReportSheet sheet =
        ReportBuilder(host, source)
            .Build({ReportNodeKind::AllGroups, {}}, {"ACME <Drives>", "Line & Co", "Kim"}, kNow);
    EXPECT_EQ(Text(sheet, 2, 2), "Company");
    EXPECT_EQ(Text(sheet, 2, 4), "ACME <Drives>");
    EXPECT_EQ(Text(sheet, 2, 7), "Division");
    EXPECT_EQ(Text(sheet, 2, 9), "Line & Co");
    EXPECT_EQ(Text(sheet, 3, 4), "2026.12.09  08:05:03");
    EXPECT_EQ(Text(sheet, 3, 9), "Kim");
    EXPECT_EQ(Text(sheet, 4, 4), ModelName(f.model));
    EXPECT_EQ(Text(sheet, 4, 9),
              QStringLiteral("Ver") + QString::fromStdString(VersionText(f.model, f.version)));
    EXPECT_EQ(Text(sheet, 5, 2), "Device Name");
    EXPECT_EQ(Text(sheet, 5, 4), "");
    EXPECT_EQ(Text(sheet, 5, 9), "OFF-LINE");
    for (int r = 2; r <= 5; ++r)
        for (int c = 2; c <= 11; ++c) {
            EXPECT_TRUE(sheet.CellAt(r, c)->boxed);
            const bool label = c == 2 || c == 3 || c == 7 || c == 8;
            EXPECT_EQ(sheet.CellAt(r, c)->fill.isValid(), label) << r << "," << c;
        }
    ASSERT_NE(sheet.SpanAt(2, 4), nullptr);
    EXPECT_EQ(sheet.SpanAt(2, 4)->columns, 3);
    EXPECT_TRUE(sheet.IsCovered(2, 6));
}

TEST(ReportBuilder, unreadItemOnlineIsEmptyInItsGroupButShowsItsValueInAUserGroupGreyInBoth)
{
    test::FakeToolHost host;
    TestReportSource source(host, 3);
    const auto f = test::ShippedDataFiles().front();
    ASSERT_TRUE(source.Load(f.model, f.version));
    host.names[3] = QStringLiteral("Pump 3");
    CGroup* group = source.data->GroupAt(0);
    CItem* item = group->items.At(0);
    item->valueStatus = 0;
    item->value = item->defaultValue;
    ASSERT_FALSE(item->ValueText(item->value, true).empty());
    source.AddUserGroup("Mine", {item->address});

    ReportBuilder builder(host, source);
    const ReportSheet g = builder.Build({ReportNodeKind::Group, group->name}, {}, kNow);
    EXPECT_EQ(Text(g, 4, 4), QStringLiteral("3 : %1").arg(ModelName(f.model)));
    EXPECT_EQ(Text(g, 5, 4), "Pump 3");
    EXPECT_EQ(Text(g, 5, 9), "ON-LINE");
    EXPECT_EQ(Text(g, 10, 6), "");
    EXPECT_EQ(g.CellAt(10, 6)->ink, QColor(153, 153, 153));

    const ReportSheet u = builder.Build({ReportNodeKind::UserGroup, "Mine"}, {}, kNow);
    EXPECT_EQ(Text(u, 8, 2), "[ User Group Name : Mine ]");
    EXPECT_EQ(Text(u, 9, 2), "Group Name");
    EXPECT_EQ(Text(u, 9, 11), "Unit");
    EXPECT_EQ(Text(u, 10, 2), test::Shown(group->name));
    EXPECT_EQ(Text(u, 10, 4), test::Shown(item->displayName));
    EXPECT_EQ(Text(u, 10, 7), test::Shown(item->ValueText(item->value, true)));
    EXPECT_EQ(u.CellAt(10, 7)->ink, QColor(153, 153, 153));
    // Grey alone would vanish on a black-and-white printer.
    EXPECT_TRUE(u.CellAt(10, 7)->italic);
    EXPECT_EQ(u.RowCount(), 12);
}

TEST(ReportBuilder, userGroupEntryWithoutAParameterIsSkipped)
{
    test::FakeToolHost host;
    TestReportSource source(host, kFirstOfflineSlot);
    const auto f = test::ShippedDataFiles().back();
    ASSERT_TRUE(source.Load(f.model, f.version));
    const CItem* a = source.data->ItemAt(0, 0);
    const CItem* b = source.data->ItemAt(0, 1);
    ASSERT_EQ(source.data->FindItem(0xFFFF), nullptr);
    source.AddUserGroup("U", {a->address, 0xFFFF, b->address});
    const ReportSheet sheet = ReportBuilder(host, source).Build({ReportNodeKind::UserGroup, "U"}, {}, kNow);
    EXPECT_EQ(Text(sheet, 10, 4), test::Shown(a->displayName));
    EXPECT_EQ(Text(sheet, 11, 4), test::Shown(b->displayName));
    EXPECT_TRUE(RowIsBlank(sheet, 12));
    EXPECT_EQ(sheet.RowCount(), 13);
}

TEST(ReportBuilder, missingDataOrClosedUserGroupGiveAnEmptySheetAndAMissingGroupOnlyTheHeader)
{
    test::FakeToolHost host;
    TestReportSource source(host, kFirstOfflineSlot);
    ReportBuilder builder(host, source);
    EXPECT_EQ(builder.Build({ReportNodeKind::AllGroups, {}}, {}, kNow).RowCount(), 0);

    const auto f = test::ShippedDataFiles().front();
    ASSERT_TRUE(source.Load(f.model, f.version));
    EXPECT_EQ(builder.Build({ReportNodeKind::UserGroup, "closed"}, {}, kNow).RowCount(), 0);
    const ReportSheet header = builder.Build({ReportNodeKind::Group, "no such group"}, {}, kNow);
    EXPECT_EQ(header.RowCount(), 7);
    EXPECT_EQ(Text(header, 2, 2), "Company");
}

TEST(ReportBuilder, refreshesReplaceOnlyTheHeaderTextsAndTheOnlineDeviceName)
{
    test::FakeToolHost host;
    TestReportSource online(host, 7);
    TestReportSource offline(host, kFirstOfflineSlot);
    const auto f = test::ShippedDataFiles().front();
    ASSERT_TRUE(online.Load(f.model, f.version));
    ASSERT_TRUE(offline.Load(f.model, f.version));
    host.names[7] = QStringLiteral("Old");
    ReportSheet sheet =
        ReportBuilder(host, online).Build({ReportNodeKind::AllGroups, {}}, {"a", "b", "c"}, kNow);
    ReportBuilder::RefreshHeader(sheet, {"A", "B", "C"});
    EXPECT_EQ(Text(sheet, 2, 4), "A");
    EXPECT_EQ(Text(sheet, 2, 9), "B");
    EXPECT_EQ(Text(sheet, 3, 9), "C");
    EXPECT_EQ(Text(sheet, 3, 4), "2026.12.09  08:05:03");
    host.names[7] = QStringLiteral("New");
    ReportBuilder(host, online).RefreshDeviceName(sheet);
    EXPECT_EQ(Text(sheet, 5, 4), "New");
    ReportSheet off = ReportBuilder(host, offline).Build({ReportNodeKind::AllGroups, {}}, {}, kNow);
    ReportBuilder(host, offline).RefreshDeviceName(off);
    EXPECT_EQ(Text(off, 5, 4), "");
    ReportSheet empty;
    ReportBuilder::RefreshHeader(empty, {"A", "B", "C"});
    EXPECT_EQ(empty.RowCount(), 0);
}

}  // namespace
}  // namespace vm
