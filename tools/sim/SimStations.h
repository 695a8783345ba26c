#pragma once
// Puts the stations of the command line (or the demo line) on a simulated line, each with the
// parameters of its data file.

#include "tools/sim/SimLine.h"
#include "tools/sim/SimOptions.h"

#include <filesystem>
#include <string>
#include <vector>

namespace vm::sim {

// The parameters of a model and version as registers; empty with *status set when the data
// file is missing or bad (the status text of the parameter database).
std::vector<ParamRegister> LoadParamRegisters(const std::filesystem::path& dataDir, int model, int version,
                                              std::string* status);

// One station of each supported model with a data file in dataDir (the newest version), then
// one unsupported model; IDs from 1 up.
std::vector<StationSpec> DemoLine(const std::filesystem::path& dataDir);

// Fills in what the specs leave out (version: the newest data file, else 0x0100) and adds the
// stations to the line. notes receives one line per station without parameters.
void PopulateLine(const std::vector<StationSpec>& specs, const std::filesystem::path& dataDir, SimLine& line,
                  std::vector<std::string>& notes);

}  // namespace vm::sim
