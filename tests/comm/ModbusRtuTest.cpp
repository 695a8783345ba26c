#include "comm/CommManager.h"
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

TEST(ModbusCrc, knownValues)
{
    EXPECT_EQ(Crc16({}), 0xFFFF);
    const std::string check = "123456789";
    EXPECT_EQ(Crc16({reinterpret_cast<const uint8_t*>(check.data()), check.size()}), 0x4B37);
    const Bytes read = {0x01, 0x04, 0x00, 0x00, 0x00, 0x01};
    EXPECT_EQ(Crc16(read), 0xCA31);
}

TEST(ModbusBuild, requestFrames)
{
    struct Case {
        RequestFrame frame;
        RequestFrame expected;
        size_t replyLength;
    };
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

TEST(ModbusEvaluate, replyTable)
{
    const RequestFrame read1 = BuildRead(1, 0x0001);
    const RequestFrame read2 = BuildRead(2, 0x0001);
    const RequestFrame write = BuildWrite(1, 0x0006, 2);
    Bytes damaged = {0x01, 0x04, 0x02, 0x17, 0x70, 0xB7, 0x25};
    struct Case {
        const char* name;
        Bytes reply;
        RequestFrame request;
        int error;
        uint16_t value;
    };
    const Case cases[] = {
        {"read ok", {0x01, 0x04, 0x02, 0x17, 0x70, 0xB7, 0x24}, read1, kNoError, 0x1770},
        {"last CRC byte damaged", damaged, read1, kCrcError, 0},
        {"byte count 4", WithCrc({0x01, 0x04, 0x04, 0x17, 0x70}), read1, kFrameError, 0},
        {"other station answers", WithCrc({0x01, 0x04, 0x02, 0x17, 0x70}), read2, kFrameError, 0},
        {"other function", WithCrc({0x01, 0x03, 0x02, 0x17, 0x70}), read1, kFrameError, 0},
        {"exception bit", WithCrc({0x01, 0x84, 0x02, 0x17, 0x70}), read1, kFrameError, 0},
        {"write echo", WithCrc({0x01, 0x06, 0x00, 0x05, 0x00, 0x02}), write, kNoError, 2},
        {"write echoes another register", WithCrc({0x01, 0x06, 0x00, 0x06, 0x00, 0x02}), write, kFrameError,
         0},
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

TEST(ModbusReceiver, completesAtTheExpectedLengthOnly)
{
    ReplyReceiver rx;
    for (uint8_t b : BuildReadReply(1, 5))
        EXPECT_FALSE(rx.Feed(b));  // no request yet: discarded
    rx.Expect(BuildRead(1, 1));
    const Bytes partial = BuildReadReply(1, 5);
    for (size_t i = 0; i < 5; ++i)
        EXPECT_FALSE(rx.Feed(partial[i]));  // five bytes of seven
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

// Exception replies as a drive sends them: station, function | 0x80, code, CRC low, CRC high.
struct ExceptionCase {
    const char* name;
    RequestFrame request;
    Bytes reply;
    int exception;
};

const ExceptionCase kExceptions[] = {
    {"read, illegal data address", BuildRead(1, 0x7001), {0x01, 0x84, 0x02, 0xC2, 0xC1}, 2},
    {"write, illegal data value", BuildWrite(1, 0xA101, 7000), {0x01, 0x86, 0x03, 0x02, 0x61}, 3},
    {"write, slave device failure", BuildWrite(5, 0xA108, 1), {0x05, 0x86, 0x04, 0x02, 0x62}, 4},
    {"read, unnamed code", BuildRead(17, 1), {0x11, 0x84, 0x09, 0x82, 0xC3}, 9},
};

TEST(ModbusException, goldenFramesMatchTheSlaveBuilder)
{
    for (const ExceptionCase& c : kExceptions)
        EXPECT_EQ(BuildException(c.request[0], c.request[1], c.exception), c.reply) << c.name;
}

TEST(ModbusException, completesAtItsFifthByteWhereverTheBytesAreSplit)
{
    for (const ExceptionCase& c : kExceptions) {
        for (size_t split = 0; split <= c.reply.size(); ++split) {
            ReplyReceiver rx;
            rx.Expect(c.request);
            // Bytes left over from an earlier reply are dropped when the request goes out.
            rx.Feed(0x55);
            rx.Reset();
            int completions = 0;
            for (size_t i = 0; i < split; ++i)
                completions += rx.Feed(c.reply[i]);
            EXPECT_EQ(completions, split == c.reply.size() ? 1 : 0) << c.name << " split " << split;
            for (size_t i = split; i < c.reply.size(); ++i)
                EXPECT_EQ(rx.Feed(c.reply[i]), i + 1 == c.reply.size()) << c.name << " split " << split;
            ASSERT_EQ(rx.Frame().size(), kExceptionLength) << c.name;
            const Evaluation ev = Evaluate(rx.Frame(), c.request);
            EXPECT_EQ(ev.error, ModbusExceptionError(c.exception)) << c.name;
            EXPECT_EQ(ModbusExceptionCode(ev.error), c.exception) << c.name;
        }
    }
}

TEST(ModbusException, damagedOrForeignOnesAreNoAnswer)
{
    for (const ExceptionCase& c : kExceptions) {
        Bytes damaged = c.reply;
        damaged[4] ^= 0x01;
        Bytes foreign = BuildException(c.request[0] + 1, c.request[1], c.exception);
        Bytes otherFunction =
            BuildException(c.request[0], c.request[1] == kReadInput ? kWriteSingle : kReadInput, c.exception);
        for (const Bytes& reply : {damaged, foreign, otherFunction}) {
            ReplyReceiver rx;
            rx.Expect(c.request);
            for (uint8_t b : reply)
                EXPECT_FALSE(rx.Feed(b)) << c.name;  // still waiting for the full reply, as before
            // Whatever completes the expected length is then a frame error.
            size_t n = reply.size();
            bool complete = false;
            while (!complete && n++ < ExpectedReplyLength(c.request))
                complete = rx.Feed(0x00);
            ASSERT_TRUE(complete) << c.name;
            EXPECT_EQ(Evaluate(rx.Frame(), c.request).error, kFrameError) << c.name;
            EXPECT_FALSE(IsModbusException(Evaluate(reply, c.request).error)) << c.name;
        }
    }
}

TEST(ModbusException, textsNameTheStandardCodesAndKeepTheOldTable)
{
    EXPECT_STREQ(CommManager::ErrorText(ModbusExceptionError(1)), "Modbus Exception 1 (Illegal Function)");
    EXPECT_STREQ(CommManager::ErrorText(ModbusExceptionError(2)),
                 "Modbus Exception 2 (Illegal Data Address)");
    EXPECT_STREQ(CommManager::ErrorText(ModbusExceptionError(3)), "Modbus Exception 3 (Illegal Data Value)");
    EXPECT_STREQ(CommManager::ErrorText(ModbusExceptionError(4)),
                 "Modbus Exception 4 (Slave Device Failure)");
    EXPECT_STREQ(CommManager::ErrorText(ModbusExceptionError(6)), "Modbus Exception 6 (Slave Device Busy)");
    EXPECT_STREQ(CommManager::ErrorText(ModbusExceptionError(11)),
                 "Modbus Exception 11 (Gateway Target Device Failed to Respond)");
    EXPECT_STREQ(CommManager::ErrorText(ModbusExceptionError(9)), "Modbus Exception 9");
    EXPECT_STREQ(CommManager::ErrorText(ModbusExceptionError(255)), "Modbus Exception 255");
    EXPECT_STREQ(CommManager::ErrorText(kModbusExceptionCode), "Modbus Exception Code");
    EXPECT_STREQ(CommManager::ErrorText(kModbusExceptionBase + 256), "Undefined Error");
    EXPECT_STREQ(CommManager::ErrorText(kModbusExceptionBase - 1), "Undefined Error");
    EXPECT_FALSE(IsFinalError(kTimeoutError));
    EXPECT_TRUE(IsFinalError(ModbusExceptionError(0)));
    EXPECT_EQ(ModbusExceptionCode(kCrcError), -1);
}

TEST(ModbusSlave, buildsRepliesTheMasterAccepts)
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

TEST(ModbusFuzz, randomRepliesNeverReadOutsideTheBuffer)
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
