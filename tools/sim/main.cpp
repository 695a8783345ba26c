// varimon-sim: a simulated line of inverters on a pseudo-terminal or a serial port.

#include "tools/common/ToolCommandLine.h"
#include "tools/sim/SimServer.h"
#include "tools/sim/SimStations.h"

#include <filesystem>
#include <iostream>
#include <random>
#include <unistd.h>

namespace {

// The Data folder beside the program, else the one the build compiled.
std::filesystem::path ShippedDataDir()
{
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec && std::filesystem::is_directory(exe.parent_path() / "Data", ec))
        return exe.parent_path() / "Data";
    return VARIMON_DATA_DIR;
}

}  // namespace

int main(int argc, char** argv)
{
    using namespace vm::sim;
    SimOptions options;
    const std::string error = ParseSimOptions({argv + 1, argv + argc}, options);
    if (!error.empty()) {
        std::cerr << "varimon-sim: " << error << "\nUsage: " << SimSynopsis()
                  << "\nRun 'varimon-sim --help' for all options.\n";
        return 2;
    }
    if (options.help) {
        std::cout << SimHelp();
        return 0;
    }
    if (options.version) {
        std::cout << "varimon-sim " << vm::tools::ToolVersion() << "\n";
        return 0;
    }
    if (!options.seeded)
        options.faults.seed = std::random_device{}();
    const std::filesystem::path dataDir = options.dataDir.empty() ? ShippedDataDir() : options.dataDir;
    const std::vector<StationSpec> specs = options.stations.empty() ? DemoLine(dataDir) : options.stations;
    if (specs.empty()) {
        std::cerr << "varimon-sim: no data files in " << dataDir << " for a demo line; give --station\n";
        return 2;
    }
    SimLine line(options.protocol, options.faults);
    std::vector<std::string> notes;
    PopulateLine(specs, dataDir, line, notes);
    for (const std::string& note : notes)
        std::cerr << "varimon-sim: " << note << "\n";
    return RunSimulator(options, line, std::cout, std::cerr);
}
