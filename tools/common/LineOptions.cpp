#include "tools/common/LineOptions.h"

#include "tools/common/ParseNumber.h"

#include <array>

namespace vm::tools {

std::optional<int> ParseParity(std::string_view text)
{
    static constexpr std::array<std::string_view, 5> kNames = {"none", "odd", "even", "mark", "space"};
    for (size_t i = 0; i < kNames.size(); ++i)
        if (text == kNames[i])
            return static_cast<int>(i);
    return std::nullopt;
}

std::optional<int> ParseStopBits(std::string_view text)
{
    if (text == "1")
        return 0;
    if (text == "1.5")
        return 1;
    if (text == "2")
        return 2;
    return std::nullopt;
}

Result<> ApplyLineOption(std::string_view name, std::string_view value, PortSettings& settings)
{
    auto bad = [&](const char* what) {
        return UsageError(std::string(name) + " " + std::string(value) + ": " + what);
    };
    if (name == "--baud") {
        const auto baud = ParseNumber(value, 50, 4000000);
        if (!baud)
            return bad("not a baud rate");
        settings.baudRate = static_cast<int>(*baud);
    } else if (name == "--parity") {
        const auto parity = ParseParity(value);
        if (!parity)
            return bad("use none, odd, even, mark or space");
        settings.parity = *parity;
    } else if (name == "--data-bits") {
        const auto bits = ParseNumber(value, 5, 8);
        if (!bits)
            return bad("use 5, 6, 7 or 8");
        settings.dataBits = static_cast<int>(*bits);
    } else if (name == "--stop-bits") {
        const auto stop = ParseStopBits(value);
        if (!stop)
            return bad("use 1, 1.5 or 2");
        settings.stopBits = *stop;
    } else {
        return UsageError(std::string(name) + " is not a line option");
    }
    return {};
}

}  // namespace vm::tools
