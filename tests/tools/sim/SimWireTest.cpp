#include "tools/sim/SimLine.h"
#include "tools/sim/SimOptions.h"
#include "tools/sim/SimWire.h"

#include "comm/CommReply.h"
#include "comm/ModbusRtu.h"

#include "tests/support/ResultChecks.h"

#include <gtest/gtest.h>

namespace vm::sim {
namespace {

TEST(SimWire, replyPassesAfterRequestResponseAndReplyOnTheWire)
{
    SimWire wire({9600, 500, -1});
    EXPECT_EQ(wire.WireUs(8), 8334);  // 80 bits at 9600, rounded up
    wire.Requested(8, 1000);
    wire.Replied({1, 2, 3, 4, 5, 6, 7}, 1200);
    const int64_t due = 1000 + 8334 + 500 + 7292;
    EXPECT_EQ(wire.NextDueUs(), due);
    EXPECT_TRUE(wire.TakeDue(due - 1).empty());
    EXPECT_EQ(wire.TakeDue(due).size(), 7u);
    EXPECT_FALSE(wire.NextDueUs());
}

TEST(SimWire, repliesNeverOverlapAndAnUnansweredRequestIsForgotten)
{
    SimWire wire({115200, 0, -1});
    wire.Requested(8, 0);
    wire.Replied(std::vector<uint8_t>(7), 0);
    const int64_t first = *wire.NextDueUs();
    wire.Requested(8, 10);  // before the first reply has passed
    wire.Replied(std::vector<uint8_t>(7), 10);
    EXPECT_EQ(wire.TakeDue(first).size(), 7u);
    EXPECT_EQ(*wire.NextDueUs(), first + wire.WireUs(15));

    SimWire quiet({115200, 0, -1});
    quiet.Requested(8, 0);       // nobody answers this one
    quiet.Requested(8, 100000);  // a new request long after
    quiet.Replied(std::vector<uint8_t>(7), 100000);
    EXPECT_EQ(*quiet.NextDueUs(), 100000 + quiet.WireUs(15));
}

TEST(SimWire, countsRequestsThatBeginInsideTheGap)
{
    SimWire wire({0, 0, 3000});
    EXPECT_FALSE(wire.Timed());
    wire.Requested(8, 0);
    wire.Replied(std::vector<uint8_t>(7), 0);
    ASSERT_EQ(wire.TakeDue(0).size(), 7u);
    wire.Requested(8, 2999);
    EXPECT_EQ(wire.Early(), 1u);
    wire.Replied(std::vector<uint8_t>(7), 3100);
    ASSERT_EQ(wire.TakeDue(3100).size(), 7u);
    wire.Requested(4, 6100);
    wire.Requested(4, 6150);  // the rest of the same frame
    EXPECT_EQ(wire.Early(), 1u);
}

TEST(SimBlocks, refusedBlockReadsGetIllegalFunctionWhileSingleReadsAreServed)
{
    LineFaults faults;
    faults.refuseBlocks = true;
    SimLine line(Protocol::Modbus, faults);
    ASSERT_NE(line.AddStation({1, 10, 0x0015, 1, 1}, {}), nullptr);
    ASSERT_NE(line.AddStation({2, 10, 0x0015, 1, 1}, {}), nullptr);
    int64_t now = 0;
    auto exchange = [&](const modbus::RequestFrame& f) {
        now += 50;
        line.Receive({f.begin(), f.end()}, now);
        return line.TakeDue(now);
    };
    const modbus::RequestFrame block = modbus::BuildBlockRead(1, 1, 3);
    EXPECT_EQ(modbus::Evaluate(exchange(block), block).error, ModbusExceptionError(1));
    const modbus::RequestFrame single = modbus::BuildRead(1, 1);
    EXPECT_EQ(modbus::Evaluate(exchange(single), single).error, kNoError);

    EXPECT_EQ(line.Command("blocks 1 serve", now).text, "ok");
    const std::vector<uint8_t> served = exchange(block);
    ASSERT_EQ(modbus::Evaluate(served, block).error, kNoError);
    EXPECT_EQ(served.size(), 11u);
    const modbus::RequestFrame other = modbus::BuildBlockRead(2, 1, 2);
    EXPECT_EQ(modbus::Evaluate(exchange(other), other).error, ModbusExceptionError(1));  // still refused
    EXPECT_EQ(line.Command("blocks 9 refuse", now).text.rfind("error", 0), 0u);
}

TEST(SimOptions, wirePaceAndRefusalOptions)
{
    SimOptions o =
        test::Parsed(ParseSimOptions({"--link", "x", "--wire", "38400", "--response", "0.5", "--pace", "line",
                                      "--turnaround", "1.5", "--refuse-blocks"}));
    EXPECT_EQ(o.wire.baud, 38400);
    EXPECT_EQ(o.wire.responseUs, 500);
    EXPECT_EQ(o.pacing, Pacing::Line);
    EXPECT_EQ(o.turnaroundUs, 1500);
    EXPECT_TRUE(o.faults.refuseBlocks);
    EXPECT_EQ(test::Complaint(ParseSimOptions({"--link", "x", "--pace", "fast"})),
              "--pace fast: use tick or line");
    EXPECT_FALSE(ParseSimOptions({"--link", "x", "--turnaround", "-1"}));
    EXPECT_FALSE(ParseSimOptions({"--link", "x", "--response", "abc"}));
    EXPECT_FALSE(ParseSimOptions({"--link", "x", "--wire", "0"}));
}

}  // namespace
}  // namespace vm::sim
