#include "tools/sim/SimOptions.h"

#include "tools/sim/LineOptions.h"

#include <sstream>

namespace vm::sim {

namespace {

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

}  // namespace

const char* SimUsage()
{
    return "usage: varimon-sim (--link PATH | --port DEVICE) [options]\n"
           "  --link PATH            create a pseudo-terminal, symlinked at PATH while running\n"
           "  --port DEVICE          serve an existing tty instead\n"
           "  --baud N --parity none|odd|even|mark|space --data-bits 5-8 --stop-bits 1|1.5|2\n"
           "  --protocol kx485|modbus|auto   (default auto: told apart by each request)\n"
           "  --station ID:MODEL[:VERSION[:CAPACITY[:VOLTAGE]]]   repeatable; MODEL a name or\n"
           "                         code, VERSION hex (0015), CAPACITY a code, VOLTAGE 200|400;\n"
           "                         without any: one station of each shipped model and one\n"
           "                         unsupported model\n"
           "  --data DIR             parameter data folder (default: the shipped Data folder)\n"
           "  --drop-rate P --corrupt-rate P   share of replies lost or sent damaged (0-1)\n"
           "  --delay MS             reply latency\n"
           "  --echo                 echo the master's frames, as a two-wire line does\n"
           "  --seed N               random seed for the fault injection\n"
           "Console (stdin): trip ID BIT | reset ID | silence ID | revive ID | set ID ADDR VALUE |\n"
           "                 load ID PERCENT | quit\n";
}

std::string ParseStationSpec(const std::string& text, StationSpec& spec)
{
    const std::vector<std::string> parts = Split(text, ':');
    if (parts.size() < 2 || parts.size() > 5)
        return "--station " + text + ": use ID:MODEL[:VERSION[:CAPACITY[:VOLTAGE]]]";
    const auto id = ParseNumber(parts[0], 1, 255);
    if (!id)
        return "--station " + text + ": the ID must be 1-255";
    spec.station = static_cast<int>(*id);
    spec.model = ParseModel(parts[1]);
    if (spec.model < 0)
        return "--station " + text + ": unknown model " + parts[1];
    if (parts.size() > 2 && !parts[2].empty()) {
        const std::string digits = parts[2].rfind("0x", 0) == 0 ? parts[2] : "0x" + parts[2];
        const auto version = ParseNumber(digits, 0, 0xFFFF);
        if (!version)
            return "--station " + text + ": the version is 1-4 hexadecimal digits";
        spec.version = static_cast<int>(*version);
    }
    if (parts.size() > 3 && !parts[3].empty()) {
        const auto capacity = ParseNumber(parts[3], 0, 0xFFFF);
        if (!capacity)
            return "--station " + text + ": the capacity code is 0-65535";
        spec.capacity = static_cast<int>(*capacity);
    }
    if (parts.size() > 4 && !parts[4].empty()) {
        const std::string& v = parts[4];
        if (v == "200" || v == "2")
            spec.voltage = 0;
        else if (v == "400" || v == "4")
            spec.voltage = 1;
        else
            return "--station " + text + ": the voltage class is 200 or 400";
    }
    return {};
}

std::string ParseSimOptions(const std::vector<std::string>& args, SimOptions& options)
{
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name == "--help" || name == "-h") {
            options.help = true;
            continue;
        }
        if (name == "--echo") {
            options.faults.echo = true;
            continue;
        }
        if (name.rfind("--", 0) != 0)
            return "unexpected argument " + name;
        if (i + 1 >= args.size())
            return name + " needs a value";
        const std::string& value = args[++i];
        std::string error;
        if (ApplyLineOption(name, value, options.line, &error)) {
            if (!error.empty())
                return error;
        } else if (name == "--link") {
            options.link = value;
        } else if (name == "--port") {
            options.port = value;
        } else if (name == "--protocol") {
            if (value == "kx485")
                options.protocol = Protocol::Kx485;
            else if (value == "modbus")
                options.protocol = Protocol::Modbus;
            else if (value == "auto")
                options.protocol = Protocol::Auto;
            else
                return "--protocol " + value + ": use kx485, modbus or auto";
        } else if (name == "--station") {
            StationSpec spec;
            if (std::string why = ParseStationSpec(value, spec); !why.empty())
                return why;
            for (const StationSpec& other : options.stations)
                if (other.station == spec.station)
                    return "--station " + value + ": station " + std::to_string(spec.station) + " is already on the line";
            options.stations.push_back(spec);
        } else if (name == "--data") {
            options.dataDir = value;
        } else if (name == "--drop-rate" || name == "--corrupt-rate") {
            const auto rate = ParseRate(value);
            if (!rate)
                return name + " " + value + ": use a share between 0 and 1";
            (name == "--drop-rate" ? options.faults.dropRate : options.faults.corruptRate) = *rate;
        } else if (name == "--delay") {
            const auto delay = ParseNumber(value, 0, 60000);
            if (!delay)
                return "--delay " + value + ": use 0-60000 ms";
            options.faults.delayMs = static_cast<int>(*delay);
        } else if (name == "--seed") {
            const auto seed = ParseNumber(value, 0, 0x7FFFFFFF);
            if (!seed)
                return "--seed " + value + ": use a number 0-2147483647";
            options.faults.seed = static_cast<uint64_t>(*seed);
            options.seeded = true;
        } else {
            return "unknown option " + name;
        }
    }
    if (options.help)
        return {};
    if (options.link.empty() == options.port.empty())
        return "give either --link PATH or --port DEVICE";
    return {};
}

}  // namespace vm::sim
