#include "tools/sim/SimOptions.h"

#include "tools/common/ParseNumber.h"
#include "tools/common/ToolCommandLine.h"

#include <sstream>

namespace vm::sim {

using tools::ParseNumber;
using tools::ToolCommandLine;
using tools::UsageError;

namespace {

constexpr const char* kSynopsis = "varimon-sim (--link PATH | --port DEVICE) [options]";

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, separator);)
        parts.push_back(part);
    if (!text.empty() && text.back() == separator)
        parts.emplace_back();
    return parts;
}

std::optional<double> ParseRate(const std::string& text)
{
    try {
        size_t used = 0;
        const double rate = std::stod(text, &used);
        if (used == text.size() && rate >= 0 && rate <= 1)
            return rate;
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

void Declare(ToolCommandLine& line)
{
    auto add = [&](const char* name, const char* description, const char* valueName = "") {
        line.AddOption(
            {QString::fromLatin1(name), QString::fromLatin1(description), QString::fromLatin1(valueName)});
    };
    add("link", "Create a pseudo-terminal, symlinked at PATH while running.", "PATH");
    add("port", "Serve an existing tty instead.", "DEVICE");
    line.AddLineOptions();
    add("protocol", "kx485, modbus or auto (default auto: told apart by each request).", "PROTOCOL");
    add("station",
        "A station, SPEC = ID:MODEL[:VERSION[:CAPACITY[:VOLTAGE]]]; repeatable. MODEL a name or code, "
        "VERSION hex (0015), CAPACITY a code, VOLTAGE 200 or 400. Without any: one station of each "
        "shipped model and one unsupported model.",
        "SPEC");
    add("data", "Parameter data folder (default: the shipped Data folder).", "DIR");
    add("drop-rate", "Share of replies lost (0-1).", "P");
    add("corrupt-rate", "Share of replies sent damaged (0-1).", "P");
    add("delay", "Reply latency.", "MS");
    add("echo", "Echo the master's frames, as a two-wire line does.");
    add("wire",
        "Hold each reply back by the time the request and the reply take on a wire at BAUD "
        "(10 bits a byte).",
        "BAUD");
    add("response", "With --wire: the drives' response time (default 0; fractions allowed).", "MS");
    line.AddPacingOptions();
    add("refuse-blocks", "Refuse Modbus reads of more than one register (exception 1).");
    add("seed", "Random seed for the fault injection.", "N");
}

ToolCommandLine MakeCommandLine()
{
    return ToolCommandLine(kSynopsis,
                           "A line of simulated inverters. Console (stdin), one command a line:\n"
                           "  trip ID BIT | reset ID | silence ID | revive ID | set ID ADDR VALUE |\n"
                           "  load ID PERCENT | blocks ID refuse|serve | counters | quit");
}

}  // namespace

Result<StationSpec> ParseStationSpec(const std::string& text)
{
    StationSpec spec;
    const std::vector<std::string> parts = Split(text, ':');
    if (parts.size() < 2 || parts.size() > 5)
        return UsageError("--station " + text + ": use ID:MODEL[:VERSION[:CAPACITY[:VOLTAGE]]]");
    const auto id = ParseNumber(parts[0], 1, 255);
    if (!id)
        return UsageError("--station " + text + ": the ID must be 1-255");
    spec.station = static_cast<int>(*id);
    spec.model = ParseModel(parts[1]);
    if (spec.model < 0)
        return UsageError("--station " + text + ": unknown model " + parts[1]);
    if (parts.size() > 2 && !parts[2].empty()) {
        const std::string digits = parts[2].rfind("0x", 0) == 0 ? parts[2] : "0x" + parts[2];
        const auto version = ParseNumber(digits, 0, 0xFFFF);
        if (!version)
            return UsageError("--station " + text + ": the version is 1-4 hexadecimal digits");
        spec.version = static_cast<int>(*version);
    }
    if (parts.size() > 3 && !parts[3].empty()) {
        const auto capacity = ParseNumber(parts[3], 0, 0xFFFF);
        if (!capacity)
            return UsageError("--station " + text + ": the capacity code is 0-65535");
        spec.capacity = static_cast<int>(*capacity);
    }
    if (parts.size() > 4 && !parts[4].empty()) {
        const std::string& v = parts[4];
        if (v == "200" || v == "2")
            spec.voltage = 0;
        else if (v == "400" || v == "4")
            spec.voltage = 1;
        else
            return UsageError("--station " + text + ": the voltage class is 200 or 400");
    }
    return spec;
}

std::string SimHelp()
{
    ToolCommandLine line = MakeCommandLine();
    Declare(line);
    return line.HelpText();
}

const char* SimSynopsis()
{
    return kSynopsis;
}

namespace {

Result<> ReadOptions(const std::vector<std::string>& args, SimOptions& options)
{
    ToolCommandLine line = MakeCommandLine();
    Declare(line);
    if (Result<> why = line.Parse(args); !why)
        return why;
    options.help = line.HelpRequested();
    options.version = line.VersionRequested();
    if (options.help || options.version)
        return {};
    if (const std::vector<std::string> words = line.Words(); !words.empty())
        return UsageError("unexpected argument " + words.front());
    options.faults.echo = line.IsSet("echo");
    options.faults.refuseBlocks = line.IsSet("refuse-blocks");
    if (Result<> why = line.ApplyPacingOptions(options.pacing, options.turnaroundUs); !why)
        return why;
    if (line.IsSet("wire")) {
        const auto baud = ParseNumber(line.Value("wire"), 50, 4000000);
        if (!baud)
            return UsageError("--wire " + line.Value("wire") + ": not a baud rate");
        options.wire.baud = static_cast<int>(*baud);
    }
    if (line.IsSet("response")) {
        bool ok = false;
        const double ms = QString::fromStdString(line.Value("response")).toDouble(&ok);
        if (!ok || !(ms >= 0 && ms <= 60000))
            return UsageError("--response " + line.Value("response") + ": use 0-60000 ms");
        options.wire.responseUs = static_cast<int64_t>(ms * 1000 + 0.5);
    }
    if (Result<> why = line.ApplyLineOptions(options.line); !why)
        return why;
    options.link = line.Value("link");
    options.port = line.Value("port");
    if (line.IsSet("protocol")) {
        const std::string value = line.Value("protocol");
        if (value == "kx485")
            options.protocol = Protocol::Kx485;
        else if (value == "modbus")
            options.protocol = Protocol::Modbus;
        else if (value == "auto")
            options.protocol = Protocol::Auto;
        else
            return UsageError("--protocol " + value + ": use kx485, modbus or auto");
    }
    for (const std::string& value : line.Values("station")) {
        const Result<StationSpec> parsed = ParseStationSpec(value);
        if (!parsed)
            return parsed.Why();
        const StationSpec& spec = parsed.Value();
        for (const StationSpec& other : options.stations)
            if (other.station == spec.station)
                return UsageError("--station " + value + ": station " + std::to_string(spec.station) +
                                  " is already on the line");
        options.stations.push_back(spec);
    }
    if (line.IsSet("data"))
        options.dataDir = line.Value("data");
    for (const char* name : {"drop-rate", "corrupt-rate"}) {
        if (!line.IsSet(name))
            continue;
        const std::string value = line.Value(name);
        const auto rate = ParseRate(value);
        if (!rate)
            return UsageError(std::string("--") + name + " " + value + ": use a share between 0 and 1");
        (std::string_view(name) == "drop-rate" ? options.faults.dropRate : options.faults.corruptRate) =
            *rate;
    }
    if (line.IsSet("delay")) {
        const std::string value = line.Value("delay");
        const auto delay = ParseNumber(value, 0, 60000);
        if (!delay)
            return UsageError("--delay " + value + ": use 0-60000 ms");
        options.faults.delayMs = static_cast<int>(*delay);
    }
    if (line.IsSet("seed")) {
        const std::string value = line.Value("seed");
        const auto seed = ParseNumber(value, 0, 0x7FFFFFFF);
        if (!seed)
            return UsageError("--seed " + value + ": use a number 0-2147483647");
        options.faults.seed = static_cast<uint64_t>(*seed);
        options.seeded = true;
    }
    if (options.link.empty() == options.port.empty())
        return UsageError("give either --link PATH or --port DEVICE");
    return {};
}

}  // namespace

Result<SimOptions> ParseSimOptions(const std::vector<std::string>& args)
{
    return tools::ReadInto<SimOptions>(args, ReadOptions);
}

}  // namespace vm::sim
