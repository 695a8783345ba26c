// The program's own command line: a port for this run, the IDs to scan, and clear refusals.
#include "monitor/Application.h"

#include "tests/support/ResultChecks.h"

#include <gtest/gtest.h>

using namespace vm;

TEST(StartOptions, portAndScanListForThisRunOnly)
{
    const StartOptions none = test::Parsed(ParseStartOptions({"varimon"}));
    EXPECT_TRUE(none.port.isEmpty());
    EXPECT_FALSE(none.scanIds.has_value());

    const StartOptions o =
        test::Parsed(ParseStartOptions({"varimon", "--scan", "1-3,9", "--port", "rfc2217://10.0.0.5:4001"}));
    EXPECT_EQ(o.port, QStringLiteral("rfc2217://10.0.0.5:4001"));
    ASSERT_TRUE(o.scanIds.has_value());
    EXPECT_EQ(*o.scanIds, (std::vector<int>{1, 2, 3, 9}));
}

TEST(StartOptions, badListsAndUnknownOptionsFailWithTheUsage)
{
    for (const char* bad : {"0-3", "5-2", "1-2-3", "256", "x", ""}) {
        const Result<StartOptions> r = ParseStartOptions({"varimon", "--scan", bad});
        EXPECT_EQ(test::Complaint(r), std::string("Bad station ID list: ") + bad + " (use e.g. 1-5,9)");
        EXPECT_EQ(r.Code(), 2);
    }
    EXPECT_EQ(
        test::Complaint(ParseStartOptions({"varimon", "--scan"})).rfind("Unknown option: --scan\nUsage: ", 0),
        0u);
    EXPECT_EQ(test::Complaint(ParseStartOptions({"varimon", "-x"})).rfind("Unknown option: -x\nUsage: ", 0),
              0u);
}
