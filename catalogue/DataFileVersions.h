#pragma once
// Which parameter data-file versions exist on disk for each supported model, learnt once at start.

#include "catalogue/Models.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace vm {

class DataFileVersions {
public:
    // Lists <programFolder>/Data/<model>/<model>_*.dat for each supported model; files whose
    // title does not end in four hexadecimal digits are ignored. Replaces earlier results.
    void Scan(const std::filesystem::path& programFolder);
    // The same below a data folder of any name: <dataFolder>/<model>/<model>_*.dat.
    void ScanData(const std::filesystem::path& dataFolder);

    // Versions of a model in ascending order (empty for unknown or unsupported codes).
    const std::vector<uint16_t>& AvailableVersions(int model) const;

    // One entry per available version: VersionText as text, the version as data.
    std::vector<ListEntry> FillVersionList(int model) const;

private:
    std::array<std::vector<uint16_t>, kModelCodeCount> versions_;
};

}  // namespace vm
