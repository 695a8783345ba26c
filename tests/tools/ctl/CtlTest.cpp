#include "tools/ctl/CtlRunner.h"
#include "tools/ctl/CtlStats.h"
#include "tools/sim/SimCommPort.h"

#include "tests/support/ResultChecks.h"

#include <gtest/gtest.h>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <functional>
#include <sstream>

namespace vm::ctl {
namespace {

// varimonctl's runner against a simulated line, one 30 ms tick at a time.
class CtlTest : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        line_.AddStation({1, 4, 0x0210, 4, 1}, {{0x5301, 0, 6000, 50, true, true, false}});
        line_.AddStation({3, 10, 0x0015, 1, 1}, {});
        line_.AddStation({9, 7, 0x0501, 0, 0}, {});
        manager_.SetPortFactory([this] {
            auto port = std::make_unique<sim::SimCommPort>(line_, clock_);
            port_ = port.get();
            return port;
        });
    }

    // Runs a command line (without the port) to its end; the exit code.
    int Run(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"--port", "sim", "--timeout", "90", "--retries", "2"});
        if (GetParam() == kModbusRtu)
            args.insert(args.begin(), {"--protocol", "modbus"});
        const Result<CtlOptions> parsed = ParseCtlOptions(args);
        EXPECT_TRUE(parsed) << parsed.Text();
        if (!parsed)
            return -1;
        const CtlOptions& options = parsed.Value();
        EXPECT_EQ(manager_.Start(options.settings), 0);
        out_.str("");
        err_.str("");
        CtlRunner runner(manager_, options, out_, err_);
        runner.Begin();
        for (int tick = 0; tick < 5000 && !runner.Finished(); ++tick)
            Tick();
        EXPECT_TRUE(runner.Finished());
        return runner.ExitCode();
    }

    // "monitor 3 14" with one repetition, in the protocol under test.
    CtlOptions MonitorOptions() const
    {
        CtlOptions options = test::Parsed(
            ParseCtlOptions({"--port", "sim", "--timeout", "90", "--retries", "1", "monitor", "3", "14"}));
        options.settings.protocolMode = GetParam();
        return options;
    }

    void Tick()
    {
        clock_ += 30;
        port_->Deliver();
        manager_.PumpReceived();
        manager_.Tick();
    }

    std::vector<std::string> Lines() const
    {
        std::vector<std::string> lines;
        std::istringstream in(out_.str());
        for (std::string l; std::getline(in, l);)
            lines.push_back(l);
        return lines;
    }

    sim::SimLine line_{sim::Protocol::Auto, {}};
    int64_t clock_ = 0;
    CommManager manager_;
    sim::SimCommPort* port_ = nullptr;
    std::ostringstream out_;
    std::ostringstream err_;
};

TEST_P(CtlTest, scanListsExactlyTheStationsOnTheLine)
{
    EXPECT_EQ(Run({"scan", "1-10"}), kExitOk);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"1 QM-A20 5.5kW-4 2.16", "3 QM-B20X 0.75kW-NC-4 1.5",
                                                 "9 QM-B20 0.4kW-2 Unknown"}));
    EXPECT_EQ(err_.str(), "");

    EXPECT_EQ(Run({"--json", "scan", "3"}), kExitOk);
    EXPECT_EQ(out_.str(),
              "{\"capacity\":\"0.75kW-NC-4\",\"model\":\"QM-B20X\",\"modelCode\":10,\"station\":3,"
              "\"version\":\"1.5\",\"versionCode\":21}\n");
}

TEST_P(CtlTest, quickScanFindsTheSameStationsWithOneFramePerSilentId)
{
    EXPECT_EQ(Run({"scan", "1-10"}), kExitOk);
    const std::vector<std::string> normal = Lines();
    const uint64_t normalFrames = port_->Frames();

    EXPECT_EQ(Run({"scan", "1-10", "--quick"}), kExitOk);
    EXPECT_EQ(Lines(), normal);
    // Seven silent IDs, each asked once instead of three times.
    EXPECT_EQ(normalFrames - port_->Frames(), 7u * 2u);
}

