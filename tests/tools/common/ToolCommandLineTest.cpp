#include "tools/common/LineOptions.h"
#include "tools/common/ToolCommandLine.h"

#include "tests/support/ResultChecks.h"

#include <gtest/gtest.h>

namespace vm::tools {
namespace {

// A command line like varimonctl's: a value option, a flag, the line options.
struct Line {
    ToolCommandLine line{"tool [options] WORDS", "Words."};
    Line()
    {
        line.AddOption({QStringLiteral("count"), QStringLiteral("Lines."), QStringLiteral("N")});
        line.AddOption({QStringLiteral("raw"), QStringLiteral("Raw values.")});
        line.AddLineOptions();
    }
};

TEST(ToolCommandLine, negativeNumbersAreWordsUnlessAnOptionTakesThemAsItsValue)
{
    Line l;
    ASSERT_EQ(test::Complaint(l.line.Parse({"write", "--count", "-3", "2", "-1", "--raw", "-0x10"})), "");
    EXPECT_EQ(l.line.Words(), (std::vector<std::string>{"write", "2", "-1", "-0x10"}));
    EXPECT_EQ(l.line.Value("count"), "-3");
    EXPECT_TRUE(l.line.IsSet("raw"));

    // After "--" everything is a word, even what looks like an option.
    ASSERT_EQ(test::Complaint(l.line.Parse({"a", "--", "--raw", "b"})), "");
    EXPECT_EQ(l.line.Words(), (std::vector<std::string>{"a", "--raw", "b"}));
    EXPECT_FALSE(l.line.IsSet("raw"));
}

TEST(ToolCommandLine, mistakesAreNamedInTheError)
{
    Line unknown;
    EXPECT_NE(test::Complaint(unknown.line.Parse({"--bogus", "1"})).find("bogus"), std::string::npos);
    Line missing;
    EXPECT_NE(test::Complaint(missing.line.Parse({"scan", "--count"})).find("count"), std::string::npos);
    Line flagWithValue;
    EXPECT_NE(test::Complaint(flagWithValue.line.Parse({"--raw=1"})), "");
    Line shortWord;
    EXPECT_NE(test::Complaint(shortWord.line.Parse({"-x"})), "");
}

TEST(ToolCommandLine, lineOptionsApplyTheLastValueAndReportABadOne)
{
    Line l;
    ASSERT_EQ(test::Complaint(l.line.Parse(
                  {"--baud", "19200", "--parity", "odd", "--baud", "38400", "--stop-bits", "1.5"})),
              "");
    PortSettings s;
    EXPECT_EQ(test::Complaint(l.line.ApplyLineOptions(s)), "");
    EXPECT_EQ(s.baudRate, 38400);
    EXPECT_EQ(s.parity, 1);
    EXPECT_EQ(s.stopBits, 1);
    EXPECT_EQ(s.dataBits, 8);

    Line bad;
    ASSERT_EQ(test::Complaint(bad.line.Parse({"--data-bits", "9"})), "");
    PortSettings t;
    EXPECT_EQ(test::Complaint(bad.line.ApplyLineOptions(t)), "--data-bits 9: use 5, 6, 7 or 8");
}

TEST(ToolCommandLine, helpNamesTheToolAndEveryOption)
{
    Line l;
    ASSERT_EQ(test::Complaint(l.line.Parse({"-h"})), "");
    EXPECT_TRUE(l.line.HelpRequested());
    EXPECT_FALSE(l.line.VersionRequested());
    const std::string help = l.line.HelpText();
    EXPECT_EQ(help.rfind("Usage: tool [options] WORDS\n", 0), 0u) << help;
    for (const char* option :
         {"--help", "--version", "--count <N>", "--raw", "--baud", "--parity", "--data-bits", "--stop-bits"})
        EXPECT_NE(help.find(option), std::string::npos) << option;
}

TEST(LineOptions, parityAndStopBitWords)
{
    EXPECT_EQ(ParseParity("space"), 4);
    EXPECT_FALSE(ParseParity("EVEN").has_value());
    EXPECT_EQ(ParseStopBits("2"), 2);
    PortSettings s;
    EXPECT_EQ(test::Complaint(ApplyLineOption("--port", "x", s)), "--port is not a line option");
    EXPECT_EQ(test::Complaint(ApplyLineOption("--baud", "fast", s)), "--baud fast: not a baud rate");
    EXPECT_EQ(s.baudRate, PortSettings{}.baudRate);
    EXPECT_TRUE(ApplyLineOption("--stop-bits", "2", s));
    EXPECT_EQ(s.stopBits, 2);
}

}  // namespace
}  // namespace vm::tools
