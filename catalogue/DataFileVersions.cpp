#include "catalogue/DataFileVersions.h"

#include <algorithm>
#include <system_error>

namespace vm {

namespace {

bool IsHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// The version in the last four characters of a file title, if they are hexadecimal digits.
std::optional<uint16_t> VersionOfTitle(const std::string& title)
{
    if (title.size() < 4)
        return std::nullopt;
    const std::string digits = title.substr(title.size() - 4);
    if (!std::all_of(digits.begin(), digits.end(), IsHexDigit))
        return std::nullopt;
    return static_cast<uint16_t>(std::stoul(digits, nullptr, 16));
}

}  // namespace

void DataFileVersions::Scan(const std::filesystem::path& programFolder)
{
    ScanData(programFolder / "Data");
}

void DataFileVersions::ScanData(const std::filesystem::path& dataFolder)
{
    namespace fs = std::filesystem;
    for (auto& list : versions_)
        list.clear();
    for (int model : SupportedModels()) {
        const std::string name = ModelName(model);
        const std::string prefix = name + "_";
        const fs::path folder = dataFolder / name;
        std::error_code ec;
        fs::directory_iterator it(folder, ec);
        if (ec)
            continue;
        auto& list = versions_[static_cast<size_t>(model)];
        for (; it != fs::directory_iterator(); it.increment(ec)) {
            if (ec)
                break;
            const fs::path& path = it->path();
            const std::string file = path.filename().string();
            if (path.extension() != ".dat" || file.compare(0, prefix.size(), prefix) != 0)
                continue;
            if (!it->is_regular_file(ec))
                continue;
            const auto version = VersionOfTitle(path.stem().string());
            if (!version)
                continue;
            list.insert(std::upper_bound(list.begin(), list.end(), *version), *version);
        }
    }
}

const std::vector<uint16_t>& DataFileVersions::AvailableVersions(int model) const
{
    static const std::vector<uint16_t> kNone;
    if (model < 0 || model >= kModelCodeCount)
        return kNone;
    return versions_[static_cast<size_t>(model)];
}

std::vector<ListEntry> DataFileVersions::FillVersionList(int model) const
{
    std::vector<ListEntry> list;
    for (uint16_t v : AvailableVersions(model))
        list.push_back({VersionText(model, v), v});
    return list;
}

}  // namespace vm
