// varimon-sim: a simulated line of inverters on a pseudo-terminal or a serial port.

#include "tools/common/ToolCommandLine.h"
#include "tools/sim/SimServer.h"
#include "tools/sim/SimStations.h"

#include <unistd.h>
#include <algorithm>
#include <filesystem>
#include <iostream>
#include <random>

namespace {

// The Data folder beside the program, else an installed tree's share/varimon/Data, else, for a
// program run from the build folder, the one the build compiled (as the main program looks).
std::filesystem::path ShippedDataDir()
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path folder = fs::read_symlink("/proc/self/exe", ec).parent_path();
    const fs::path installed = (folder / "../share/varimon/Data").lexically_normal();
    for (const fs::path& candidate : {folder / "Data", installed}) {
        if (fs::is_directory(candidate, ec))
            return candidate;
    }
    const fs::path build = fs::weakly_canonical(VARIMON_BUILD_DIR, ec);
    const bool inBuild =
        std::mismatch(build.begin(), build.end(), folder.begin(), folder.end()).first == build.end();
    return inBuild ? fs::path(VARIMON_DATA_DIR) : installed;
}

}  // namespace

int main(int argc, char** argv)
{
    using namespace vm::sim;
    vm::Result<SimOptions> parsed = ParseSimOptions({argv + 1, argv + argc});
    if (!parsed) {
        std::cerr << "varimon-sim: " << parsed.Text() << "\nUsage: " << SimSynopsis()
                  << "\nRun 'varimon-sim --help' for all options.\n";
        return parsed.Code();
    }
    SimOptions options = std::move(parsed).Value();
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
