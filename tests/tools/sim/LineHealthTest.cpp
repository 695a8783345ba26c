// The communication manager's per-station health counters against what the simulated line did:
// its fault injection counts every reply it dropped or corrupted, so the manager's figures must
// agree with the line's own, whatever the seed produced.

#include "catalogue/Registers.h"
#include "tests/support/LineHarness.h"

#include <gtest/gtest.h>

#include <map>

namespace vm {
namespace {

constexpr uint16_t kParam = 0x5301;    // a writable parameter, 0-6000
constexpr uint16_t kNowhere = 0x7777;  // no register of the drive

// Counts how the manager's transactions ended.
class Outcomes : public CommClient {
public:
    void OnCommReply(int, const CommReply& reply) override
    {
        if (IsFinalError(reply.error))
            ++finals[reply.error];
    }
    void OnCommMonitor(int, const CommReply& reply) override
    {
        if (reply.error == kNoError)
            values += static_cast<uint64_t>(reply.count);
    }
    std::map<int, int> finals;
    uint64_t values = 0;
};

class LineHealthTest : public ::testing::TestWithParam<sim::Protocol> {
protected:
    std::unique_ptr<test::LineHarness> MakeLine(const sim::LineFaults& faults, int retries = 3)
    {
        auto h = std::make_unique<test::LineHarness>(GetParam(), retries, 300, faults);
        h->line.AddStation({1, 4, 0x0210, 4, 1}, {{kParam, 0, 6000, 50, true, true, false}});
        return h;
    }
    bool Kx() const { return GetParam() == sim::Protocol::Kx485; }
};

TEST_P(LineHealthTest, countersMatchTheDropsAndCorruptionsTheLineInjected)
{
    const sim::LineFaults faults{.dropRate = 0.1, .corruptRate = 0.05, .delayMs = 45, .seed = 7};
    auto h = MakeLine(faults, 1);  // one repetition: some transactions are given up
    Outcomes client;
    constexpr int kReads = 300;
    for (int i = 0; i < kReads; ++i)
        h->manager.QueueRead(1, kParam, &client);
    ASSERT_TRUE(h->StepUntil([&] { return h->manager.QueueLength() == 0 && !h->manager.IsWaiting(); }));

    const sim::LineCounters& line = h->line.Counters();
    const StationHealth& s = h->manager.Health(1);
    // The seed must have produced both faults, or the comparison proves little.
    ASSERT_GT(line.dropped, 0u);
    ASSERT_GT(line.corrupted, 0u);
    ASSERT_GT(s.giveUps, 0u);

    EXPECT_EQ(s.requests, static_cast<uint64_t>(kReads));
    EXPECT_EQ(s.attempts, line.requests);
    EXPECT_EQ(s.timeouts, line.dropped);
    EXPECT_EQ(s.checksumErrors, line.corrupted);
    EXPECT_EQ(s.replies, line.replies - line.corrupted);
    EXPECT_EQ(s.frameErrors, 0u);
    EXPECT_TRUE(s.rejections.empty());
    // Every failed attempt is repeated unless it was the last one of a transaction given up.
    EXPECT_EQ(s.repetitions, s.attempts - s.requests);
    EXPECT_EQ(s.repetitions, s.timeouts + s.checksumErrors - s.giveUps);
    EXPECT_EQ(s.giveUps, static_cast<uint64_t>(client.finals[kGiveUp]));
    EXPECT_EQ(s.replies, static_cast<uint64_t>(client.finals[kNoError]));
    EXPECT_EQ(s.valuesRefreshed, 0u);  // reads answered to a client refresh nothing

    // The port times the reply where it arrives, not at the next 30 ms tick.
    EXPECT_EQ(s.timed, s.replies);
    EXPECT_EQ(s.replyLastUs, faults.delayMs * 1000);
    EXPECT_EQ(s.ReplyMeanUs(), faults.delayMs * 1000);
    EXPECT_EQ(s.replyMaxUs, faults.delayMs * 1000);
}

TEST_P(LineHealthTest, monitorValuesAreCountedOnlyWhenTheyArrive)
{
    // Enough repetitions that no transaction is given up, which would drop the station.
    auto h = MakeLine({.dropRate = 0.1, .corruptRate = 0.05, .seed = 3}, 6);
    Outcomes client;
    const uint16_t addresses[] = {reg::kStatus, reg::kFault, reg::kSpeed};
    h->manager.AddListener(1, &client);
    h->manager.AddMonitor(1, addresses);
    h->manager.SetPollRange(1, 1);
    h->Step(2000);
    // Let the attempt on the line finish; nobody monitors, so it is not repeated.
    h->manager.RemoveMonitor(1, addresses);
    ASSERT_TRUE(h->StepUntil([&] { return !h->manager.IsWaiting(); }));

    const StationHealth& s = h->manager.Health(1);
    ASSERT_GT(h->line.Counters().dropped, 0u);
    EXPECT_GT(s.valuesRefreshed, 100u);
    EXPECT_EQ(s.valuesRefreshed, client.values);
    EXPECT_EQ(s.timeouts, h->line.Counters().dropped);
    EXPECT_EQ(s.checksumErrors, h->line.Counters().corrupted);
    // With no delay the reply is there within the tick it was asked for.
    EXPECT_EQ(s.replyMaxUs, 0);
}

TEST_P(LineHealthTest, refusalsAreCountedByTheirCode)
{
    auto h = MakeLine({}, 2);
    Outcomes client;
    h->manager.QueueRead(1, kNowhere, &client);
    h->manager.QueueWrite(1, kParam, 6001, &client);  // above the maximum
    h->manager.QueueWrite(1, kParam, 6001, &client);
    ASSERT_TRUE(h->StepUntil([&] { return h->manager.QueueLength() == 0 && !h->manager.IsWaiting(); }));

    const StationHealth& s = h->manager.Health(1);
    EXPECT_EQ(s.requests, 3u);
    EXPECT_EQ(s.replies, h->line.Counters().replies);
    EXPECT_EQ(s.timeouts + s.checksumErrors + s.frameErrors, 0u);
    if (Kx()) {
        // A NAK is a failed attempt: repeated, then given up.
        EXPECT_EQ(s.rejections, (std::map<int, uint64_t>{{kAddressRangeError, 3}, {kDataRangeError, 6}}));
        EXPECT_EQ(s.RejectionText(), "3\u00d7NAK IA, 6\u00d7NAK ID");
        EXPECT_EQ(s.repetitions, 6u);
        EXPECT_EQ(s.giveUps, 3u);
    } else {
        // An exception is the drive's final answer.
        EXPECT_EQ(s.rejections,
                  (std::map<int, uint64_t>{{ModbusExceptionError(2), 1}, {ModbusExceptionError(3), 2}}));
        EXPECT_EQ(s.RejectionText(), "1\u00d7Ex 2, 2\u00d7Ex 3");
        EXPECT_EQ(s.repetitions, 0u);
        EXPECT_EQ(s.giveUps, 0u);
    }
    EXPECT_EQ(s.RejectionCount(), s.replies);

    h->manager.ResetHealth();
    const StationHealth& cleared = h->manager.Health(1);
    EXPECT_EQ(cleared.requests + cleared.attempts + cleared.replies + cleared.repetitions + cleared.giveUps,
              0u);
    EXPECT_TRUE(cleared.rejections.empty());
    EXPECT_EQ(cleared.timed, 0u);
    EXPECT_EQ(cleared.RejectionText(), "");
}

INSTANTIATE_TEST_SUITE_P(Protocols, LineHealthTest,
                         ::testing::Values(sim::Protocol::Kx485, sim::Protocol::Modbus),
                         [](const auto& info) {
                             return info.param == sim::Protocol::Kx485 ? "Kx485" : "Modbus";
                         });

}  // namespace
}  // namespace vm
