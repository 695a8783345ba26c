#pragma once
// Serial line options shared by varimon-sim and varimonctl: the same words on both command lines.

#include "base/Result.h"
#include "comm/CommPort.h"

#include <optional>
#include <string>
#include <string_view>

namespace vm::tools {

// "none", "odd", "even", "mark", "space" -> 0-4.
std::optional<int> ParseParity(std::string_view text);
// "1", "1.5", "2" -> 0, 1, 2.
std::optional<int> ParseStopBits(std::string_view text);

// What is wrong with a tool's command line: the tools print it above the usage line and exit 2.
inline constexpr int kUsageExitCode = 2;
inline Failure UsageError(std::string text)
{
    return {kUsageExitCode, std::move(text)};
}

// Applies --baud, --parity, --data-bits or --stop-bits to settings; any other name, or a bad
// value, fails.
Result<> ApplyLineOption(std::string_view name, std::string_view value, PortSettings& settings);

}  // namespace vm::tools
