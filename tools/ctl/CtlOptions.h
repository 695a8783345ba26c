#pragma once
// varimonctl's command line: port options and one command.

#include "base/Result.h"
#include "comm/CommManager.h"

#include <string>
#include <vector>

namespace vm::ctl {

// scan --quick without --quick-timeout.
inline constexpr int kDefaultQuickTimeoutMs = 100;

enum class Command { Scan, Read, Write, Monitor, Upload, Download, Compare };

// "all" on the command line, as the main window's "All IDs".
inline constexpr int kScanAllFirst = 1;
inline constexpr int kScanAllLast = 31;

struct CtlOptions {
    CommSettings settings;
    bool json = false;
    bool raw = false;    // monitor: raw register values
    int count = 0;       // monitor: lines to print, 0 = until interrupted
    bool stats = false;  // monitor: line health on stderr every second and at the end
    bool help = false;
    bool version = false;
    Command command = Command::Scan;
    int station = 0;            // read, write, monitor
    int first = kScanAllFirst;  // scan
    int last = kScanAllLast;
    int quickTimeoutMs = 0;  // scan --quick: one short attempt per ID, 0 = off
    std::vector<uint16_t> addresses;
    std::vector<std::string> addressTexts;  // as given, for the output
    uint16_t value = 0;                     // write
    std::string file;                       // upload, download, compare: the .par or .usr file
    bool verify = false;                    // download: read every written parameter back
    std::string dataDir;                    // parameter data files; empty: the program's Data folder
    std::string mqtt;                       // monitor: the broker's URL; empty = no publishing
    std::string mqttLine;                   // LINE of the topics; empty: from the port's name
    int mqttIntervalMs = 1000;
    std::string mqttCaFile;
    bool mqttInsecure = false;
};

inline bool IsFileCommand(Command c)
{
    return c == Command::Upload || c == Command::Download || c == Command::Compare;
}

// Parses the arguments after the program name; options may stand anywhere. With --help or
// --version nothing else is checked.
Result<CtlOptions> ParseCtlOptions(const std::vector<std::string>& args);

// The --help text, and the usage line shown under a command-line error.
std::string CtlHelp();
const char* CtlSynopsis();

}  // namespace vm::ctl
