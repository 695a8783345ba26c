#include "FakePort.h"

#include "comm/BlockReads.h"
#include "comm/LinePacing.h"

#include <gtest/gtest.h>

using namespace vm;
using namespace vm::test;

namespace {

PortSettings Line(int baud)
{
    PortSettings s;
    s.baudRate = baud;
    return s;
}

TEST(LineGap, modbusT35IsThreeAndAHalfCharactersUpTo19200AndFixedAbove)
{
    EXPECT_EQ(CharacterTimeUs(Line(9600)), 1042);  // 10 bits
    EXPECT_EQ(ModbusT35Us(Line(9600)), 3646);
    EXPECT_EQ(ModbusT35Us(Line(19200)), 1823);
    EXPECT_EQ(ModbusT35Us(Line(19201)), 1750);
    EXPECT_EQ(ModbusT35Us(Line(115200)), 1750);
    PortSettings even = Line(9600);
    even.parity = 2;
    even.stopBits = 2;
    EXPECT_EQ(CharacterTimeUs(even), 1250);  // 12 bits
}

TEST(LineGap, turnaroundIsAddedInBothProtocolsAndBounded)
{
    EXPECT_EQ(InterFrameGapUs(Line(38400), true, 2000), 3750);
    EXPECT_EQ(InterFrameGapUs(Line(38400), false, 2000), 2000);
    EXPECT_EQ(InterFrameGapUs(Line(38400), false, -5), 0);
    EXPECT_EQ(InterFrameGapUs(Line(38400), false, 5000000), kMaxTurnaroundUs);
}

// A manager on an explicit clock; Tick may be called at any moment, as the driver's timers do.
class PacedManagerTest : public ::testing::Test {
protected:
    void Begin(int protocol, Pacing pacing = Pacing::Line)
    {
        settings.protocolMode = protocol;
        settings.pacing = pacing;
        settings.baudRate = 9600;
        settings.turnaroundUs = 1000;
        m.SetPortFactory([this] { return std::make_unique<FakePort>(line); });
        m.SetClock([this] { return nowUs; });
        ASSERT_EQ(m.Start(settings), 0);
    }
    void Feed(const std::vector<uint8_t>& bytes)
    {
        for (uint8_t b : bytes)
            m.ReceiveByte(b);
    }
    void At(int64_t us)
    {
        nowUs = us;
        m.Tick();
    }
    size_t Sent() const { return line->written.size(); }

