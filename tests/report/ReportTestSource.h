#pragma once
// A stand-in for the parameter editor a report reads: a station's parameter data loaded from a
// shipped data file, user groups made by the test, and a count of close calls.

#include "catalogue/DataFileVersions.h"
#include "catalogue/Models.h"
#include "paramdb/ParameterData.h"
#include "paramdb/TextCodec.h"
#include "paramdb/UserGroup.h"
#include "report/ReportSource.h"
#include "tests/support/FakeToolHost.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace vm::test {

// A text of the data file (Windows-1252) as shown.
inline QString Shown(const std::string& text)
{
    return QString::fromStdString(Cp1252ToUtf8(text));
}

struct ShippedFile {
    int model;
    int version;
};

inline std::vector<ShippedFile> ShippedDataFiles()
{
    DataFileVersions scan;
    scan.Scan(std::filesystem::path(VARIMON_TEST_DATA_DIR).parent_path());
    std::vector<ShippedFile> files;
    for (int model : SupportedModels())
        for (uint16_t version : scan.AvailableVersions(model))
            files.push_back({model, version});
    return files;
}

// Gives the items of every group the four value states in turn: not read, read at the default,
// read and changed, failed.
inline void CycleStatuses(ParameterData& data)
{
    int i = 0;
    for (const auto& group : data.Groups()) {
        for (const auto& item : group->items) {
            item->valueStatus = (i % 4 == 3) ? 2 : (i % 4 == 0 ? 0 : 1);
            item->value = item->defaultValue + (i % 4 == 2 ? 1 : 0);
            ++i;
        }
    }
}

class TestReportSource : public ReportSource {
public:
    TestReportSource(FakeToolHost& host, int station) : host_(host), station_(station) {}

    // Loads the data file of the model and version into the station's record.
    bool Load(int model, int version)
    {
        StationRecord& record = host_.Record(station_);
        record.present = record.connected = station_ < kFirstOfflineSlot ? 1 : 0;
        record.model = model;
        record.version = version;
        record.timeScale = kDefaultTimeScale;
        data = std::make_shared<ParameterData>();
        record.paramData = data;
        if (!data->LoadDataFile(record, VARIMON_TEST_DATA_DIR))
            return false;
        data->SetMode(ParameterData::kFreqMode, 10);  // as the editor does once it has the data
        return true;
    }

    CCustom& AddUserGroup(const std::string& name, const std::vector<uint32_t>& addresses)
    {
        auto custom = std::make_unique<CCustom>(data.get(), data->Model(), data->Version());
        custom->SetPath("/tmp/" + name + ".usr");
        for (uint32_t a : addresses)
            custom->AddEntry(a, 0);
        userGroups.push_back(std::move(custom));
        return *userGroups.back();
    }

    int ReportStation() const override { return station_; }
    bool ReportOnline() const override { return station_ < kFirstOfflineSlot; }
    std::shared_ptr<ParameterData> ReportData() const override { return data; }
    const CCustom* ReportUserGroup(const std::string& name) const override
    {
        for (const auto& g : userGroups)
            if (g->Name() == name)
                return g.get();
        return nullptr;
    }
    void ReportClosed() override { ++closed; }

    std::shared_ptr<ParameterData> data;
    std::vector<std::unique_ptr<CCustom>> userGroups;
    int closed = 0;

private:
    FakeToolHost& host_;
    int station_;
};

}  // namespace vm::test
