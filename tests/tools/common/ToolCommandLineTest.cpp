#include "tools/common/LineOptions.h"
#include "tools/common/ToolCommandLine.h"

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
    ASSERT_EQ(l.line.Parse({"write", "--count", "-3", "2", "-1", "--raw", "-0x10"}), "");
    EXPECT_EQ(l.line.Words(), (std::vector<std::string>{"write", "2", "-1", "-0x10"}));
    EXPECT_EQ(l.line.Value("count"), "-3");
    EXPECT_TRUE(l.line.IsSet("raw"));

    // After "--" everything is a word, even what looks like an option.
    ASSERT_EQ(l.line.Parse({"a", "--", "--raw", "b"}), "");
    EXPECT_EQ(l.line.Words(), (std::vector<std::string>{"a", "--raw", "b"}));
    EXPECT_FALSE(l.line.IsSet("raw"));
}

TEST(ToolCommandLine, mistakesAreNamedInTheError)
{
    Line unknown;
    EXPECT_NE(unknown.line.Parse({"--bogus", "1"}).find("bogus"), std::string::npos);
    Line missing;
    EXPECT_NE(missing.line.Parse({"scan", "--count"}).find("count"), std::string::npos);
    Line flagWithValue;
    EXPECT_NE(flagWithValue.line.Parse({"--raw=1"}), "");
    Line shortWord;
    EXPECT_NE(shortWord.line.Parse({"-x"}), "");
}

TEST(ToolCommandLine, lineOptionsApplyTheLastValueAndReportABadOne)
{
    Line l;
    ASSERT_EQ(l.line.Parse({"--baud", "19200", "--parity", "odd", "--baud", "38400", "--stop-bits", "1.5"}),
              "");
    PortSettings s;
    EXPECT_EQ(l.line.ApplyLineOptions(s), "");
    EXPECT_EQ(s.baudRate, 38400);
    EXPECT_EQ(s.parity, 1);
    EXPECT_EQ(s.stopBits, 1);
    EXPECT_EQ(s.dataBits, 8);

    Line bad;
    ASSERT_EQ(bad.line.Parse({"--data-bits", "9"}), "");
    PortSettings t;
    EXPECT_EQ(bad.line.ApplyLineOptions(t), "--data-bits 9: use 5, 6, 7 or 8");
}

TEST(ToolCommandLine, helpNamesTheToolAndEveryOption)
{
    Line l;
    ASSERT_EQ(l.line.Parse({"-h"}), "");
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
    std::string error;
    EXPECT_FALSE(ApplyLineOption("--port", "x", s, &error));
    EXPECT_TRUE(ApplyLineOption("--baud", "fast", s, &error));
    EXPECT_NE(error, "");
}

}  // namespace
}  // namespace vm::tools