    std::shared_ptr<FakeLine> line = std::make_shared<FakeLine>();
    CommSettings settings;
    int64_t nowUs = 1000000;
    CommManager m;
};

TEST_F(PacedManagerTest, nextRequestWaitsForT35AndTheTurnaroundAfterTheReply)
{
    Begin(kModbusRtu);
    const int64_t gap = 3646 + 1000;
    EXPECT_EQ(m.GapUs(), gap);
    Recorder client;
    m.QueueRead(1, 5, &client);
    m.QueueRead(1, 6, &client);
    At(1000000);
    ASSERT_EQ(Sent(), 1u);
    EXPECT_EQ(m.NextDueUs(), 1000000 + 1000 * 1000);  // the time-out

    nowUs = 1020000;
    Feed(modbus::BuildReadReply(1, 42));
    ASSERT_EQ(client.replies.size(), 1u);
    EXPECT_EQ(m.NextDueUs(), 1020000 + gap);
    At(1020000 + gap - 1);
    EXPECT_EQ(Sent(), 1u);  // one microsecond short of the gap
    At(1020000 + gap);
    EXPECT_EQ(Sent(), 2u);
}

TEST_F(PacedManagerTest, timeOutIsMeasuredOnTheClockAndTheRepetitionKeepsTheGap)
{
    Begin(kKx485);
    Recorder client;
    m.QueueRead(1, 5, &client);
    At(0);
    ASSERT_EQ(Sent(), 1u);
    At(999999);
    EXPECT_TRUE(client.replies.empty());
    At(1000000);
    ASSERT_EQ(client.replies.size(), 1u);
    EXPECT_EQ(client.replies[0].error, kTimeoutError);
    EXPECT_EQ(Sent(), 1u);
    EXPECT_EQ(m.NextDueUs(), 1000000 + 1000);  // KX485: the turnaround only
    At(1000999);
    EXPECT_EQ(Sent(), 1u);
    At(1001000);
    EXPECT_EQ(Sent(), 2u);
}

TEST_F(PacedManagerTest, withoutAGapTheNextRequestIsDueTheMomentTheReplyEnds)
{
    settings.turnaroundUs = 0;
    settings.protocolMode = kKx485;
    settings.pacing = Pacing::Line;
    m.SetPortFactory([this] { return std::make_unique<FakePort>(line); });
    m.SetClock([this] { return nowUs; });
    ASSERT_EQ(m.Start(settings), 0);
    Recorder client;
    client.onReply = [&](const CommReply&) { m.QueueRead(1, 6, &client); };
    m.QueueRead(1, 5, &client);
    At(0);
    nowUs = 5000;
    for (char c : std::string("\x06"
                              "01R177082\x04"))
        m.ReceiveByte(static_cast<uint8_t>(c));
    ASSERT_EQ(client.replies.size(), 1u);
    EXPECT_EQ(m.NextDueUs(), 5000);  // due now, not left to the next regular tick
    At(5000);
    EXPECT_EQ(Sent(), 2u);
}

TEST_F(PacedManagerTest, idleLineAsksForNothingAndTickPacingNeverAsks)
{
    Begin(kKx485);
    At(0);
    EXPECT_EQ(m.NextDueUs(), -1);
    CommManager ticked;
    ticked.SetPortFactory([this] { return std::make_unique<FakePort>(line); });
    ASSERT_EQ(ticked.Start(CommSettings{}), 0);
    ticked.QueueRead(1, 5);
    ticked.Tick();
    EXPECT_FALSE(ticked.LinePaced());
    EXPECT_EQ(ticked.NextDueUs(), -1);
}

TEST(ModbusBlockRead, framingAndReplyLength)
{
    const modbus::RequestFrame f = modbus::BuildBlockRead(1, 5, 4);
    EXPECT_EQ(std::vector<uint8_t>(f.begin(), f.begin() + 6),
              (std::vector<uint8_t>{0x01, 0x04, 0x00, 0x04, 0x00, 0x04}));
    EXPECT_TRUE(modbus::CrcMatches(f));
    EXPECT_EQ(modbus::ReadCount(f), 4);
    EXPECT_EQ(modbus::ExpectedReplyLength(f), 13u);
    EXPECT_EQ(modbus::ReadCount(modbus::BuildBlockRead(1, 5, 500)), modbus::kMaxBlockRead);

    std::vector<uint8_t> reply{0x01, 0x04, 0x08, 0, 1, 0, 2, 0, 3, 0x12, 0x34};
    modbus::AppendCrc(reply);
    EXPECT_EQ(modbus::Evaluate(reply, f).error, kNoError);
    EXPECT_EQ(modbus::ReplyRegister(reply, 3), 0x1234);
    // A reply carrying one register fewer than asked is a frame error even with a good CRC.
    std::vector<uint8_t> shortReply{0x01, 0x04, 0x06, 0, 1, 0, 2, 0, 3};
    modbus::AppendCrc(shortReply);
    EXPECT_EQ(modbus::Evaluate(shortReply, modbus::BuildBlockRead(1, 5, 3)).error, kNoError);
    EXPECT_EQ(modbus::Evaluate(shortReply, modbus::BuildBlockRead(1, 5, 4)).error, kFrameError);
}

TEST(BlockReads, runsSplitAtGapsAtTheMaximumAndAtTheTopRegister)
{
    const std::vector<uint16_t> a{5, 6, 7, 9, 10, 11, 12, 3};
    EXPECT_EQ(ConsecutiveRun(a, 0, 16), 3u);
    EXPECT_EQ(ConsecutiveRun(a, 3, 16), 4u);
    EXPECT_EQ(ConsecutiveRun(a, 3, 2), 2u);
    EXPECT_EQ(ConsecutiveRun(a, 7, 16), 1u);
    EXPECT_EQ(ConsecutiveRun(a, 8, 16), 0u);
    const std::vector<uint16_t> wrap{0xFFFE, 0xFFFF, 0x0000};
    EXPECT_EQ(ConsecutiveRun(wrap, 0, 16), 2u);
    std::vector<uint16_t> many(200);
    for (size_t i = 0; i < many.size(); ++i)
        many[i] = static_cast<uint16_t>(100 + i);
    EXPECT_EQ(ConsecutiveRun(many, 0, 1000), 125u);
}

TEST(BlockReads, refusalIsAnIllegalFunctionAddressOrValueOrSilence)
{
    for (int code : {1, 2, 3})
        EXPECT_TRUE(BlockReadRefused(ModbusExceptionError(code)));
    EXPECT_TRUE(BlockReadRefused(kTimeoutError));
    EXPECT_FALSE(BlockReadRefused(ModbusExceptionError(4)));
    EXPECT_FALSE(BlockReadRefused(kCrcError));
    EXPECT_FALSE(BlockReadRefused(kNoError));
}

class BlockMonitorTest : public PacedManagerTest {
protected:
    void SetUp() override
    {
        settings.blockReads = true;
        settings.blockReadMax = 2;
        Begin(kModbusRtu, Pacing::Tick);
        const uint16_t addresses[] = {5, 6, 7, 9, 10};
        for (int s : {1, 2}) {
            m.AddListener(s, &client);
            m.AddMonitor(s, addresses);
        }
        m.SetPollRange(1, 2);
    }
    modbus::Request LastRequest() const { return *modbus::ParseRequest(line->written.back()); }
    void AnswerBlock(uint16_t base)
    {
        const modbus::Request r = LastRequest();
        std::vector<uint8_t> reply{static_cast<uint8_t>(r.station), 0x04, static_cast<uint8_t>(2 * r.value)};
        for (int i = 0; i < r.value; ++i) {
            reply.push_back(0);
            reply.push_back(static_cast<uint8_t>(base + i));
        }
        modbus::AppendCrc(reply);
        Feed(reply);
    }

