#include "tools/sim/SimStations.h"

#include "catalogue/DataFileVersions.h"
#include "catalogue/Models.h"
#include "catalogue/Registers.h"
#include "catalogue/StationRecord.h"
#include "paramdb/ParameterData.h"

#include <cstdio>

namespace vm::sim {

namespace {

constexpr int kFallbackVersion = 0x0100;
constexpr int kDemoUnsupportedModel = kModelQmB20;

// Capacity code and voltage class of each demo station: a spread of sizes, both classes.
struct DemoRating {
    int model;
    int capacity;
    int voltage;
};
constexpr DemoRating kDemoRatings[] = {
    {kModelQmA20, 4, 1},   // 5.5kW-4
    {kModelQmC20, 9, 1},   // 22kW-4
    {kModelQmE20, 1, 0},   // 1.5kW-2
    {kModelQmF20X, 6, 1},  // 11kW-4
    {kModelQmB20X, 1, 1},  // 0.75kW-NC-4
    {kDemoUnsupportedModel, 2, 0},
};

// The catalogue lists versions below a program folder holding "Data".
std::vector<uint16_t> VersionsOf(const std::filesystem::path& dataDir, int model)
{
    DataFileVersions versions;
    versions.ScanData(dataDir);
    return versions.AvailableVersions(model);
}

}  // namespace

std::vector<ParamRegister> LoadParamRegisters(const std::filesystem::path& dataDir, int model, int version,
                                              std::string* status)
{
    StationRecord record;
    record.model = model;
    record.version = version;
    ParameterData data;
    std::vector<ParamRegister> registers;
    if (!data.LoadDataFile(record, dataDir.string())) {
        if (status)
            *status = data.StatusText();
        return registers;
    }
    for (const auto& group : data.Groups()) {
        for (const auto& item : group->items) {
            const CType* type = item->Type();
            registers.push_back({item->address, static_cast<int32_t>(item->minimum),
                                 static_cast<int32_t>(item->maximum),
                                 static_cast<int32_t>(item->defaultValue), item->writable != 0,
                                 item->runWritable != 0, type && type->IsSigned()});
        }
    }
    if (status)
        *status = data.StatusText();
    return registers;
}

std::vector<StationSpec> DemoLine(const std::filesystem::path& dataDir)
{
    DataFileVersions versions;
    versions.ScanData(dataDir);
    std::vector<StationSpec> specs;
    int id = 1;
    for (const DemoRating& rating : kDemoRatings) {
        StationSpec spec{id, rating.model, std::nullopt, rating.capacity, rating.voltage};
        if (IsSupportedModel(rating.model)) {
            const auto& list = versions.AvailableVersions(rating.model);
            if (list.empty())
                continue;
            spec.version = list.back();
        } else {
            spec.version = kFallbackVersion;
        }
        specs.push_back(spec);
        ++id;
    }
    return specs;
}

void PopulateLine(const std::vector<StationSpec>& specs, const std::filesystem::path& dataDir, SimLine& line,
                  std::vector<std::string>& notes)
{
    for (const StationSpec& spec : specs) {
        DriveIdentity identity;
        identity.station = spec.station;
        identity.model = spec.model;
        identity.capacity = spec.capacity.value_or(1);
        identity.voltage = spec.voltage.value_or(1);
        if (spec.version) {
            identity.version = *spec.version;
        } else {
            const auto list = VersionsOf(dataDir, spec.model);
            identity.version = list.empty() ? kFallbackVersion : list.back();
        }
        std::string status;
        std::vector<ParamRegister> params;
        if (IsSupportedModel(spec.model))
            params = LoadParamRegisters(dataDir, spec.model, identity.version, &status);
        if (params.empty()) {
            char version[8];
            std::snprintf(version, sizeof version, "%04X", identity.version & 0xFFFF);
            notes.push_back("station " + std::to_string(spec.station) + " (" + ModelName(spec.model) + " " +
                            version + "): no parameters" +
                            (status.empty() ? std::string() : " (" + status + ")"));
        }
        line.AddStation(identity, params);
    }
}

}  // namespace vm::sim
