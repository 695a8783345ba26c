#include "monitor/LineHealthView.h"
#include "tests/support/LineHarness.h"

#include <QPushButton>
#include <QTableView>

#include <gtest/gtest.h>

namespace vm {
namespace {

LineHealthRow Row(int station, uint64_t values, uint64_t requests = 0)
{
    LineHealthRow row{station, QStringLiteral("QM-A20"), {}};
    row.health.valuesRefreshed = values;
    row.health.requests = requests;
    return row;
}

QString Cell(const LineHealthModel& model, int row, HealthColumn column)
{
    return model.CellText(row, column);
}

TEST(LineHealthModel, valuesPerSecondComeFromTheCountsBetweenTwoRefreshes)
{
    LineHealthModel model;
    model.Refresh({Row(1, 100), Row(4, 10)}, 5'000);
    // Nothing to compare with yet.
    EXPECT_LT(model.ValuesPerSecond(0), 0);
    EXPECT_EQ(Cell(model, 0, HealthColumn::ValuesPerSecond), "");

    model.Refresh({Row(1, 160), Row(4, 10)}, 7'000);  // 60 values in 2 s
    EXPECT_DOUBLE_EQ(model.ValuesPerSecond(0), 30.0);
    EXPECT_EQ(Cell(model, 0, HealthColumn::ValuesPerSecond), "30.0");
    EXPECT_DOUBLE_EQ(model.ValuesPerSecond(1), 0.0);

    model.Refresh({Row(1, 163)}, 7'500);  // a refresh half a second later: 3 values in 0.5 s
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_DOUBLE_EQ(model.ValuesPerSecond(0), 6.0);

    // A station that comes back starts without a rate, as does one whose count went down.
    model.Refresh({Row(1, 10), Row(4, 50)}, 8'500);
    EXPECT_LT(model.ValuesPerSecond(0), 0);
    EXPECT_LT(model.ValuesPerSecond(1), 0);
    // No time between two refreshes gives no rate rather than a division by zero.
    model.Refresh({Row(1, 20), Row(4, 60)}, 8'500);
    EXPECT_LT(model.ValuesPerSecond(0), 0);

    model.Refresh({Row(1, 30), Row(4, 70)}, 9'500);
    EXPECT_DOUBLE_EQ(model.ValuesPerSecond(0), 10.0);
    model.Restart();
    model.Refresh({Row(1, 40), Row(4, 80)}, 10'500);
    EXPECT_LT(model.ValuesPerSecond(0), 0);
}

TEST(LineHealthModel, cellsShowCountsRefusalsByCodeAndReplyTimesInMilliseconds)
{
    LineHealthModel model;
    LineHealthRow row = Row(7, 0, 42);
    row.drive = QStringLiteral("Pump (QM-C20)");
    row.health.rejections = {{kAddressRangeError, 3}, {ModbusExceptionError(2), 2}};
    model.Refresh({row, Row(9, 0)}, 0);
    EXPECT_EQ(Cell(model, 0, HealthColumn::Id), "7");
    EXPECT_EQ(Cell(model, 0, HealthColumn::Drive), "Pump (QM-C20)");
    EXPECT_EQ(Cell(model, 0, HealthColumn::Requests), "42");
    EXPECT_EQ(Cell(model, 0, HealthColumn::Refusals), QString::fromUtf8("3\u00d7NAK IA, 2\u00d7Ex 2"));
    // No reply timed: blank, not a zero time.
    EXPECT_EQ(Cell(model, 0, HealthColumn::ReplyMean), "");

    row.health.AddReplyTime(45'000);
    row.health.AddReplyTime(15'250);
    model.Refresh({row, Row(9, 0)}, 1'000);
    EXPECT_EQ(Cell(model, 0, HealthColumn::ReplyLast), "15.3");
    EXPECT_EQ(Cell(model, 0, HealthColumn::ReplyMean), "30.1");
    EXPECT_EQ(Cell(model, 0, HealthColumn::ReplyMax), "45.0");

    const auto align = [&](HealthColumn c) {
        return model.data(model.index(0, static_cast<int>(c)), Qt::TextAlignmentRole).toInt() &
               Qt::AlignHorizontal_Mask;
    };
    EXPECT_EQ(align(HealthColumn::Timeouts), Qt::AlignRight);
    EXPECT_EQ(align(HealthColumn::ReplyMax), Qt::AlignRight);
    EXPECT_EQ(align(HealthColumn::Drive), Qt::AlignLeft);
    EXPECT_EQ(
        model.headerData(static_cast<int>(HealthColumn::ValuesPerSecond), Qt::Horizontal, Qt::DisplayRole),
        "Values/s");
}

// The page on a real manager and a noisy simulated line, its time injected.
TEST(LineHealthView, showsTheManagersCountersAndResetZeroesThem)
{
    // Enough repetitions that the station is never given up (and dropped).
    test::LineHarness line(sim::Protocol::Kx485, 6, 300, {.dropRate = 0.2, .corruptRate = 0.1, .seed = 5});
    line.line.AddStation({1, 4, 0x0210, 4, 1}, {});
    const uint16_t addresses[] = {reg::kStatus, reg::kFault};
    line.manager.AddMonitor(1, addresses);
    line.manager.SetPollRange(1, 1);

    int resets = 0;
    LineHealthView view(
        [&] {
            return std::vector<LineHealthRow>{{1, QStringLiteral("QM-A20"), line.manager.Health(1)}};
        },
        [&] {
            ++resets;
            line.manager.ResetHealth();
        });
    view.SetClock([&] { return line.now; });
    EXPECT_EQ(view.RefreshTimer().interval(), 1000);
    EXPECT_TRUE(view.RefreshTimer().isActive());

    view.Refresh();
    line.Step(100);  // 3 s
    view.Refresh();
    const LineHealthModel& model = view.Model();
    const StationHealth& h = line.manager.Health(1);
    ASSERT_GT(h.timeouts, 0u);
    EXPECT_EQ(Cell(model, 0, HealthColumn::Timeouts), QString::number(h.timeouts));
    EXPECT_EQ(Cell(model, 0, HealthColumn::ChecksumErrors), QString::number(line.line.Counters().corrupted));
    EXPECT_GT(model.ValuesPerSecond(0), 0);
    EXPECT_DOUBLE_EQ(model.ValuesPerSecond(0), static_cast<double>(h.valuesRefreshed) / 3.0);

    view.ResetButton().click();
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(Cell(model, 0, HealthColumn::Requests), "0");
    EXPECT_EQ(Cell(model, 0, HealthColumn::Timeouts), "0");
    EXPECT_EQ(Cell(model, 0, HealthColumn::ValuesPerSecond), "");
    line.Step(40);
    view.Refresh();
    EXPECT_GT(h.requests, 0u);
    EXPECT_EQ(Cell(model, 0, HealthColumn::Requests), QString::number(h.requests));
}

TEST(LineHealthModel, blockReadColumnAndTheLineNoteWithItsLatencyHint)
{
    LineHealthModel model;
    std::vector<LineHealthRow> rows{Row(1, 0), Row(2, 0), Row(3, 0)};
    rows[0].blockReads = BlockReadUse::On;
    rows[1].blockReads = BlockReadUse::Refused;
    model.Refresh(rows, 0);
    EXPECT_EQ(Cell(model, 0, HealthColumn::BlockReads), "yes");
    EXPECT_EQ(Cell(model, 1, HealthColumn::BlockReads), "refused");
    EXPECT_EQ(Cell(model, 2, HealthColumn::BlockReads), "");

    EXPECT_EQ(LineNote(false, 0, std::nullopt), "One transaction per 30 ms tick.");
    EXPECT_EQ(LineNote(true, 3.75, 1), "Line-paced, 3.75 ms between transactions. USB latency timer 1 ms.");
    const QString slow = LineNote(true, 3.75, 16);
    EXPECT_TRUE(slow.contains("USB latency timer 16 ms. It holds a paced line to about 62 transactions/s"))
        << slow.toStdString();
    EXPECT_TRUE(slow.contains("udev rule"));
    EXPECT_FALSE(LineNote(true, 3.75, 0).contains("udev"));
}

}  // namespace
}  // namespace vm