    Recorder client;
};

TEST_F(BlockMonitorTest, monitorCycleReadsConsecutiveAddressesInBlocksUpToTheMaximum)
{
    std::vector<std::pair<uint16_t, uint16_t>> frames;  // wire register, count
    for (int i = 0; i < 3; ++i) {
        m.Tick();
        frames.emplace_back(LastRequest().reg, LastRequest().value);
        AnswerBlock(static_cast<uint16_t>(10 * i));
    }
    EXPECT_EQ(frames, (std::vector<std::pair<uint16_t, uint16_t>>{{4, 2}, {6, 1}, {8, 2}}));
    ASSERT_EQ(client.monitors.size(), 3u);
    EXPECT_EQ(client.monitors[0].count, 2);
    EXPECT_EQ(client.monitors[0].addresses[1], 6u);
    EXPECT_EQ(client.monitors[0].values[1], 1u);
    EXPECT_EQ(client.monitors[2].addresses[0], 9u);
    EXPECT_EQ(client.monitors[2].values[1], 21u);
    EXPECT_EQ(m.Health(1).valuesRefreshed, 5u);
    m.Tick();
    EXPECT_EQ(LastRequest().station, 2);  // the cycle moved on after five addresses
}

TEST_F(BlockMonitorTest, refusedBlockReadFallsBackToSingleReadsForThatStationOnly)
{
    m.Tick();
    ASSERT_EQ(LastRequest().value, 2);
    Feed(modbus::BuildException(1, modbus::kReadInput, 1));
    EXPECT_TRUE(client.monitors.empty());  // nobody hears of the refused block
    EXPECT_EQ(m.BlockReads(1), BlockReadUse::Refused);
    m.Tick();
    EXPECT_EQ(LastRequest().reg, 4);  // the same address again, alone
    EXPECT_EQ(LastRequest().value, 1);
    AnswerBlock(7);
    ASSERT_EQ(client.monitors.size(), 1u);
    EXPECT_EQ(client.monitors[0].values[0], 7u);
    EXPECT_EQ(client.monitors[0].retries, 0);
    for (int i = 0; i < 4; ++i) {
        m.Tick();
        EXPECT_EQ(LastRequest().value, 1);
        AnswerBlock(0);
    }
    m.Tick();
    EXPECT_EQ(LastRequest().station, 2);
    EXPECT_EQ(LastRequest().value, 2);  // station 2 still reads blocks
    EXPECT_EQ(m.BlockReads(2), BlockReadUse::On);
}

TEST_F(BlockMonitorTest, timedOutBlockReadFallsBackAndABusyDriveDoesNot)
{
    m.Tick();
    for (int i = 0; i < 40 && m.IsWaiting(); ++i)
        m.Tick();
    EXPECT_EQ(m.BlockReads(1), BlockReadUse::Refused);
    EXPECT_TRUE(client.monitors.empty());
    m.Tick();
    EXPECT_EQ(LastRequest().value, 1);
    AnswerBlock(0);
    for (int i = 0; i < 4; ++i) {
        m.Tick();
        AnswerBlock(0);
    }
    m.Tick();
    ASSERT_EQ(LastRequest().station, 2);
    Feed(modbus::BuildException(2, modbus::kReadInput, 6));  // busy: an answer, not a refusal
    EXPECT_EQ(m.BlockReads(2), BlockReadUse::On);
    ASSERT_FALSE(client.monitors.empty());
    EXPECT_EQ(client.monitors.back().error, ModbusExceptionError(6));
}

TEST_F(BlockMonitorTest, disabledBlockReadsReportOffAndReadSingly)
{
    settings.blockReads = false;
    ASSERT_EQ(m.Start(settings), 0);
    EXPECT_EQ(m.BlockReads(1), BlockReadUse::Off);
    m.Tick();
    EXPECT_EQ(LastRequest().value, 1);
}

}  // namespace

