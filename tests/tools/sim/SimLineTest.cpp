#include "tools/sim/SimLine.h"

#include "comm/CommReply.h"
#include "comm/Kx485.h"
#include "comm/ModbusRtu.h"

#include <gtest/gtest.h>

namespace vm::sim {
namespace {

std::vector<uint8_t> Bytes(const std::string& text)
{
    return {text.begin(), text.end()};
}

// A line with station 1 (model 10) and station 5 (model 4), answering at once.
class SimLineTest : public ::testing::Test {
protected:
    void MakeLine(Protocol protocol, LineFaults faults = {})
    {
        line_ = std::make_unique<SimLine>(protocol, faults);
        ASSERT_NE(line_->AddStation({1, 10, 0x0015, 1, 1}, {{0xA110, 0, 100, 40, true, false, false}}),
                  nullptr);
        ASSERT_NE(line_->AddStation({5, 4, 0x0105, 4, 1}, {}), nullptr);
    }

    std::vector<uint8_t> Exchange(const std::vector<uint8_t>& request)
    {
        now_ += 50;
        line_->Receive(request, now_);
        return line_->TakeDue(now_);
    }
    std::vector<uint8_t> Kx(const std::string& text) { return Exchange(Bytes(kx485::Frame(text))); }
    kx485::Evaluation KxEval(const std::string& text, char command, int words)
    {
        const std::vector<uint8_t> reply = Kx(text);
        return kx485::Evaluate(reply, {std::stoi(text.substr(0, 2), nullptr, 16), command, words});
    }
    std::vector<uint8_t> Mb(const modbus::RequestFrame& frame)
    {
        return Exchange({frame.begin(), frame.end()});
    }

