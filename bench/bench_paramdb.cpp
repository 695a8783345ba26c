// Loads the largest parameter data file of the Data folder again and again, then formats the
// value texts of every item, and prints items per second for both.
// Usage: bench_paramdb [data folder]

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "paramdb/ParameterData.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    const std::string folder = argc > 1 ? argv[1] : VARIMON_DATA_DIR;
    fs::path largest;
    std::uintmax_t largestSize = 0;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_regular_file() && it->path().extension() == ".dat" && it->file_size() > largestSize) {
            largest = it->path();
            largestSize = it->file_size();
        }
    }
    if (largest.empty()) {
        std::fprintf(stderr, "no .dat file below %s\n", folder.c_str());
        return 1;
    }

    // The header names the model and version the file is loaded for.
    vm::ParameterData probe;
    vm::ArchiveFile file;
    file.Attach(largest.string(), &probe);
    if (!file.Load(false)) {
        std::fprintf(stderr, "%s: %s\n", largest.c_str(), file.FailureText().c_str());
        return 1;
    }
    vm::StationRecord record;
    record.station = 5;
    record.model = probe.FileHeader().model;
    record.version = static_cast<int>(probe.FileHeader().version);
    record.value26 = 1;
    record.value27 = 4;

    constexpr int kLoads = 200;
    vm::ParameterData data;
    const auto loadStart = Clock::now();
    for (int i = 0; i < kLoads; ++i) {
        if (!data.LoadDataFile(record, folder)) {
            std::fprintf(stderr, "load failed: %s\n", data.StatusText().c_str());
            return 1;
        }
    }
    const double loadSeconds = Seconds(loadStart);
    const int items = data.TotalItemCount();

    constexpr int kRounds = 200;
    size_t textBytes = 0;  // keeps the formatting from being optimised away
    const auto formatStart = Clock::now();
    for (int round = 0; round < kRounds; ++round) {
        for (const auto& group : data.Groups()) {
            for (const auto& item : group->items) {
                item->valueStatus = 1;
                textBytes += item->ValueText().size() + item->DefaultText().size() + item->MinText().size() +
                             item->MaxText().size() + item->UnitText().size();
            }
        }
    }
    const double formatSeconds = Seconds(formatStart);

    std::printf("file: %s (%ju bytes, %d items)\n", largest.c_str(), largestSize, items);
    std::printf("load: %.0f items/s (%.3f ms per load)\n", items * kLoads / loadSeconds,
                loadSeconds * 1000 / kLoads);
    std::printf("format (value, default, min, max, unit): %.0f items/s\n", items * kRounds / formatSeconds);
    std::printf("(%zu text bytes)\n", textBytes);
    return 0;
}