TEST_P(CtlTest, readsWritesAndReportsRefusals)
{
    EXPECT_EQ(Run({"read", "1", "0", "0x5301", "3"}), kExitOk);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"0 4", "0x5301 50", "3 528"}));

    EXPECT_EQ(Run({"write", "1", "0x5301", "1234"}), kExitOk);
    EXPECT_EQ(out_.str(), "0x5301 1234\n");
    EXPECT_EQ(Run({"--json", "read", "1", "0x5301"}), kExitOk);
    EXPECT_EQ(out_.str(), "{\"address\":21249,\"station\":1,\"value\":1234}\n");

    EXPECT_EQ(Run({"write", "1", "0x5301", "6001"}), kExitCommFailure);
    EXPECT_EQ(out_.str(), "");
    EXPECT_EQ(err_.str(), GetParam() == kKx485 ? "*** Data Range Error ***\n"
                                               : "*** Modbus Exception 3 (Illegal Data Value) ***\n");
    EXPECT_EQ(Run({"--json", "write", "1", "0x5301", "6001"}), kExitCommFailure);
    if (GetParam() == kModbusRtu) {
        EXPECT_EQ(port_->Frames(), 1u);  // refused once, not asked again
        EXPECT_EQ(out_.str(),
                  "{\"address\":21249,\"error\":203,\"exception\":3,\"station\":1,"
                  "\"text\":\"Modbus Exception 3 (Illegal Data Value)\"}\n");
    } else {
        EXPECT_EQ(out_.str(), "");
    }
}

TEST_P(CtlTest, silencedStationEndsWithTheLastError)
{
    line_.Command("silence 3", clock_);
    EXPECT_EQ(Run({"read", "3", "0"}), kExitCommFailure);
    EXPECT_EQ(err_.str(), "*** Timeout Error ***\n");
    // A scan passes over it without complaint.
    EXPECT_EQ(Run({"scan", "2-4"}), kExitOk);
    EXPECT_EQ(out_.str(), "");
}

TEST_P(CtlTest, monitorPrintsOnePollPerLineWhileTheDriveRuns)
{
    ASSERT_EQ(Run({"write", "3", "6", "2"}), kExitOk);
    EXPECT_EQ(Run({"monitor", "3", "10", "14", "7", "--count", "4"}), kExitOk);
    const auto lines = Lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_NE(lines.front(), lines.back());
    EXPECT_NE(lines.back().find(" Hz\tForward Accelerating...\t5.0 sec"), std::string::npos) << lines.back();

    EXPECT_EQ(Run({"--raw", "--json", "monitor", "3", "15", "--count", "1"}), kExitOk);
    EXPECT_EQ(out_.str(), "{\"poll\":1,\"station\":3,\"values\":[{\"address\":15,\"value\":0}]}\n");
    // Nothing stays registered once the command is over.
    EXPECT_EQ(manager_.MonitorCount(3), 0);
}

TEST_P(CtlTest, statsLinesGiveTheCountersAndTheValuesPerSecondSinceTheLineBefore)
{
    CtlStats text(manager_, 3, false, 0);
    EXPECT_EQ(text.Line(1000),
              "stats station 3 at 1.0 s: 0 requests, 0 replies, 0 time-outs, 0 checksum errors, "
              "0 frame errors, 0 repetitions, 0 give-ups; refusals none; 0.0 values/s");
    ASSERT_EQ(Run({"monitor", "3", "10", "14", "--count", "5"}), kExitOk);
    const StationHealth& h = manager_.Health(3);
    ASSERT_GE(h.valuesRefreshed, 10u);
    // The values of 4 s in one line; none in the next.
    const std::string first = text.Line(5000);
    EXPECT_EQ(first.rfind("stats station 3 at 5.0 s: " + std::to_string(h.requests) + " requests, ", 0), 0u)
        << first;
    EXPECT_NE(first.find("; reply ms last "), std::string::npos) << first;
    char rate[32];
    std::snprintf(rate, sizeof rate, "; %.1f values/s", static_cast<double>(h.valuesRefreshed) / 4.0);
    EXPECT_TRUE(first.ends_with(rate)) << first << " / " << rate;
    EXPECT_TRUE(text.Line(6000).ends_with("; 0.0 values/s"));
    std::snprintf(rate, sizeof rate, "; %.1f values/s", static_cast<double>(h.valuesRefreshed) / 6.0);
    EXPECT_TRUE(text.Summary(6000).starts_with("summary station 3 at 6.0 s: "));
    EXPECT_TRUE(text.Summary(6000).ends_with(rate)) << text.Summary(6000);

    const QJsonObject json =
        QJsonDocument::fromJson(QByteArray::fromStdString(CtlStats(manager_, 3, true, 0).Summary(2000)))
            .object()
            .value("stats")
            .toObject();
    EXPECT_EQ(json.value("requests").toInteger(), static_cast<qint64>(h.requests));
    EXPECT_EQ(json.value("timeouts").toInteger(), static_cast<qint64>(h.timeouts));
    EXPECT_EQ(json.value("valuesRefreshed").toInteger(), static_cast<qint64>(h.valuesRefreshed));
    EXPECT_DOUBLE_EQ(json.value("valuesPerSecond").toDouble(), static_cast<double>(h.valuesRefreshed) / 2.0);
    EXPECT_TRUE(json.value("final").toBool());
    EXPECT_TRUE(json.value("replyMs").isObject());
}

