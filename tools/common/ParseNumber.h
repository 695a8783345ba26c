#pragma once
// Numbers on the tools' command lines and the simulator's console: decimal, or hexadecimal with
// a 0x prefix, always checked against the range the caller allows.

#include <optional>
#include <string_view>

namespace vm::tools {

// Number in decimal or with a 0x prefix in hexadecimal, within [minimum, maximum].
std::optional<long> ParseNumber(std::string_view text, long minimum, long maximum);

}  // namespace vm::tools
