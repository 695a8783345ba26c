#pragma once
// A tool's command line on Qt's option parser: -h/--help and -v/--version, the serial line
// options both tools share, and words (commands, negative values to write) allowed anywhere
// among the options.

#include "base/Result.h"
#include "comm/CommPort.h"
#include "comm/LinePacing.h"
#include "tools/common/LineOptions.h"

#include <QCommandLineParser>
#include <QList>

#include <string>
#include <vector>

namespace vm::tools {

// The program's version, as --version prints it.
const char* ToolVersion();

// The options a reader fills in from the arguments, or what is wrong with them.
template <typename Options, typename Reader>
Result<Options> ReadInto(const std::vector<std::string>& args, Reader read)
{
    Options options;
    if (Result<> done = read(args, options); !done)
        return done.Why();
    return options;
}

class ToolCommandLine {
public:
    // synopsis: the usage line without "Usage: ", e.g. "varimonctl --port DEV [options] COMMAND".
    // description: what follows it in the help, before the options.
    ToolCommandLine(std::string synopsis, const std::string& description);

    void AddOption(const QCommandLineOption& option);
    // --baud, --parity, --data-bits and --stop-bits.
    void AddLineOptions();
    // --pace tick|line and --turnaround MS.
    void AddPacingOptions();

    // Parses the arguments after the program name.
    Result<> Parse(const std::vector<std::string>& args);

    bool HelpRequested() const;
    bool VersionRequested() const;
    bool IsSet(const char* name) const;
    // The last value given for an option (an option given twice counts the second time).
    std::string Value(const char* name) const;
    std::vector<std::string> Values(const char* name) const;
    // The arguments that are neither options nor option values, in order.
    std::vector<std::string> Words() const;

    // Applies the line options given to settings.
    Result<> ApplyLineOptions(PortSettings& settings) const;
    Result<> ApplyPacingOptions(Pacing& pacing, int& turnaroundUs) const;

    const std::string& Synopsis() const { return synopsis_; }
    std::string HelpText() const;

private:
    QStringList OptionsBeforeWords(const std::vector<std::string>& args) const;

    std::string synopsis_;
    QCommandLineParser parser_;
    QList<QCommandLineOption> options_;
};

}  // namespace vm::tools