TEST_F(BlockMonitorTest, queuedBlockReadIsCutToTheMaximumAndGoesAloneAfterARefusal)
{
    Recorder editor;
    m.QueueBlockRead(2, 0x100, 5, &editor);
    m.Tick();
    EXPECT_EQ(LastRequest().station, 2);
    EXPECT_EQ(LastRequest().reg, 0xFF);
    EXPECT_EQ(LastRequest().value, 2);  // the maximum, not the five asked for
    AnswerBlock(40);
    ASSERT_EQ(editor.replies.size(), 1u);
    EXPECT_EQ(editor.replies[0].count, 2);
    EXPECT_EQ(editor.replies[0].addresses[1], 0x101u);
    EXPECT_EQ(editor.replies[0].values[1], 41u);

    m.QueueBlockRead(1, 0x102, 3, &editor);
    m.Tick();  // the monitor visit between requests
    AnswerBlock(0);
    m.Tick();
    ASSERT_EQ(LastRequest().value, 2);
    Feed(modbus::BuildException(1, modbus::kReadInput, 2));
    EXPECT_EQ(editor.replies.size(), 1u);  // the refused block is nobody's answer
    EXPECT_EQ(m.BlockReads(1), BlockReadUse::Refused);
    m.Tick();
    EXPECT_EQ(LastRequest().reg, 0x101);
    EXPECT_EQ(LastRequest().value, 1);
    AnswerBlock(9);
    ASSERT_EQ(editor.replies.size(), 2u);
    EXPECT_EQ(editor.replies[1].count, 1);
    EXPECT_EQ(editor.replies[1].addresses[0], 0x102u);
    EXPECT_EQ(editor.replies[1].values[0], 9u);
    EXPECT_EQ(editor.replies[1].error, kNoError);
}

TEST_F(PacedManagerTest, requestQueuedOnAnIdleLineWakesTheCallerAndIsDueAtOnce)
{
    Begin(kKx485);
    int wakes = 0;
    m.SetWorkNotifier([&] { ++wakes; });
    At(0);
    ASSERT_EQ(m.NextDueUs(), -1);
    nowUs = 500000;
    m.QueueRead(1, 5);
    EXPECT_EQ(wakes, 1);
    EXPECT_LE(m.NextDueUs(), nowUs);
    At(nowUs);
    EXPECT_EQ(Sent(), 1u);
    m.QueueRead(1, 6);  // the line is busy: the reply or the time-out steps it
    EXPECT_EQ(wakes, 1);

    CommManager ticked;
    ticked.SetPortFactory([this] { return std::make_unique<FakePort>(line); });
    ASSERT_EQ(ticked.Start(CommSettings{}), 0);
    ticked.SetWorkNotifier([&] { ++wakes; });
    ticked.QueueRead(1, 5);
    EXPECT_EQ(wakes, 1);  // the 30 ms tick needs no wake-up
}
