#include "comm/CommReply.h"
#include "comm/ModbusRtu.h"

#include <gtest/gtest.h>

#include <random>

using namespace vm;
using namespace vm::modbus;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes WithCrc(Bytes frame)
{
    AppendCrc(frame);
    return frame;
}

TEST(ModbusCrc, KnownValues)
{
    EXPECT_EQ(Crc16({}), 0xFFFF);
    const std::string check = "123456789";
    EXPECT_EQ(Crc16({reinterpret_cast<const uint8_t*>(check.data()), check.size()}), 0x4B37);
    const Bytes read = {0x01, 0x04, 0x00, 0x00, 0x00, 0x01};
    EXPECT_EQ(Crc16(read), 0xCA31);
}

TEST(ModbusBuild, RequestFrames)
{
    struct Case { RequestFrame frame; RequestFrame expected; size_t replyLength; };
    const Case cases[] = {
        {BuildRead(1, 0x0001), {0x01, 0x04, 0x00, 0x00, 0x00, 0x01, 0x31, 0xCA}, 7},
        {BuildWrite(1, 0x0006, 2), {0x01, 0x06, 0x00, 0x05, 0x00, 0x02, 0x18, 0x0A}, 8},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.frame, c.expected);
        EXPECT_EQ(ExpectedReplyLength(c.frame), c.replyLength);
    }
    // Address 0 wraps to register 0xFFFF on the wire.
    RequestFrame zero = BuildRead(3, 0);
    EXPECT_EQ(zero[2], 0xFF);
    EXPECT_EQ(zero[3], 0xFF);
    EXPECT_EQ(ParseRequest(zero)->reg, 0xFFFF);
}

TEST(ModbusEvaluate, ReplyTable)
{
    const RequestFrame read1 = BuildRead(1, 0x0001);
    const RequestFrame read2 = BuildRead(2, 0x0001);
    const RequestFrame write = BuildWrite(1, 0x0006, 2);
    Bytes damaged = {0x01, 0x04, 0x02, 0x17, 0x70, 0xB7, 0x25};
    struct Case { const char* name; Bytes reply; RequestFrame request; int error; uint16_t value; };
    const Case cases[] = {
        {"read ok", {0x01, 0x04, 0x02, 0x17, 0x70, 0xB7, 0x24}, read1, kNoError, 0x1770},
        {"last CRC byte damaged", damaged, read1, kCrcError, 0},
        {"byte count 4", WithCrc({0x01, 0x04, 0x04, 0x17, 0x70}), read1, kFrameError, 0},
        {"other station answers", WithCrc({0x01, 0x04, 0x02, 0x17, 0x70}), read2, kFrameError, 0},
        {"other function", WithCrc({0x01, 0x03, 0x02, 0x17, 0x70}), read1, kFrameError, 0},
        {"exception bit", WithCrc({0x01, 0x84, 0x02, 0x17, 0x70}), read1, kFrameError, 0},
        {"write echo", WithCrc({0x01, 0x06, 0x00, 0x05, 0x00, 0x02}), write, kNoError, 2},
        {"write echoes another register", WithCrc({0x01, 0x06, 0x00, 0x06, 0x00, 0x02}), write, kFrameError, 0},
        {"write reply too short", WithCrc({0x01, 0x06, 0x00, 0x05, 0x00}), write, kFrameError, 0},
    };
    for (const Case& c : cases) {
        Evaluation ev = Evaluate(c.reply, c.request);
        EXPECT_EQ(ev.error, c.error) << c.name;
        if (c.error == kNoError) {
            EXPECT_EQ(ev.value, c.value) << c.name;
        }
    }
}

TEST(ModbusReceiver, CompletesAtTheExpectedLengthOnly)
{
    ReplyReceiver rx;
    for (uint8_t b : BuildReadReply(1, 5))
        EXPECT_FALSE(rx.Feed(b));  // no request yet: discarded
    rx.Expect(BuildRead(1, 1));
    for (uint8_t b : BuildException(1, 4, 2))
        EXPECT_FALSE(rx.Feed(b));  // five bytes of seven
    rx.Reset();
    const Bytes reply = BuildReadReply(1, 0xBEEF);
    for (size_t i = 0; i < reply.size(); ++i)
        EXPECT_EQ(rx.Feed(reply[i]), i + 1 == reply.size());
    EXPECT_EQ(Evaluate(rx.Frame(), BuildRead(1, 1)).value, 0xBEEF);
    // The next reply starts afresh.
    for (uint8_t b : BuildReadReply(1, 0x0102))
        rx.Feed(b);
    EXPECT_EQ(Evaluate(rx.Frame(), BuildRead(1, 1)).value, 0x0102);
}

TEST(ModbusSlave, BuildsRepliesTheMasterAccepts)
{
    auto req = ParseRequest(BuildWrite(9, 0x0100, 0x55AA));
    ASSERT_TRUE(req.has_value());
    EXPECT_EQ(req->station, 9);
    EXPECT_EQ(req->function, kWriteSingle);
    EXPECT_EQ(req->reg, 0x00FF);
    EXPECT_EQ(req->value, 0x55AA);
    Evaluation ev = Evaluate(BuildWriteReply(9, req->reg, req->value), BuildWrite(9, 0x0100, 0x55AA));
    EXPECT_EQ(ev.error, kNoError);
    EXPECT_EQ(ev.value, 0x55AA);
    RequestFrame corrupt = BuildRead(1, 1);
    corrupt[3] ^= 1;
    EXPECT_FALSE(ParseRequest(corrupt).has_value());
    EXPECT_FALSE(ParseRequest(Bytes{0x01, 0x04}).has_value());
}

TEST(ModbusFuzz, RandomRepliesNeverReadOutsideTheBuffer)
{
    std::mt19937 rng(7);
    for (int round = 0; round < 20000; ++round) {
        Bytes reply(rng() % 12);
        for (uint8_t& b : reply)
            b = static_cast<uint8_t>(rng());
        auto heap = std::make_unique<uint8_t[]>(reply.size());
        std::copy(reply.begin(), reply.end(), heap.get());
        std::span<const uint8_t> span(heap.get(), reply.size());
        RequestFrame req = rng() % 2 ? BuildRead(1, 5) : BuildWrite(1, 5, 6);
        req[1] = rng() % 5 == 0 ? static_cast<uint8_t>(rng()) : req[1];
        Evaluation ev = Evaluate(span, req);
        if (reply.size() != ExpectedReplyLength(req)) {
            EXPECT_NE(ev.error, kNoError);
        }
        ParseRequest(span);
    }
}

}  // namespace
