#include "tools/sim/SimOptions.h"
#include "tools/sim/SimStations.h"

#include "tests/support/ResultChecks.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <filesystem>

namespace vm::sim {
namespace {

TEST(SimOptions, parsesLineFaultsAndStations)
{
    SimOptions o = test::Parsed(ParseSimOptions({"--link",
                                                 "/tmp/x",
                                                 "--protocol",
                                                 "modbus",
                                                 "--baud",
                                                 "19200",
                                                 "--parity",
                                                 "mark",
                                                 "--stop-bits",
                                                 "1.5",
                                                 "--data-bits",
                                                 "7",
                                                 "--station",
                                                 "3:QM-B20X:0015:1:400",
                                                 "--station",
                                                 "7:4",
                                                 "--drop-rate",
                                                 "0.25",
                                                 "--corrupt-rate",
                                                 "1",
                                                 "--delay",
                                                 "40",
                                                 "--echo",
                                                 "--seed",
                                                 "9"}));
    EXPECT_EQ(o.link, "/tmp/x");
    EXPECT_EQ(o.protocol, Protocol::Modbus);
    EXPECT_EQ(o.line.baudRate, 19200);
    EXPECT_EQ(o.line.parity, 3);
    EXPECT_EQ(o.line.stopBits, 1);
    EXPECT_EQ(o.line.dataBits, 7);
    ASSERT_EQ(o.stations.size(), 2u);
    EXPECT_EQ(o.stations[0].station, 3);
    EXPECT_EQ(o.stations[0].model, 10);
    EXPECT_EQ(o.stations[0].version, 0x0015);
    EXPECT_EQ(o.stations[0].capacity, 1);
    EXPECT_EQ(o.stations[0].voltage, 1);
    EXPECT_EQ(o.stations[1].model, 4);
    EXPECT_FALSE(o.stations[1].version.has_value());
    EXPECT_DOUBLE_EQ(o.faults.dropRate, 0.25);
    EXPECT_DOUBLE_EQ(o.faults.corruptRate, 1.0);
    EXPECT_EQ(o.faults.delayMs, 40);
    EXPECT_TRUE(o.faults.echo);
    EXPECT_EQ(o.faults.seed, 9u);
}

TEST(SimOptions, refusesBadInputWithTheReason)
{
    const std::vector<std::vector<std::string>> bad = {
        {},                              // no line
        {"--link", "a", "--port", "b"},  // both
        {"--link"},                      // value missing
        {"--link", "a", "--protocol", "rtu"},
        {"--link", "a", "--parity", "odd2"},
        {"--link", "a", "--stop-bits", "3"},
        {"--link", "a", "--data-bits", "9"},
        {"--link", "a", "--drop-rate", "1.5"},
        {"--link", "a", "--delay", "-1"},
        {"--link", "a", "--station", "0:4"},
        {"--link", "a", "--station", "3:QM-ZZ"},
        {"--link", "a", "--station", "3:4:12345"},
        {"--link", "a", "--station", "3:4:0100:1:300"},
        {"--link", "a", "--station", "3:4", "--station", "3:5"},
        {"--link", "a", "--frobnicate", "1"},
        {"--link", "a", "stray"},
    };
    for (const auto& args : bad) {
        std::string joined;
        for (const auto& a : args)
            joined += a + " ";
        EXPECT_FALSE(ParseSimOptions(args)) << joined;
    }
}

TEST(SimOptions, demoLineHasEveryShippedModelAndOneUnsupported)
{
    const auto specs = DemoLine(VARIMON_TEST_DATA_DIR);
    ASSERT_EQ(specs.size(), 6u);
    const int models[] = {4, 5, 8, 9, 10, 7};
    for (size_t i = 0; i < specs.size(); ++i) {
        EXPECT_EQ(specs[i].station, static_cast<int>(i) + 1);
        EXPECT_EQ(specs[i].model, models[i]);
    }
    EXPECT_EQ(specs[4].version, 0x0015);  // the newest QM-B20X file

    SimLine line(Protocol::Kx485, {});
    std::vector<std::string> notes;
    PopulateLine(specs, VARIMON_TEST_DATA_DIR, line, notes);
    EXPECT_EQ(line.StationIds(), (std::vector<int>{1, 2, 3, 4, 5, 6}));
    ASSERT_EQ(notes.size(), 1u);  // only the unsupported model has no parameters
    EXPECT_NE(notes[0].find("station 6"), std::string::npos);
    uint16_t scale = 0;
    EXPECT_EQ(line.Station(1)->Read(0x5347, scale), Access::Ok);
}

TEST(SimOptions, aDataFolderOfAnyNameGivesTheSameLine)
{
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("varimon-sim-data-" + std::to_string(::getpid()));
    const fs::path renamed = dir / "parameter files";
    fs::create_directories(dir);
    fs::copy(VARIMON_TEST_DATA_DIR, renamed, fs::copy_options::recursive);
    const auto specs = DemoLine(renamed);
    ASSERT_EQ(specs.size(), DemoLine(VARIMON_TEST_DATA_DIR).size());
    SimLine line(Protocol::Kx485, {});
    std::vector<std::string> notes;
    PopulateLine(specs, renamed, line, notes);
    EXPECT_EQ(notes.size(), 1u);  // the unsupported model only: every other drive has its parameters
    std::error_code ec;
    fs::remove_all(dir, ec);
}

}  // namespace
}  // namespace vm::sim
