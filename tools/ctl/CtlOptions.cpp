#include "tools/ctl/CtlOptions.h"

#include "comm/NetAddress.h"
#include "publish/MqttOptions.h"
#include "tools/common/ParseNumber.h"
#include "tools/common/ToolCommandLine.h"

#include <cctype>

namespace vm::ctl {

using tools::ParseNumber;
using tools::ToolCommandLine;
using tools::UsageError;

namespace {

constexpr int kMinTimeoutMs = 30;  // one tick
constexpr int kMaxTimeoutMs = 60000;
constexpr int kMaxRetries = 20;
constexpr const char* kSynopsis = "varimonctl --port DEV [options] COMMAND";

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

Result<> ParseScanRange(const std::string& text, CtlOptions& o)
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
        return UsageError("scan " + text + ": use ID, FROM-TO (1-255) or all");
    o.first = static_cast<int>(*first);
    o.last = static_cast<int>(*last);
    return {};
}

Result<> ParseFileCommand(const std::vector<std::string>& words, CtlOptions& o)
{
    const std::string& verb = words[0];
    o.command = verb == "upload"     ? Command::Upload
                : verb == "download" ? Command::Download
                                     : Command::Compare;
    if (words.size() != 3)
        return UsageError(verb + " takes ID FILE (.par or .usr)");
    const auto station = ParseNumber(words[1], 1, 255);
    if (!station)
        return UsageError(verb + ": station " + words[1] + " is not 1-255");
    o.station = static_cast<int>(*station);
    o.file = words[2];
    if (o.verify && o.command != Command::Download)
        return UsageError("--verify belongs to download");
    return {};
}

Result<> ParseCommand(const std::vector<std::string>& words, CtlOptions& o)
{
    if (words.empty())
        return UsageError("no command: use scan, read, write or monitor");
    const std::string& verb = words[0];
    if (verb == "upload" || verb == "download" || verb == "compare")
        return ParseFileCommand(words, o);
    if (verb == "scan") {
        o.command = Command::Scan;
        if (words.size() > 2)
            return UsageError("scan takes one ID, range or all");
        if (words.size() == 2)
            return ParseScanRange(words[1], o);
        return {};
    }
    if (verb == "read")
        o.command = Command::Read;
    else if (verb == "write")
        o.command = Command::Write;
    else if (verb == "monitor")
        o.command = Command::Monitor;
    else
        return UsageError("unknown command " + verb + ": use scan, read, write or monitor");
    if (words.size() < 3)
        return UsageError(verb + " needs a station ID and an address");
    const auto station = ParseNumber(words[1], 1, 255);
    if (!station)
        return UsageError(verb + ": station " + words[1] + " is not 1-255");
    o.station = static_cast<int>(*station);
    const size_t addressEnd = o.command == Command::Write ? 3 : words.size();
    if (o.command == Command::Write && words.size() != 4)
        return UsageError("write takes ID ADDR VALUE");
    if (o.command == Command::Monitor && words.size() - 2 > 8 * 4)
        return UsageError("monitor takes at most 32 addresses");
    for (size_t i = 2; i < addressEnd; ++i) {
        const auto address = ParseNumber(words[i], 0, 0xFFFF);
        if (!address)
            return UsageError(verb + ": address " + words[i] + " is not 0-65535 (decimal or 0x hex)");
        o.addresses.push_back(static_cast<uint16_t>(*address));
        o.addressTexts.push_back(AddressText(words[i]));
    }
    if (o.command == Command::Write) {
        const auto value = ParseNumber(words[3], -32768, 0xFFFF);
        if (!value)
            return UsageError("write: value " + words[3] + " is not a 16-bit number");
        o.value = static_cast<uint16_t>(*value & 0xFFFF);
    }
    return {};
}

// The options and the help text; the commands are the words among them.
void Declare(ToolCommandLine& line)
{
    line.AddOption({QStringLiteral("port"),
                    QStringLiteral("Serial device of the line, or a serial device server as tcp://HOST:PORT "
                                   "(raw) or rfc2217://HOST:PORT (required)."),
                    QStringLiteral("DEV")});
    line.AddOption(
        {QStringLiteral("net-allowance"),
         QStringLiteral("Added to the time-out on tcp:// and rfc2217:// ports, 0-10000 ms (default 200)."),
         QStringLiteral("MS")});
    line.AddOption({QStringLiteral("protocol"), QStringLiteral("kx485 or modbus (default kx485)."),
                    QStringLiteral("PROTOCOL")});
    line.AddLineOptions();
    line.AddPacingOptions();
    line.AddOption(
        {QStringLiteral("block-reads"),
         QStringLiteral("modbus: read up to N (2-125) consecutive monitored registers in one request."),
         QStringLiteral("N")});
    line.AddOption({QStringLiteral("timeout"), QStringLiteral("Reply time-out, 30-60000 ms (default 1000)."),
                    QStringLiteral("MS")});
    line.AddOption({QStringLiteral("retries"),
                    QStringLiteral("Repetitions after the first attempt, 0-20 (default 3)."),
                    QStringLiteral("N")});
    line.AddOption({QStringLiteral("quick"),
                    QStringLiteral("scan: give up a silent ID after one attempt with a short time-out.")});
    line.AddOption({QStringLiteral("quick-timeout"),
                    QStringLiteral("scan --quick: that time-out, 30-60000 ms (default 100)."),
                    QStringLiteral("MS")});
    line.AddOption({QStringLiteral("json"), QStringLiteral("One JSON object per output line.")});
    line.AddOption({QStringLiteral("count"),
                    QStringLiteral("monitor: stop after N lines (default: until Ctrl+C)."),
                    QStringLiteral("N")});
    line.AddOption({QStringLiteral("raw"), QStringLiteral("monitor: raw register values instead of texts.")});
    line.AddOption(
        {QStringLiteral("stats"),
         QStringLiteral("monitor: every second and at the end, the station's line health on stderr "
                        "(requests, replies, time-outs, checksum and frame errors, repetitions, "
                        "give-ups, NAKs and exceptions by code, reply ms last/mean/max from the end "
                        "of the request, values refreshed per second); with --json one object each.")});
    line.AddOption(
        {QStringLiteral("verify"), QStringLiteral("download: read every written parameter back.")});
    line.AddOption(
        {QStringLiteral("mqtt"),
         QStringLiteral("monitor: publish the station's state, events and faults to an MQTT broker, "
                        "mqtt://[USER[:PASSWORD]@]HOST[:PORT] or mqtts://... for TLS."),
         QStringLiteral("URL")});
    line.AddOption({QStringLiteral("mqtt-line"),
                    QStringLiteral("--mqtt: LINE of varimon/LINE/... (default: from --port)."),
                    QStringLiteral("NAME")});
    line.AddOption({QStringLiteral("mqtt-interval"),
                    QStringLiteral("--mqtt: state messages at most every MS, 0-3600000 (default 1000)."),
                    QStringLiteral("MS")});
    line.AddOption({QStringLiteral("mqtt-cafile"),
                    QStringLiteral("--mqtt with mqtts://: the broker's CA certificate."),
                    QStringLiteral("FILE")});
    line.AddOption({QStringLiteral("mqtt-insecure"),
                    QStringLiteral("--mqtt with mqtts://: do not check the broker's host name.")});
    line.AddOption({QStringLiteral("data"),
                    QStringLiteral("Parameter data files (default: the program's Data)."),
                    QStringLiteral("DIR")});
}

ToolCommandLine MakeCommandLine()
{
    return ToolCommandLine(
        kSynopsis,
        "Commands (options may stand before, between or after the words):\n"
        "  scan [ID | FROM-TO | all]   identify stations (default and all: 1-31)\n"
        "  read ID ADDR...             read registers (decimal or 0x hex)\n"
        "  write ID ADDR VALUE         write one register\n"
        "  monitor ID ADDR...          poll live values (up to 32 addresses)\n"
        "  upload ID FILE              save the drive's parameters (.par, or into a .usr)\n"
        "  download ID FILE            write a file's parameters to the drive (--verify)\n"
        "  compare ID FILE             list parameters that differ\n"
        "Exit status: 0 done, 1 communication failure, 2 bad command line, 3 port not opened,\n"
        "5 a compare found differences or a verify a mismatch.");
}

}  // namespace