TEST_P(CtlTest, monitorOfAStationThatFallsSilentFails)
{
    const CtlOptions options = MonitorOptions();
    ASSERT_EQ(manager_.Start(options.settings), 0);
    CtlRunner runner(manager_, options, out_, err_);
    runner.Begin();
    for (int tick = 0; tick < 200 && out_.str().empty(); ++tick)
        Tick();
    ASSERT_FALSE(out_.str().empty());
    line_.Command("silence 3", clock_);
    for (int tick = 0; tick < 200 && !runner.Finished(); ++tick)
        Tick();
    EXPECT_TRUE(runner.Finished());
    EXPECT_EQ(runner.ExitCode(), kExitCommFailure);
    EXPECT_EQ(err_.str(), "*** Timeout Error ***\n");
}

TEST_P(CtlTest, monitorOutlivesALostPortAndFailsAgainOnlyOnceTheStationHasAnswered)
{
    const CtlOptions options = MonitorOptions();
    ASSERT_EQ(manager_.Start(options.settings), 0);
    CtlRunner runner(manager_, options, out_, err_);
    runner.Begin();
    auto tickUntil = [&](const std::function<bool()>& done) {
        for (int tick = 0; tick < 400 && !done(); ++tick)
            Tick();
        return done();
    };
    ASSERT_TRUE(tickUntil([&] { return !Lines().empty(); }));

    // The device goes and comes back, but the station stays silent past the reopen: its give-ups,
    // in the monitor and in each identification that follows, are not the end.
    runner.PortLost();
    line_.Command("silence 3", clock_);
    ASSERT_TRUE(tickUntil([&] { return manager_.MonitorCount(3) == 0; }));
    runner.PortRestored();
    const size_t linesBefore = Lines().size();
    for (int tick = 0; tick < 100; ++tick)
        Tick();
    EXPECT_FALSE(runner.Finished());
    EXPECT_EQ(err_.str(), "");
    line_.Command("revive 3", clock_);
    ASSERT_TRUE(tickUntil([&] { return Lines().size() >= linesBefore + 2; })) << err_.str();
    EXPECT_EQ(manager_.MonitorCount(3), 1);

    // With the station heard again, a silence is an ordinary failure once more.
    line_.Command("silence 3", clock_);
    ASSERT_TRUE(tickUntil([&] { return runner.Finished(); }));
    EXPECT_EQ(runner.ExitCode(), kExitCommFailure);
    EXPECT_EQ(err_.str(), "*** Timeout Error ***\n");
}

INSTANTIATE_TEST_SUITE_P(Protocols, CtlTest, ::testing::Values(kKx485, kModbusRtu),
                         [](const auto& info) { return info.param == kKx485 ? "kx485" : "modbus"; });

TEST(CtlOptions, paceTurnaroundAndBlockReads)
{
    CtlOptions d = test::Parsed(ParseCtlOptions({"--port", "p", "scan"}));
    EXPECT_EQ(d.settings.pacing, Pacing::Tick);  // the 30 ms tick unless asked
    EXPECT_FALSE(d.settings.blockReads);
    CtlOptions o = test::Parsed(ParseCtlOptions(
        {"--port", "p", "--pace", "line", "--turnaround", "0.5", "--block-reads", "125", "scan"}));
    EXPECT_EQ(o.settings.pacing, Pacing::Line);
    EXPECT_EQ(o.settings.turnaroundUs, 500);
    EXPECT_TRUE(o.settings.blockReads);
    EXPECT_EQ(o.settings.blockReadMax, 125);
    EXPECT_EQ(test::Complaint(ParseCtlOptions({"--port", "p", "--pace", "wire", "scan"})),
              "--pace wire: use tick or line");
    EXPECT_EQ(test::Complaint(ParseCtlOptions({"--port", "p", "--block-reads", "1", "scan"})),
              "--block-reads 1: use 2-125");
    EXPECT_EQ(test::Complaint(ParseCtlOptions({"--port", "p", "--turnaround", "1001", "scan"})),
              "--turnaround 1001: use 0-1000 ms");
}

