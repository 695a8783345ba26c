#include "comm/CommReply.h"
#include "comm/Kx485.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

using namespace vm;
using namespace vm::kx485;

namespace {

std::vector<uint8_t> B(std::string_view s)
{
    return {s.begin(), s.end()};
}
std::string Ack(std::string_view text, std::string_view sum)
{
    return "\x06" + std::string(text) + std::string(sum) + "\x04";
}
// A positive reply with a correct checksum.
std::string Ack(std::string_view text)
{
    return Frame(text, kAck);
}

TEST(Kx485Build, requestTextsAndChecksums)
{
    struct Case {
        std::string text;
        std::string expected;
        uint8_t sum;
    };
    const uint16_t two[] = {0x0005, 0x000A};
    const uint16_t nine[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    const Case cases[] = {
        {BuildRead(1, 0x0005), "01R00051", 0xA9},
        {BuildWrite(1, 0x0005, 3000), "01W000510BB8", 0x9A},
        {BuildWrite(0xFE, 0xABCD, 0x12345), "FEWABCD12345", 0},  // value masked to 16 bits
        {BuildRegister(1, two), "01X20005000A", 0x81},
        {BuildRegister(1, nine), "01X800010002000300040005000600070008", 0},
        {BuildExecute(1), "01Y", 0xBA},
        {BuildExecute(255), "FFY", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.text, c.expected);
        if (c.sum) {
            EXPECT_EQ(Checksum(c.text), c.sum) << c.text;
        }
    }
    EXPECT_EQ(Checksum(std::string_view("")), 0);
    EXPECT_EQ(Frame("01R00051"),
              "\x05"
              "01R00051A9\x04");
    EXPECT_EQ(Frame("01Y").size(), 7u);
    EXPECT_EQ(Frame(BuildRegister(1, two)).size(), 8u + 4 * 2);
}

struct EvalCase {
    const char* name;
    std::string frame;
    Expected expected;
    int error;
    std::vector<uint16_t> values;
};

TEST(Kx485Evaluate, replyTable)
{
    const EvalCase cases[] = {
        {"read ok", Ack("01R1770", "82"), {1, 'R', 1}, kNoError, {0x1770}},
        {"lower-case hex", Ack("01R17f0"), {1, 'R', 1}, kNoError, {0x17F0}},
        {"checksum off by one", Ack("01R1770", "83"), {1, 'R', 1}, kSumError, {}},
        {"checksum not hex", Ack("01R1770", "8G"), {1, 'R', 1}, kSumError, {}},
        {"other station", Ack("02R1770"), {1, 'R', 1}, kFrameError, {}},
        {"other command", Ack("01W1770"), {1, 'R', 1}, kFrameError, {}},
        {"no data", Ack("01R"), {1, 'R', 1}, kFrameError, {}},
        {"data not hex", Ack("01R17G0"), {1, 'R', 1}, kFrameError, {}},
        {"half a word too many", Ack("01R17700"), {1, 'R', 1}, kFrameError, {}},
        {"Y three words", Ack("01Y000100020003"), {1, 'Y', 3}, kNoError, {1, 2, 3}},
        {"Y two of three", Ack("01Y00010002"), {1, 'Y', 3}, kFrameError, {}},
        {"Y four of three", Ack("01Y0001000200030004"), {1, 'Y', 3}, kFrameError, {}},
        {"Y nine of eight", Ack("01Y" + std::string(36, '0')), {1, 'Y', 8}, kFrameError, {}},
        {"X no data", Ack("01X"), {1, 'X', 0}, kNoError, {}},
        {"write echo", Ack("01W0BB8"), {1, 'W', 1}, kNoError, {0x0BB8}},
        {"too short",
         "\x06"
         "01\x04",
         {1, 'R', 1},
         kFrameError,
         {}},
        {"only EOT", "\x04", {1, 'R', 1}, kFrameError, {}},
    };
    for (const EvalCase& c : cases) {
        Evaluation ev = Evaluate(B(c.frame), c.expected);
        EXPECT_EQ(ev.error, c.error) << c.name;
        EXPECT_FALSE(ev.notReply) << c.name;
        if (c.error == kNoError) {
            ASSERT_EQ(ev.count, static_cast<int>(c.values.size())) << c.name;
            for (size_t i = 0; i < c.values.size(); ++i)
                EXPECT_EQ(ev.values[i], c.values[i]) << c.name;
        }
    }
}

TEST(Kx485Evaluate, negativeRepliesMapTheirCodes)
{
    const std::pair<const char*, int> codes[] = {
        {"IF", kIllegalFunction},   {"IA", kAddressRangeError}, {"ID", kDataRangeError},
        {"WM", kWriteModeError},    {"FE", kFrameError},        {"TO", kDpramTimeoutError},
        {"DO", kDpramOfflineError}, {"ZZ", kUndefinedError},    {"ia", kUndefinedError},
    };
    for (auto [code, error] : codes)
        EXPECT_EQ(Evaluate(B(BuildNak(3, 'W', code)), {3, 'W', 1}).error, error) << code;
    // A negative reply is still checked for its checksum and echo first.
    EXPECT_EQ(Evaluate(B(BuildNak(4, 'W', "IA")), {3, 'W', 1}).error, kFrameError);
}

TEST(Kx485Evaluate, echoOfOurOwnRequestIsNoReply)
{
    Evaluation ev = Evaluate(B(Frame(BuildRead(1, 5))), {1, 'R', 1});
    EXPECT_TRUE(ev.notReply);
    EXPECT_EQ(ev.count, 0);
}

TEST(Kx485Receiver, ackOrNakRestartsTheFrame)
{
    FrameReceiver rx;
    for (uint8_t b : B("noise\x15"
                       "01"))
        EXPECT_FALSE(rx.Feed(b));
    bool done = false;
    for (uint8_t b : B(Ack("01R1770", "82")))
        done = rx.Feed(b);
    EXPECT_TRUE(done);
    EXPECT_EQ(std::string(rx.Frame().begin(), rx.Frame().end()), Ack("01R1770", "82"));
    EXPECT_EQ(Evaluate(rx.Frame(), {1, 'R', 1}).error, kNoError);
}

TEST(Kx485Receiver, overlongFrameIsCutAt300BytesAndStillEvaluated)
{
    FrameReceiver rx;
    rx.Feed(kAck);
    for (int i = 0; i < 1000; ++i)
        EXPECT_FALSE(rx.Feed('7'));
    EXPECT_TRUE(rx.Feed(kEot));
    EXPECT_EQ(rx.Frame().size(), FrameReceiver::kCapacity);
    EXPECT_EQ(Evaluate(rx.Frame(), {0x77, 'R', 1}).error, kSumError);
}

TEST(Kx485Receiver, cutFrameIsRefusedEvenWhenTheBytesAtTheCutLookLikeItsChecksum)
{
    // An acknowledgement of a registration carries no data, so only the missing EOT tells a
    // frame cut at the buffer's end from a reply: lead, 296 characters, two that happen to be
    // their checksum, one more that is kept, and the rest lost.
    const std::string text = "01X" + std::string(FrameReceiver::kCapacity - 7, '0');
    char sum[3];
    std::snprintf(sum, sizeof sum, "%02X", Checksum(text));
    FrameReceiver rx;
    for (uint8_t b : B("\x06" + text + sum + "0000"))
        EXPECT_FALSE(rx.Feed(b));
    EXPECT_TRUE(rx.Feed(kEot));
    ASSERT_EQ(rx.Frame().size(), FrameReceiver::kCapacity);
    EXPECT_EQ(Evaluate(rx.Frame(), {1, 'X', 0}).error, kFrameError);
}

TEST(Kx485Slave, requestsRoundTripThroughTheSlaveParser)
{
    const uint16_t addrs[] = {5, 10, 0xFFFF};
    struct Case {
        std::string frame;
        char command;
        uint16_t address;
        uint16_t value;
        size_t addresses;
    };
    const Case cases[] = {
        {Frame(BuildRead(0x1F, 0x1234)), 'R', 0x1234, 0, 0},
        {Frame(BuildWrite(2, 5, 0xBEEF)), 'W', 5, 0xBEEF, 0},
        {Frame(BuildRegister(3, addrs)), 'X', 0, 0, 3},
        {Frame(BuildExecute(4)), 'Y', 0, 0, 0},
    };
    for (const Case& c : cases) {
        int error = -1;
        auto r = ParseRequest(B(c.frame), &error);
        ASSERT_TRUE(r.has_value()) << c.frame;
        EXPECT_EQ(error, kNoError);
        EXPECT_EQ(r->command, c.command);
        EXPECT_EQ(r->address, c.address);
        EXPECT_EQ(r->value, c.value);
        EXPECT_EQ(r->addresses.size(), c.addresses);
    }
    EXPECT_EQ(ParseRequest(B(Frame(BuildRegister(3, addrs))))->addresses[2], 0xFFFF);

    int error = 0;
    std::string bad = Frame(BuildRead(1, 5));
    bad[bad.size() - 2] = 'A';
    EXPECT_FALSE(ParseRequest(B(bad), &error));
    EXPECT_EQ(error, kSumError);
    EXPECT_FALSE(ParseRequest(B(Frame("01R0005")), &error));  // missing word count
    EXPECT_EQ(error, kFrameError);
    EXPECT_FALSE(ParseRequest(B(Frame("01Q")), &error));
    EXPECT_FALSE(ParseRequest(B(Frame("01X9" + std::string(36, '0'))), &error));  // nine addresses
    EXPECT_FALSE(ParseRequest(B(Ack("01R1770", "82")), &error));                  // a reply, not a request

    FrameReceiver slave(FrameReceiver::Side::Slave);
    bool done = false;
    for (uint8_t b : B("\x06junk" + Frame("01Y")))
        done = slave.Feed(b);
    ASSERT_TRUE(done);
    EXPECT_TRUE(ParseRequest(slave.Frame()).has_value());
}

TEST(Kx485Fuzz, randomFramesNeverReadOutsideTheBuffer)
{
    std::mt19937 rng(42);
    static constexpr uint8_t kAlphabet[] = {kAck, kNak, kEnq, kEot, '0', '1', 'A',
                                            'F',  'R',  'W',  'X',  'Y', 'I', 'z'};
    for (int round = 0; round < 20000; ++round) {
        std::vector<uint8_t> frame(rng() % 40);
        for (uint8_t& b : frame)
            b = rng() % 2 ? kAlphabet[rng() % std::size(kAlphabet)] : static_cast<uint8_t>(rng());
        // Exact-size heap copies so that ASan catches a read one past the end.
        auto heap = std::make_unique<uint8_t[]>(frame.size());
        std::copy(frame.begin(), frame.end(), heap.get());
        std::span<const uint8_t> span(heap.get(), frame.size());
        Evaluation ev =
            Evaluate(span, {static_cast<int>(rng() % 3), "RWXY"[rng() % 4], static_cast<int>(rng() % 9)});
        EXPECT_LE(ev.count, kMaxWords);
        ParseRequest(span);
    }
}

}  // namespace
