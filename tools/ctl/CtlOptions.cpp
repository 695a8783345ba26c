#include "tools/ctl/CtlOptions.h"

#include "tools/sim/LineOptions.h"
#include "tools/sim/SimLine.h"

#include <cctype>

namespace vm::ctl {

using sim::ParseNumber;

namespace {

constexpr int kMinTimeoutMs = 30;  // one tick
constexpr int kMaxTimeoutMs = 60000;
constexpr int kMaxRetries = 20;

std::string AddressText(const std::string& text)
{
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        std::string digits = text.substr(2);
        for (char& c : digits)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return "0x" + digits;
    }
    return text;
}

std::string ParseScanRange(const std::string& text, CtlOptions& o)
{
    if (text == "all") {
        o.first = kScanAllFirst;
        o.last = kScanAllLast;
        return {};
    }
    const size_t dash = text.find('-');
    const auto first = ParseNumber(text.substr(0, dash), 1, 255);
    const auto last = dash == std::string::npos ? first : ParseNumber(text.substr(dash + 1), 1, 255);
    if (!first || !last || *first > *last)
        return "scan " + text + ": use ID, FROM-TO (1-255) or all";
    o.first = static_cast<int>(*first);
    o.last = static_cast<int>(*last);
    return {};
}

std::string ParseFileCommand(const std::vector<std::string>& words, CtlOptions& o)
{
    const std::string& verb = words[0];
    o.command = verb == "upload" ? Command::Upload : verb == "download" ? Command::Download : Command::Compare;
    if (words.size() != 3)
        return verb + " takes ID FILE (.par or .usr)";
    const auto station = ParseNumber(words[1], 1, 255);
    if (!station)
        return verb + ": station " + words[1] + " is not 1-255";
    o.station = static_cast<int>(*station);
    o.file = words[2];
    if (o.verify && o.command != Command::Download)
        return "--verify belongs to download";
    return {};
}

std::string ParseCommand(const std::vector<std::string>& words, CtlOptions& o)
{
    if (words.empty())
        return "no command: use scan, read, write or monitor";
    const std::string& verb = words[0];
    if (verb == "upload" || verb == "download" || verb == "compare")
        return ParseFileCommand(words, o);
    if (verb == "scan") {
        o.command = Command::Scan;
        if (words.size() > 2)
            return "scan takes one ID, range or all";
        return words.size() == 2 ? ParseScanRange(words[1], o) : std::string();
    }
    if (verb == "read")
        o.command = Command::Read;
    else if (verb == "write")
        o.command = Command::Write;
    else if (verb == "monitor")
        o.command = Command::Monitor;
    else
        return "unknown command " + verb + ": use scan, read, write or monitor";
    if (words.size() < 3)
        return verb + " needs a station ID and an address";
    const auto station = ParseNumber(words[1], 1, 255);
    if (!station)
        return verb + ": station " + words[1] + " is not 1-255";
    o.station = static_cast<int>(*station);
    const size_t addressEnd = o.command == Command::Write ? 3 : words.size();
    if (o.command == Command::Write && words.size() != 4)
        return "write takes ID ADDR VALUE";
    if (o.command == Command::Monitor && words.size() - 2 > 8 * 4)
        return "monitor takes at most 32 addresses";
    for (size_t i = 2; i < addressEnd; ++i) {
        const auto address = ParseNumber(words[i], 0, 0xFFFF);
        if (!address)
            return verb + ": address " + words[i] + " is not 0-65535 (decimal or 0x hex)";
        o.addresses.push_back(static_cast<uint16_t>(*address));
        o.addressTexts.push_back(AddressText(words[i]));
    }
    if (o.command == Command::Write) {
        const auto value = ParseNumber(words[3], -32768, 0xFFFF);
        if (!value)
            return "write: value " + words[3] + " is not a 16-bit number";
        o.value = static_cast<uint16_t>(*value & 0xFFFF);
    }
    return {};
}

}  // namespace

const char* CtlUsage()
{
    return "usage: varimonctl --port DEV [options] COMMAND\n"
           "  scan [ID | FROM-TO | all]      identify stations (all: 1-31)\n"
           "  read ID ADDR...                read registers (decimal or 0x hex)\n"
           "  write ID ADDR VALUE            write one register\n"
           "  monitor ID ADDR... [--count N] [--raw]   poll live values\n"
           "  upload ID FILE                 save the drive's parameters (.par, or into a .usr)\n"
           "  download ID FILE [--verify]    write a file's parameters to the drive\n"
           "  compare ID FILE                list parameters that differ (exit 5)\n"
           "         --data DIR              parameter data files (default: the program's Data)\n"
           "options: --protocol kx485|modbus --baud N --parity none|odd|even|mark|space\n"
           "         --data-bits N --stop-bits 1|1.5|2 --timeout MS --retries N --json\n";
}

std::string ParseCtlOptions(const std::vector<std::string>& args, CtlOptions& o)
{
    std::vector<std::string> words;
    o.settings.portName.clear();
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name == "--help" || name == "-h") {
            o.help = true;
            continue;
        }
        if (name == "--verify") {
            o.verify = true;
            continue;
        }
        if (name == "--json" || name == "--raw") {
            (name == "--json" ? o.json : o.raw) = true;
            continue;
        }
        if (name.size() < 3 || name.rfind("--", 0) != 0) {
            words.push_back(name);  // a command word, or a negative value to write
            continue;
        }
        if (i + 1 >= args.size())
            return name + " needs a value";
        const std::string& value = args[++i];
        std::string error;
        if (sim::ApplyLineOption(name, value, o.settings, &error)) {
            if (!error.empty())
                return error;
        } else if (name == "--data") {
            o.dataDir = value;
        } else if (name == "--port") {
            o.settings.portName = value;
        } else if (name == "--protocol") {
            if (value == "kx485")
                o.settings.protocolMode = kKx485;
            else if (value == "modbus")
                o.settings.protocolMode = kModbusRtu;
            else
                return "--protocol " + value + ": use kx485 or modbus";
        } else if (name == "--timeout") {
            const auto ms = ParseNumber(value, kMinTimeoutMs, kMaxTimeoutMs);
            if (!ms)
                return "--timeout " + value + ": use 30-60000 ms";
            o.settings.timeoutMs = static_cast<int>(*ms);
        } else if (name == "--retries") {
            const auto n = ParseNumber(value, 0, kMaxRetries);
            if (!n)
                return "--retries " + value + ": use 0-20";
            o.settings.retryCount = static_cast<int>(*n);
        } else if (name == "--count") {
            const auto n = ParseNumber(value, 1, 1000000000);
            if (!n)
                return "--count " + value + ": use a positive number";
            o.count = static_cast<int>(*n);
        } else {
            return "unknown option " + name;
        }
    }
    if (o.help)
        return {};
    if (std::string why = ParseCommand(words, o); !why.empty())
        return why;
    if (o.settings.portName.empty())
        return "give the line with --port DEV";
    return {};
}

}  // namespace vm::ctl
