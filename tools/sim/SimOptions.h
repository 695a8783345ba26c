#pragma once
// The simulator's command line.

#include "base/Result.h"
#include "comm/CommPort.h"
#include "comm/LinePacing.h"
#include "tools/sim/SimLine.h"
#include "tools/sim/SimWire.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vm::sim {

// One --station ID:MODEL[:VERSION[:CAPACITY[:VOLTAGE]]]; parts left out are filled in later.
struct StationSpec {
    int station = 0;
    int model = 0;
    std::optional<int> version;   // hexadecimal on the command line, like the data file names
    std::optional<int> capacity;  // capacity code as the drive reports it
    std::optional<int> voltage;   // register value: 0 = 200 V class, 1 = 400 V class
};

struct SimOptions {
    std::string link;  // create a pseudo-terminal and a symlink here
    std::string port;  // or open this tty
    PortSettings line;
    Protocol protocol = Protocol::Auto;
    std::vector<StationSpec> stations;  // empty: the demo line
    std::filesystem::path dataDir;      // empty: the shipped Data folder
    LineFaults faults;
    WireTiming wire;               // --wire BAUD, --response MS
    Pacing pacing = Pacing::Tick;  // line: the gap before each request is checked
    int turnaroundUs = kDefaultTurnaroundUs;
    bool seeded = false;
    bool help = false;
    bool version = false;
};

// Parses the arguments after the program name. With --help or --version nothing else is checked.
Result<SimOptions> ParseSimOptions(const std::vector<std::string>& args);
Result<StationSpec> ParseStationSpec(const std::string& text);

// The --help text, and the usage line shown under a command-line error.
std::string SimHelp();
const char* SimSynopsis();

}  // namespace vm::sim