TEST(CtlOptions, commandsAndOptionsInAnyOrder)
{
    CtlOptions o = test::Parsed(ParseCtlOptions(
        {"monitor", "3", "5", "0x0A", "--port", "/dev/ttyUSB1", "--count", "2", "--raw", "--protocol",
         "modbus", "--baud", "38400", "--parity", "even", "--timeout", "500", "--retries", "5"}));
    EXPECT_EQ(o.command, Command::Monitor);
    EXPECT_EQ(o.station, 3);
    EXPECT_EQ(o.addresses, (std::vector<uint16_t>{5, 10}));
    EXPECT_EQ(o.addressTexts, (std::vector<std::string>{"5", "0x0A"}));
    EXPECT_EQ(o.count, 2);
    EXPECT_TRUE(o.raw);
    EXPECT_EQ(o.settings.portName, "/dev/ttyUSB1");
    EXPECT_EQ(o.settings.protocolMode, kModbusRtu);
    EXPECT_EQ(o.settings.baudRate, 38400);
    EXPECT_EQ(o.settings.parity, 2);
    EXPECT_EQ(o.settings.timeoutMs, 500);
    EXPECT_EQ(o.settings.retryCount, 5);

    CtlOptions w = test::Parsed(ParseCtlOptions({"--port", "p", "write", "2", "5", "-1"}));
    EXPECT_EQ(w.value, 0xFFFF);
    CtlOptions s = test::Parsed(ParseCtlOptions({"--port", "p", "scan"}));
    EXPECT_EQ(s.first, kScanAllFirst);
    EXPECT_EQ(s.last, kScanAllLast);
    s = test::Parsed(ParseCtlOptions({"--port", "p", "scan", "7-9"}));
    EXPECT_EQ(s.first, 7);
    EXPECT_EQ(s.last, 9);
}

TEST(CtlOptions, refusesWhatItCannotDo)
{
    const std::vector<std::vector<std::string>> bad = {
        {"scan"},         // no port
        {"--port", "p"},  // no command
        {"--port", "p", "scan", "9-3"},
        {"--port", "p", "scan", "0"},
        {"--port", "p", "read", "1"},
        {"--port", "p", "read", "256", "0"},
        {"--port", "p", "read", "1", "65536"},
        {"--port", "p", "write", "1", "5"},
        {"--port", "p", "write", "1", "5", "70000"},
        {"--port", "p", "--protocol", "ascii", "scan"},
        {"--port", "p", "--timeout", "10", "scan"},
        {"--port", "p", "--retries", "-1", "scan"},
        {"--port", "p", "--stop-bits", "0", "scan"},
        {"--port", "p", "fly"},
        {"--port", "p", "--bogus", "1", "scan"},
        {"--port", "p", "--quick", "read", "1", "5"},
        {"--port", "p", "--quick-timeout", "10", "scan"},
        {"--port", "p", "--stats", "read", "1", "5"},  // nothing to count over time
    };
    for (const auto& args : bad) {
        std::string joined;
        for (const auto& a : args)
            joined += a + " ";
        EXPECT_FALSE(ParseCtlOptions(args)) << joined;
    }
}

TEST(CtlOptions, helpAndVersionNeedNoPortOrCommandButBadOptionsStillFail)
{
    CtlOptions v = test::Parsed(ParseCtlOptions({"--version"}));
    EXPECT_TRUE(v.version);
    CtlOptions h = test::Parsed(ParseCtlOptions({"read", "-h"}));
    EXPECT_TRUE(h.help);
    EXPECT_NE(test::Complaint(ParseCtlOptions({"--help", "--bogus"})).find("bogus"), std::string::npos);
    EXPECT_NE(CtlHelp().find("monitor ID ADDR..."), std::string::npos);
}

}  // namespace
}  // namespace vm::ctl
