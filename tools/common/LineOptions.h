#pragma once
// Serial line options shared by varimon-sim and varimonctl: the same words on both command lines.

#include "comm/CommPort.h"

#include <optional>
#include <string>
#include <string_view>

namespace vm::tools {

// "none", "odd", "even", "mark", "space" -> 0-4.
std::optional<int> ParseParity(std::string_view text);
// "1", "1.5", "2" -> 0, 1, 2.
std::optional<int> ParseStopBits(std::string_view text);

// Applies --baud, --parity, --data-bits or --stop-bits to settings. Returns false when name is
// none of them; otherwise true, with *error set when the value is bad.
bool ApplyLineOption(std::string_view name, std::string_view value, PortSettings& settings,
                     std::string* error);

}  // namespace vm::tools
