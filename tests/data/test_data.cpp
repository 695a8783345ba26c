// The shipped parameter data files, as the program sees them: found by the version scan, loaded
// by LoadDataFile, and consistent with the catalogue.

#include <gtest/gtest.h>

#include <QJsonDocument>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <set>

#include <unistd.h>

#include "catalogue/DataFileVersions.h"
#include "catalogue/Models.h"
#include "catalogue/MonitorItems.h"
#include "paramdb/ParameterData.h"
#include "tools/datac/DataSource.h"

namespace fs = std::filesystem;
using namespace vm;

namespace {

const std::string kDataDir = VARIMON_TEST_DATA_DIR;

struct Shipped {
    int model;
    int version;
    std::string source;  // data/<MODEL>/<MODEL>_<VVVV>.json
    std::string file;    // <build>/Data/<MODEL>/<MODEL>_<VVVV>.dat
};

// Every data file the version scan finds, with the source it was compiled from.
std::vector<Shipped> ShippedFiles()
{
    DataFileVersions scan;
    scan.Scan(fs::path(kDataDir).parent_path());
    std::vector<Shipped> out;
    for (int model : SupportedModels()) {
        for (uint16_t version : scan.AvailableVersions(model)) {
            char title[64];
            std::snprintf(title, sizeof title, "%s/%s_%04X", ModelName(model), ModelName(model), version);
            out.push_back({model, version, std::string(VARIMON_SOURCE_DIR "/data/") + title + ".json",
                           ParameterData::DataFilePath(kDataDir, model, version)});
        }
    }
    return out;
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

StationRecord OfflineRecord(int model, int version)
{
    StationRecord rec;
    rec.station = kFirstOfflineSlot;
    rec.model = model;
    rec.version = version;
    return rec;
}

std::string Name(const Shipped& s)
{
    return fs::path(s.file).filename().string();
}

std::vector<const CItem*> AllItems(const ParameterData& data)
{
    std::vector<const CItem*> items;
    for (const auto& g : data.Groups())
        for (const auto& it : g->items)
            items.push_back(it.get());
    return items;
}

// Loads every shipped file for its own model and version and hands it to check.
template <typename Check>
void ForEachLoaded(Check check)
{
    for (const Shipped& s : ShippedFiles()) {
        SCOPED_TRACE(Name(s));
        const StationRecord rec = OfflineRecord(s.model, s.version);
        ParameterData data;
        ASSERT_TRUE(data.LoadDataFile(rec, kDataDir)) << data.StatusText();
        check(s, data);
    }
}

}  // namespace

TEST(ShippedData, everySourceIsCompiledAndFoundByTheVersionScan)
{
    std::set<std::string> sources;
    for (const auto& e : fs::recursive_directory_iterator(VARIMON_SOURCE_DIR "/data"))
        if (e.path().extension() == ".json")
            sources.insert(e.path().string());
    std::set<std::string> scanned;
    std::map<int, int> perModel;
    for (const Shipped& s : ShippedFiles()) {
        scanned.insert(s.source);
        ++perModel[s.model];
    }
    EXPECT_EQ(scanned, sources);
    // Two versions of QM-A20 either side of 2.00, and QM-B20X 1.4 and 1.5 (one fault word, two).
    EXPECT_EQ((std::map<int, int>{{4, 2}, {5, 1}, {8, 1}, {9, 1}, {10, 2}}), perModel);
    DataFileVersions scan;
    scan.Scan(fs::path(kDataDir).parent_path());
    const std::vector<uint16_t>& a20 = scan.AvailableVersions(4);
    ASSERT_EQ(a20.size(), 2u);
    EXPECT_LE(a20[0], 0x0200);
    EXPECT_GT(a20[1], 0x0200);
    EXPECT_EQ(scan.AvailableVersions(10), (std::vector<uint16_t>{0x0014, 0x0015}));
}

TEST(ShippedData, everyFileLoadsForItsModelAndVersionAndDumpsBackToItsSource)
{
    ForEachLoaded([](const Shipped& s, ParameterData& data) {
        EXPECT_EQ(data.StatusCode(), 0);
        EXPECT_TRUE(data.IsLoaded());
        EXPECT_GE(data.GroupCount(), 4);
        EXPECT_GE(data.TotalItemCount(), s.model == 8 ? 100 : 150);
        EXPECT_LE(data.TotalItemCount(), 300);

        const Result<std::string> json = datac::DumpFile(s.file);
        ASSERT_TRUE(json) << json.Text();
        const QJsonDocument dumped = QJsonDocument::fromJson(QByteArray::fromStdString(json.Value()));
        const QJsonDocument source = QJsonDocument::fromJson(QByteArray::fromStdString(ReadAll(s.source)));
        ASSERT_TRUE(source.isObject());
        EXPECT_EQ(dumped, source);
    });
}

TEST(ShippedData, addressesStayClearOfTheCatalogueRegisters)
{
    ForEachLoaded([](const Shipped& s, ParameterData& data) {
        std::set<uint16_t> reserved = {0, 1, 2, 3};
        for (int set = 0; set <= 4; ++set)
            for (const MonitorItem& m : BuildItemSet(s.model, s.version, set))
                reserved.insert(m.address);
        for (uint16_t a : MonitorAddressSet(s.model, s.version))
            reserved.insert(a);
        for (uint16_t a = 0; a <= 39; ++a)
            reserved.insert(a);
        ASSERT_TRUE(reserved.count(s.model == 5 ? 1282 : 5));

        std::set<uint16_t> seen;
        for (const CItem* it : AllItems(data)) {
            EXPECT_FALSE(reserved.count(it->address)) << it->name;
            EXPECT_TRUE(seen.insert(it->address).second) << it->name;
            EXPECT_EQ(data.FindItem(it->address), it);
        }
    });
}

// What the connection scan reads as the time scale is what the editor shows for the parameter.
TEST(ShippedData, timeScaleRegisterIsAChoiceWithTheScanTexts)
{
    ForEachLoaded([](const Shipped& s, ParameterData& data) {
        const std::optional<uint16_t> reg = TimeScaleRegister(s.model);
        if (!reg) {
            EXPECT_EQ(s.model, 5);
            return;
        }
        const CItem* item = data.FindItem(*reg);
        ASSERT_NE(item, nullptr);
        ASSERT_TRUE(item->IsChoice());
        const std::map<int, std::string> texts = {{100, "0.01 sec"}, {10, "0.1 sec"}, {1, "1 sec"}};
        for (uint32_t raw = 0; raw <= 2; ++raw)
            EXPECT_EQ(item->ValueText(raw, true), texts.at(TimeScale(static_cast<int>(raw))));
        EXPECT_EQ(item->ChoiceTexts().size(), 3u);
    });
}

// Every item shows its default and limits, names with a placeholder are renamed by the mode,
// and acceleration times follow the time scale.
TEST(ShippedData, itemsFormatAndFollowTheModes)
{
    ForEachLoaded([](const Shipped& s, ParameterData& data) {
        int modeNames = 0, readOnly = 0, runWritable = 0;
        for (const CItem* it : AllItems(data)) {
            ASSERT_TRUE(it->HasValueType()) << it->name;
            EXPECT_EQ(it->value, it->defaultValue) << it->name;
            EXPECT_FALSE(it->DefaultText().empty()) << it->name;
            EXPECT_FALSE(it->ValueText().empty()) << it->name;  // offline: the default
            EXPECT_FALSE(it->MaxText().empty()) << it->name;
            if (it->IsChoice()) {
                EXPECT_EQ(it->ChoiceTexts().at(it->defaultValue), it->DefaultText()) << it->name;
            } else {
                EXPECT_TRUE(it->InRange(it->Decode(it->defaultValue))) << it->name;
                EXPECT_EQ(it->Encode(it->Decode(it->defaultValue)), it->defaultValue) << it->name;
            }
            const bool placeholder =
                it->name.find("@@@@") != std::string::npos || it->name.find("$$$$") != std::string::npos;
            EXPECT_EQ(it->modeName != 0, placeholder) << it->name;
            modeNames += placeholder;
            readOnly += it->writable == 0;
            runWritable += it->runWritable != 0;
        }
        EXPECT_GT(modeNames, 0);
        EXPECT_GT(readOnly, 0);
        EXPECT_GT(runWritable, 0);

        data.SetMode(ParameterData::kRpmMode, 100);
        for (const CItem* it : AllItems(data)) {
            EXPECT_EQ(it->displayName.find("@@@@"), std::string::npos);
            EXPECT_EQ(it->displayName.find("$$$$"), std::string::npos);
        }
        const CItem* acc = data.ItemAt(0, 1);
        ASSERT_NE(acc, nullptr);
        EXPECT_EQ(acc->name, "Acc. Time");
        ASSERT_NE(acc->Type(), nullptr);
        EXPECT_EQ(acc->Type()->name, "TIME1");
        EXPECT_EQ(acc->ValueText(1234, true), "12.34");
        data.SetMode(ParameterData::kFreqMode, 1);
        EXPECT_EQ(acc->ValueText(1234, true), "1234");
        EXPECT_EQ(data.ItemAt(0, 0)->displayName, s.model == 5 ? "Speed Command" : "Freq Command");
    });
}

// Each file uses every kind of value the editor formats.
TEST(ShippedData, everyFileUsesEveryKindOfValue)
{
    ForEachLoaded([](const Shipped& s, ParameterData& data) {
        std::set<std::string> kinds;
        for (const CItem* it : AllItems(data)) {
            const CType* t = it->Type();
            ASSERT_TRUE(it->IsChoice() || t) << it->name;
            if (it->IsChoice())
                kinds.insert("choice");
            else if (t->IsSigned())
                kinds.insert("signed");
            else if (t->IsHex())
                kinds.insert("hex");
            else if (t->IsBitField())
                kinds.insert("bits");
            else if (t->name == "FREQ3" || t->name == "TIME1")
                kinds.insert(t->name);
            else if (it->Decimals() > 0)
                kinds.insert("decimal");
        }
        EXPECT_EQ(kinds,
                  (std::set<std::string>{"choice", "signed", "hex", "bits", "FREQ3", "TIME1", "decimal"}));
    });
}

// A newer software version keeps every parameter of the older one and adds some.
TEST(ShippedData, newerVersionsExtendTheOlderOnes)
{
    std::map<int, std::vector<Shipped>> byModel;
    for (const Shipped& s : ShippedFiles())
        byModel[s.model].push_back(s);
    int pairs = 0;
    for (const auto& [model, files] : byModel) {
        for (size_t i = 1; i < files.size(); ++i, ++pairs) {
            SCOPED_TRACE(Name(files[i]));
            const StationRecord oldRec = OfflineRecord(model, files[i - 1].version);
            const StationRecord newRec = OfflineRecord(model, files[i].version);
            ParameterData older, newer;
            ASSERT_TRUE(older.LoadDataFile(oldRec, kDataDir));
            ASSERT_TRUE(newer.LoadDataFile(newRec, kDataDir));
            EXPECT_GT(newer.TotalItemCount(), older.TotalItemCount());
            for (const CItem* it : AllItems(older)) {
                const CItem* same = newer.FindItem(it->address);
                ASSERT_NE(same, nullptr) << it->name;
                EXPECT_EQ(same->name, it->name);
            }
        }
    }
    EXPECT_EQ(pairs, 2);
}

// A cut-short file, at every length, is refused with a status; nothing of it stays loaded. One
// test per file so that ctest spreads them over the cores.
class ShippedTruncation : public ::testing::TestWithParam<size_t> {};

TEST_P(ShippedTruncation, everyCutFailsWithAStatus)
{
    const std::vector<Shipped> files = ShippedFiles();
    ASSERT_LT(GetParam(), files.size());
    const Shipped& s = files[GetParam()];
    SCOPED_TRACE(Name(s));
    const std::string whole = ReadAll(s.file);
    ASSERT_GT(whole.size(), ObjectArchive::kBufferSize);  // so the cuts cross a refill
    const StationRecord rec = OfflineRecord(s.model, s.version);
    ParameterData data;
    for (size_t n = 0; n < whole.size(); ++n) {
        MemorySource source({reinterpret_cast<const uint8_t*>(whole.data()), n});
        ASSERT_FALSE(data.LoadDataImage(rec, source, s.file)) << n;
        ASSERT_TRUE(data.StatusCode() == 5 || data.StatusCode() == 6) << n;
        ASSERT_FALSE(data.IsLoaded());
        ASSERT_EQ(data.GroupCount(), 0) << n;
    }
    MemorySource full({reinterpret_cast<const uint8_t*>(whole.data()), whole.size()});
    EXPECT_TRUE(data.LoadDataImage(rec, full, s.file));
}

constexpr size_t kShippedCount = 7;
INSTANTIATE_TEST_SUITE_P(EachFile, ShippedTruncation, ::testing::Range<size_t>(0, kShippedCount));

// A file added to data/ must join the truncation cases above.
TEST(ShippedDataRobustness, truncationCoversEveryShippedFile)
{
    EXPECT_EQ(ShippedFiles().size(), kShippedCount);
}

// The same through real files, at a spread of lengths.
TEST(ShippedDataRobustness, truncatedFilesOnDiskFailWithAStatus)
{
    const fs::path dir = fs::temp_directory_path() / ("varimon-data-" + std::to_string(::getpid()));
    for (const Shipped& s : ShippedFiles()) {
        SCOPED_TRACE(Name(s));
        const std::string whole = ReadAll(s.file);
        const fs::path modelDir = dir / ModelName(s.model);
        fs::create_directories(modelDir);
        const std::string path = ParameterData::DataFilePath(dir.string(), s.model, s.version);
        const StationRecord rec = OfflineRecord(s.model, s.version);
        for (size_t n : {size_t(0), size_t(1), size_t(33), size_t(36), whole.size() / 2, whole.size() - 1}) {
            std::ofstream(path, std::ios::binary | std::ios::trunc)
                .write(whole.data(), static_cast<std::streamsize>(n));
            ParameterData data;
            EXPECT_FALSE(data.LoadDataFile(rec, dir.string())) << n;
            EXPECT_TRUE(data.StatusCode() == 5 || data.StatusCode() == 6) << n;
        }
    }
    fs::remove_all(dir);
}

// Seeded random damage: a load either succeeds or reports a status; never a crash.
TEST(ShippedDataRobustness, randomCorruptionsLoadOrFailCleanly)
{
    std::mt19937 rng(20240611);
    int failed = 0, loaded = 0;
    for (const Shipped& s : ShippedFiles()) {
        const std::string whole = ReadAll(s.file);
        const StationRecord rec = OfflineRecord(s.model, s.version);
        for (int round = 0; round < 300; ++round) {
            std::string bytes = whole;
            const int flips = 1 + static_cast<int>(rng() % 4);
            for (int f = 0; f < flips; ++f)
                bytes[rng() % bytes.size()] = static_cast<char>(rng());
            if (rng() % 4 == 0)
                bytes.resize(rng() % bytes.size());
            MemorySource source({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
            ParameterData data;
            if (data.LoadDataImage(rec, source, s.file)) {
                ++loaded;
                EXPECT_EQ(data.StatusCode(), 0);
                for (const CItem* it : AllItems(data))
                    (void)it->ValueText(it->value, true);  // formatting damaged limits must not crash
            } else {
                ++failed;
                EXPECT_GE(data.StatusCode(), 3);
                EXPECT_LE(data.StatusCode(), 6);
                EXPECT_EQ(data.GroupCount(), 0);
            }
        }
    }
    EXPECT_GT(failed, 0);
    EXPECT_GT(loaded, 0);
}