std::string CtlHelp()
{
    ToolCommandLine line = MakeCommandLine();
    Declare(line);
    return line.HelpText();
}

const char* CtlSynopsis()
{
    return kSynopsis;
}

namespace {

Result<> ReadOptions(const std::vector<std::string>& args, CtlOptions& o)
{
    ToolCommandLine line = MakeCommandLine();
    Declare(line);
    o.settings.portName.clear();
    if (Result<> why = line.Parse(args); !why)
        return why;
    o.help = line.HelpRequested();
    o.version = line.VersionRequested();
    if (o.help || o.version)
        return {};
    o.json = line.IsSet("json");
    o.raw = line.IsSet("raw");
    o.stats = line.IsSet("stats");
    o.verify = line.IsSet("verify");
    if (line.IsSet("data"))
        o.dataDir = line.Value("data");
    if (Result<> why = line.ApplyLineOptions(o.settings); !why)
        return why;
    if (line.IsSet("port"))
        o.settings.portName = line.Value("port");
    if (IsNetworkPortName(o.settings.portName))
        if (const Result<NetAddress> address = ParseNetAddress(o.settings.portName); !address)
            return UsageError("--port " + address.Text());
    if (line.IsSet("net-allowance")) {
        const std::string value = line.Value("net-allowance");
        const auto ms = ParseNumber(value, 0, 10000);
        if (!ms)
            return UsageError("--net-allowance " + value + ": use 0-10000 ms");
        o.settings.networkAllowanceMs = static_cast<int>(*ms);
    }
    if (line.IsSet("mqtt")) {
        o.mqtt = line.Value("mqtt");
        if (const Result<MqttOptions> url = ParseMqttUrl(o.mqtt); !url)
            return UsageError("--mqtt " + url.Text());
    }
    if (line.IsSet("mqtt-line"))
        o.mqttLine = line.Value("mqtt-line");
    if (o.mqttLine.find_first_of("/+#") != std::string::npos)
        return UsageError("--mqtt-line " + o.mqttLine + ": no '/', '+' or '#' in a topic level");
    if (line.IsSet("mqtt-interval")) {
        const std::string value = line.Value("mqtt-interval");
        const auto ms = ParseNumber(value, 0, 3600000);
        if (!ms)
            return UsageError("--mqtt-interval " + value + ": use 0-3600000 ms");
        o.mqttIntervalMs = static_cast<int>(*ms);
    }
    if (line.IsSet("mqtt-cafile"))
        o.mqttCaFile = line.Value("mqtt-cafile");
    o.mqttInsecure = line.IsSet("mqtt-insecure");
    if (line.IsSet("protocol")) {
        const std::string value = line.Value("protocol");
        if (value == "kx485")
            o.settings.protocolMode = kKx485;
        else if (value == "modbus")
            o.settings.protocolMode = kModbusRtu;
        else
            return UsageError("--protocol " + value + ": use kx485 or modbus");
    }
    if (Result<> why = line.ApplyPacingOptions(o.settings.pacing, o.settings.turnaroundUs); !why)
        return why;
    if (line.IsSet("block-reads")) {
        const std::string value = line.Value("block-reads");
        const auto n = ParseNumber(value, 2, modbus::kMaxBlockRead);
        if (!n)
            return UsageError("--block-reads " + value + ": use 2-125");
        o.settings.blockReads = true;
        o.settings.blockReadMax = static_cast<int>(*n);
    }
    if (line.IsSet("timeout")) {
        const std::string value = line.Value("timeout");
        const auto ms = ParseNumber(value, kMinTimeoutMs, kMaxTimeoutMs);
        if (!ms)
            return UsageError("--timeout " + value + ": use 30-60000 ms");
        o.settings.timeoutMs = static_cast<int>(*ms);
    }
    if (line.IsSet("retries")) {
        const std::string value = line.Value("retries");
        const auto n = ParseNumber(value, 0, kMaxRetries);
        if (!n)
            return UsageError("--retries " + value + ": use 0-20");
        o.settings.retryCount = static_cast<int>(*n);
    }
    if (line.IsSet("quick") || line.IsSet("quick-timeout")) {
        o.quickTimeoutMs = kDefaultQuickTimeoutMs;
        if (line.IsSet("quick-timeout")) {
            const std::string value = line.Value("quick-timeout");
            const auto ms = ParseNumber(value, kMinTimeoutMs, kMaxTimeoutMs);
            if (!ms)
                return UsageError("--quick-timeout " + value + ": use 30-60000 ms");
            o.quickTimeoutMs = static_cast<int>(*ms);
        }
    }
    if (line.IsSet("count")) {
        const std::string value = line.Value("count");
        const auto n = ParseNumber(value, 1, 1000000000);
        if (!n)
            return UsageError("--count " + value + ": use a positive number");
        o.count = static_cast<int>(*n);
    }
    if (Result<> why = ParseCommand(line.Words(), o); !why)
        return why;
    if (o.quickTimeoutMs > 0 && o.command != Command::Scan)
        return UsageError("--quick is for scan only");
    if (o.stats && o.command != Command::Monitor)
        return UsageError("--stats goes with monitor");
    if (!o.mqtt.empty() && o.command != Command::Monitor)
        return UsageError("--mqtt goes with monitor");
    if (o.settings.portName.empty())
        return UsageError("give the line with --port DEV");
    return {};
}

}  // namespace

Result<CtlOptions> ParseCtlOptions(const std::vector<std::string>& args)
{
    return tools::ReadInto<CtlOptions>(args, ReadOptions);
}

}  // namespace vm::ctl
