#pragma once
// Puts stations on an in-process simulated line the way varimon-sim's --station does.

#include "tools/sim/SimLine.h"
#include "tools/sim/SimStations.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace vm::test {

// Stations as "ID:MODEL[:VERSION[:CAPACITY[:VOLTAGE]]]", with their data file's parameters.
inline void AddSimStations(sim::SimLine& line, const std::vector<std::string>& specs)
{
    std::vector<sim::StationSpec> parsed;
    for (const std::string& text : specs) {
        const Result<sim::StationSpec> spec = sim::ParseStationSpec(text);
        // A mistyped station is the test's own fault: it fails there, not later on a missing drive.
        if (!spec)
            throw std::invalid_argument(spec.Text());
        parsed.push_back(spec.Value());
    }
    std::vector<std::string> notes;
    sim::PopulateLine(parsed, VARIMON_TEST_DATA_DIR, line, notes);
}

}  // namespace vm::test