    std::unique_ptr<SimLine> line_;
    int64_t now_ = 0;
};

TEST_F(SimLineTest, kx485ReadWriteAndRefusalsAsTheMasterParsesThem)
{
    MakeLine(Protocol::Kx485);
    auto model = KxEval(kx485::BuildRead(1, 0), 'R', 1);
    EXPECT_EQ(model.error, kNoError);
    EXPECT_EQ(model.values[0], 10);
    EXPECT_EQ(KxEval(kx485::BuildRead(5, 3), 'R', 1).values[0], 0x0105);

    auto write = KxEval(kx485::BuildWrite(1, 0xA110, 99), 'W', 1);
    EXPECT_EQ(write.error, kNoError);
    EXPECT_EQ(write.values[0], 99);
    EXPECT_EQ(KxEval(kx485::BuildRead(1, 0xA110), 'R', 1).values[0], 99);

    EXPECT_EQ(KxEval(kx485::BuildWrite(1, 0xA110, 101), 'W', 1).error, kDataRangeError);
    EXPECT_EQ(KxEval(kx485::BuildWrite(1, 10, 1), 'W', 1).error, kWriteModeError);
    EXPECT_EQ(KxEval(kx485::BuildRead(1, 0x7777), 'R', 1).error, kAddressRangeError);

    // No station 2 on the line, and nothing for the broadcast ID.
    EXPECT_TRUE(Kx(kx485::BuildRead(2, 0)).empty());
    EXPECT_TRUE(Kx(kx485::BuildRead(0, 0)).empty());
}

TEST_F(SimLineTest, kx485BadFramesGetFrameErrorOrIllegalFunction)
{
    MakeLine(Protocol::Kx485);
    std::string frame = kx485::Frame(kx485::BuildRead(1, 0));
    frame[frame.size() - 2] = frame[frame.size() - 2] == '0' ? '1' : '0';  // checksum
    EXPECT_EQ(kx485::Evaluate(Exchange(Bytes(frame)), {1, 'R', 1}).error, kFrameError);

    const std::vector<uint8_t> reply = Kx("01Q");
    ASSERT_GE(reply.size(), 6u);
    EXPECT_EQ(reply[0], kx485::kNak);
    EXPECT_EQ(std::string(reply.begin() + 4, reply.begin() + 6), "IF");

    // Noise before the ENQ is skipped, and the request still answered.
    std::vector<uint8_t> noisy = {0x00, 0xFF, 'x'};
    const std::string read = kx485::Frame(kx485::BuildRead(1, 0));
    noisy.insert(noisy.end(), read.begin(), read.end());
    EXPECT_EQ(kx485::Evaluate(Exchange(noisy), {1, 'R', 1}).values[0], 10);
}

TEST_F(SimLineTest, kx485MonitorRegistrationAnswersEveryYInOrder)
{
    MakeLine(Protocol::Kx485);
    const uint16_t addresses[] = {14, 0, 3, 0xA110};
    EXPECT_EQ(KxEval(kx485::BuildRegister(1, addresses), 'X', 0).error, kNoError);
    auto y = KxEval(kx485::BuildExecute(1), 'Y', 4);
    ASSERT_EQ(y.error, kNoError);
    EXPECT_EQ(y.values[0], 0x0001);  // stopped
    EXPECT_EQ(y.values[1], 10);
    EXPECT_EQ(y.values[2], 0x0015);
    EXPECT_EQ(y.values[3], 40);

    // An address the drive lacks refuses the registration and keeps the old one.
    const uint16_t bad[] = {5, 0x7777};
    EXPECT_EQ(KxEval(kx485::BuildRegister(1, bad), 'X', 0).error, kAddressRangeError);
    EXPECT_EQ(KxEval(kx485::BuildExecute(1), 'Y', 4).error, kNoError);
    // Registrations are per station.
    EXPECT_EQ(KxEval(kx485::BuildExecute(5), 'Y', 0).error, kNoError);
}

TEST_F(SimLineTest, modbusReadsWritesAndExceptions)
{
    MakeLine(Protocol::Modbus);
    const auto read = modbus::BuildRead(1, 3);
    EXPECT_EQ(modbus::Evaluate(Mb(read), read).value, 0x0015);
    const auto write = modbus::BuildWrite(1, 0xA110, 77);
    EXPECT_EQ(modbus::Evaluate(Mb(write), write).error, kNoError);
    const auto readBack = modbus::BuildRead(1, 0xA110);
    EXPECT_EQ(modbus::Evaluate(Mb(readBack), readBack).value, 77);

    auto exceptionOf = [this](const modbus::RequestFrame& frame) {
        const std::vector<uint8_t> reply = Mb(frame);
        EXPECT_EQ(reply.size(), 5u);
        EXPECT_EQ(reply[1], frame[1] | 0x80);
        return reply.size() > 2 ? reply[2] : -1;
    };
    EXPECT_EQ(exceptionOf(modbus::BuildRead(1, 0x7777)), 2);
    EXPECT_EQ(exceptionOf(modbus::BuildWrite(1, 0xA110, 101)), 3);
    EXPECT_EQ(exceptionOf(modbus::BuildWrite(1, 9, 1)), 4);

    // Several registers at once (function 3), and a function the drives lack.
    std::vector<uint8_t> multi = {1, 3, 0xFF, 0xFF, 0x00, 0x04};  // wire register 0xFFFF is address 0
    modbus::AppendCrc(multi);
    const std::vector<uint8_t> reply = Exchange(multi);
    const std::vector<uint8_t> expect = {1, 3, 8, 0, 10, 0, 1, 0, 1, 0, 0x15};
    ASSERT_EQ(reply.size(), expect.size() + 2);
    EXPECT_TRUE(std::equal(expect.begin(), expect.end(), reply.begin()));
    std::vector<uint8_t> unknown = {1, 0x2B, 0x0E};
    modbus::AppendCrc(unknown);
    const std::vector<uint8_t> refused = Exchange(unknown);
    ASSERT_EQ(refused.size(), 5u);
    EXPECT_EQ(refused[2], 1);
}

TEST_F(SimLineTest, modbusWriteMultipleAndBroadcast)
{
    MakeLine(Protocol::Modbus);
    std::vector<uint8_t> multi = {1, 0x10, 0x00, 0x06, 0x00, 0x02, 0x04, 0x00, 0x0A, 0x00, 0x14};
    modbus::AppendCrc(multi);  // address 7 and 8: ramp times 1.0 s and 2.0 s
    const std::vector<uint8_t> reply = Exchange(multi);
    ASSERT_EQ(reply.size(), 8u);
    EXPECT_EQ(reply[5], 2);
    const auto dec = modbus::BuildRead(1, 8);
    EXPECT_EQ(modbus::Evaluate(Mb(dec), dec).value, 20);

    const auto broadcast = modbus::BuildWrite(0, 5, 1234);
    EXPECT_TRUE(Mb(broadcast).empty());
    const auto atFive = modbus::BuildRead(5, 5);
    EXPECT_EQ(modbus::Evaluate(Mb(atFive), atFive).value, 1234);
}

TEST_F(SimLineTest, modbusFramesSurviveSplitsNoiseAndBadCrc)
{
    MakeLine(Protocol::Modbus);
    const auto read = modbus::BuildRead(1, 0);
    const std::vector<uint8_t> bytes(read.begin(), read.end());
    for (size_t split = 1; split < bytes.size(); ++split) {
        line_->Receive({bytes.data(), split}, ++now_);
        EXPECT_TRUE(line_->TakeDue(now_).empty());
        line_->Receive({bytes.data() + split, bytes.size() - split}, ++now_);
        EXPECT_EQ(modbus::Evaluate(line_->TakeDue(now_), read).value, 10) << "split at " << split;
    }
    // A damaged request is not answered; the next good one is.
    auto bad = bytes;
    bad[7] ^= 0x01;
    EXPECT_TRUE(Exchange(bad).empty());
    std::vector<uint8_t> noisy = {0x42, 0x99};
    noisy.insert(noisy.end(), bytes.begin(), bytes.end());
    EXPECT_EQ(modbus::Evaluate(Exchange(noisy), read).value, 10);
    // A fragment followed by silence is forgotten.
    line_->Receive({bytes.data(), 3}, now_ += 10);
    line_->Receive(bytes, now_ += SimLine::kFrameGapMs + 1);
    EXPECT_EQ(modbus::Evaluate(line_->TakeDue(now_), read).value, 10);
}

TEST_F(SimLineTest, autoModeTellsTheProtocolsApartByEachRequest)
{
    MakeLine(Protocol::Auto);
    // A Modbus frame to station 5 starts with the same byte as ENQ.
    const auto read = modbus::BuildRead(5, 0);
    EXPECT_EQ(modbus::Evaluate(Mb(read), read).value, 4);
    EXPECT_EQ(KxEval(kx485::BuildRead(5, 0), 'R', 1).values[0], 4);
    const auto write = modbus::BuildWrite(1, 0xA110, 3);
    EXPECT_EQ(modbus::Evaluate(Mb(write), write).error, kNoError);
    EXPECT_EQ(KxEval(kx485::BuildRead(1, 0xA110), 'R', 1).values[0], 3);
}

TEST_F(SimLineTest, faultInjectionDropsCorruptsDelaysAndEchoes)
{
    MakeLine(Protocol::Kx485, {1.0, 0, 0, false, 7});
    EXPECT_TRUE(Kx(kx485::BuildRead(1, 0)).empty());
    EXPECT_EQ(line_->Counters().dropped, 1u);

    MakeLine(Protocol::Kx485, {0, 1.0, 0, false, 7});
    EXPECT_EQ(KxEval(kx485::BuildRead(1, 0), 'R', 1).error, kSumError);
    MakeLine(Protocol::Modbus, {0, 1.0, 0, false, 7});
    const auto read = modbus::BuildRead(1, 0);
    EXPECT_EQ(modbus::Evaluate(Mb(read), read).error, kCrcError);

    MakeLine(Protocol::Kx485, {0, 0, 120, false, 7});
    line_->Receive(Bytes(kx485::Frame(kx485::BuildRead(1, 0))), 1000);
    ASSERT_TRUE(line_->NextDue().has_value());
    EXPECT_EQ(*line_->NextDue(), 1120);
    EXPECT_TRUE(line_->TakeDue(1119).empty());
    EXPECT_EQ(kx485::Evaluate(line_->TakeDue(1120), {1, 'R', 1}).values[0], 10);
    EXPECT_FALSE(line_->NextDue().has_value());

    MakeLine(Protocol::Kx485, {0, 0, 0, true, 7});
    const std::string request = kx485::Frame(kx485::BuildRead(1, 0));
    const std::vector<uint8_t> heard = Kx(kx485::BuildRead(1, 0));
    ASSERT_GT(heard.size(), request.size());
    EXPECT_EQ(std::string(heard.begin(), heard.begin() + static_cast<long>(request.size())), request);
    const std::vector<uint8_t> reply(heard.begin() + static_cast<long>(request.size()), heard.end());
    EXPECT_EQ(kx485::Evaluate(reply, {1, 'R', 1}).values[0], 10);
}

TEST_F(SimLineTest, sameSeedDropsTheSameReplies)
{
    auto pattern = [this](uint64_t seed) {
        MakeLine(Protocol::Kx485, {0.5, 0, 0, false, seed});
        std::string answered;
        for (int i = 0; i < 64; ++i)
            answered += Kx(kx485::BuildRead(1, 0)).empty() ? '-' : '+';
        return answered;
    };
    const std::string first = pattern(42);
    EXPECT_EQ(first, pattern(42));
    EXPECT_NE(first, pattern(43));
    EXPECT_NE(first.find('+'), std::string::npos);
    EXPECT_NE(first.find('-'), std::string::npos);
}

TEST_F(SimLineTest, consoleCommandsDriveTheStations)
{
    MakeLine(Protocol::Kx485);
    EXPECT_EQ(line_->Command("trip 1 3", now_).text, "ok");
    EXPECT_EQ(KxEval(kx485::BuildRead(1, 15), 'R', 1).values[0], 0x0008);
    EXPECT_EQ(line_->Command("reset 1", now_).text, "ok");
    EXPECT_EQ(KxEval(kx485::BuildRead(1, 15), 'R', 1).values[0], 0);

    EXPECT_EQ(line_->Command("silence 5", now_).text, "ok");
    EXPECT_TRUE(Kx(kx485::BuildRead(5, 0)).empty());
    EXPECT_EQ(line_->Command("  revive   5 ", now_).text, "ok");
    EXPECT_EQ(KxEval(kx485::BuildRead(5, 0), 'R', 1).values[0], 4);

    EXPECT_EQ(line_->Command("set 1 0xA110 -1", now_).text, "ok");
    EXPECT_EQ(KxEval(kx485::BuildRead(1, 0xA110), 'R', 1).values[0], 0xFFFF);
    EXPECT_EQ(line_->Command("load 1 150", now_).text, "ok");
    EXPECT_EQ(line_->Station(1)->Load(), 150);
    EXPECT_TRUE(line_->Command("quit", now_).quit);
    EXPECT_EQ(line_->Command("counters", now_).text,
              "ok requests " + std::to_string(line_->Counters().requests) + " replies " +
                  std::to_string(line_->Counters().replies) + " dropped 0 corrupted 0");

    for (const char* bad :
         {"trip 9 0", "trip 1 40", "set 1 10 5", "set 1 5", "fly 1", "reset x", "load 1 500", "",
          "load 1 --5", "counters 1", "set 1 5 --9223372036854775808", "set 1 5 0x-5"}) {
        const SimLine::CommandResult result = line_->Command(bad, now_);
        EXPECT_EQ(result.text.rfind("error: ", 0), 0u) << bad << " -> " << result.text;
        EXPECT_FALSE(result.quit);
    }
}

TEST_F(SimLineTest, drivesRunOnTheLineClock)
{
    MakeLine(Protocol::Kx485);
    Kx(kx485::BuildWrite(1, 7, 10));  // 1.0 s
    Kx(kx485::BuildWrite(1, 6, 2));
    line_->AdvanceTo(now_ += 500);
    EXPECT_EQ(KxEval(kx485::BuildRead(1, 10), 'R', 1).values[0], 3000 + 50 * 6000 / 1000);
    EXPECT_EQ(line_->AddStation({1, 4, 0x0105, 0, 0}, {}), nullptr);
    EXPECT_EQ(line_->AddStation({0, 4, 0x0105, 0, 0}, {}), nullptr);
}

}  // namespace
}  // namespace vm::sim
