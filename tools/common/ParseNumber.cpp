#include "tools/common/ParseNumber.h"

#include <charconv>

namespace vm::tools {

std::optional<long> ParseNumber(std::string_view text, long minimum, long maximum)
{
    bool negative = false;
    if (!text.empty() && text.front() == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    // One sign only: from_chars would take a second one, and negating its minimum overflows.
    if (text.empty() || text.front() == '-')
        return std::nullopt;
    long value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    if (negative)
        value = -value;
    if (value < minimum || value > maximum)
        return std::nullopt;
    return value;
}

}  // namespace vm::tools
