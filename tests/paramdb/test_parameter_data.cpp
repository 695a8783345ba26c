#include <sys/stat.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "SampleData.h"
#include "paramdb/ParameterData.h"

namespace vm {
namespace {

using test::SampleImage;
using test::TempDir;
using test::WriteBytes;
using ::testing::ElementsAre;

// Writes the data-file layout by hand, independent of the code under test.
struct Bytes {
    std::vector<uint8_t> b;
    Bytes& u8(uint8_t v)
    {
        b.push_back(v);
        return *this;
    }
    Bytes& u16(uint16_t v) { return u8(v & 0xFF).u8(v >> 8); }
    Bytes& u32(uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
    Bytes& str(const std::string& s)
    {
        u8(static_cast<uint8_t>(s.size()));
        b.insert(b.end(), s.begin(), s.end());
        return *this;
    }
    Bytes& item(uint16_t addr, uint32_t modeName, uint32_t min, uint32_t max, uint32_t def,
                const std::string& name, const std::string& type, const std::string& mess)
    {
        u16(addr).u32(modeName).u32(1).u32(0).u32(min).u32(max).u32(def);
        return str(name).str(type).str(mess).str("x").str("").str("y");
    }
};

std::vector<uint8_t> HandMadeFile(uint16_t formatVersion = 0x0100, uint16_t model = 10)
{
    Bytes f;
    f.str("KXEC - Varimon Data File Editor").u16(formatVersion).str("hand made").u16(model);
    f.u16(0).u16(0).u16(0).u16(0).u32(0x15);
    f.u32(2);  // types
    f.str(" FREQ3\t").str("ignored").str("ignored").str(" Hz ").u32(1).u32(100).u8(0);
    f.str("MSG").str("").str("").str("").u32(1).u32(1).u8(0);
    f.u32(1);  // choice lists
    f.str("ONOFF").u32(2).str(" Off ").str("On");
    f.u32(3);  // groups
    f.str("  Drive  ").u32(5);
    f.item(0x0108, 0, 0, 200, 300, " Start Freq ", "FREQ3", "");  // bit 3 set: starts at the maximum
    f.item(0x0110, 0, 0, 200, 300, "Stop Freq", "FREQ3", "");     // bit 3 clear: starts at the default
    f.item(0x0111, 0, 0, 1, 0, "Brake", "MSG", "ONOFF");
    f.item(0x0112, 0, 0, 1, 0, "No List", "MSG", "");
    f.item(0x0113, 0, 0, 1, 0, "Bad List", "MSG", "NOPE");
    f.str("Empty").u32(0);
    f.str("Extra").u32(1);
    f.item(0x0108, 0, 0, 9, 9, "Duplicate", "NOTYPE", "");
    return f.b;
}

StationRecord Record(int model, int version, int station = 3)
{
    StationRecord r;
    r.station = station;
    r.model = model;
    r.version = version;
    return r;
}

bool LoadImage(ParameterData& data, const StationRecord& record, const std::vector<uint8_t>& bytes)
{
    MemorySource source(bytes);
    return data.LoadDataImage(record, source, "image.dat");
}

TEST(ParameterDataTest, readsTheFieldsInFileOrderTrimmedAndLinked)
{
    const StationRecord record = Record(10, 0x15);
    ParameterData data;
    ASSERT_TRUE(LoadImage(data, record, HandMadeFile()));
    EXPECT_EQ(data.StatusCode(), 0);
    EXPECT_EQ(data.StatusText(), "No Error");
    EXPECT_EQ(data.Description(), "hand made");
    EXPECT_EQ(data.GroupCount(), 3);
    EXPECT_EQ(data.GroupName(0), "Drive");
    EXPECT_EQ(data.ItemCount(1), 0);
    EXPECT_EQ(data.TotalItemCount(), 6);

    const CType* freq = data.Types().At(0);
    EXPECT_EQ(freq->name, "FREQ3");
    EXPECT_EQ(freq->unit, "Hz");
    EXPECT_EQ(freq->divisor, 100u);
    EXPECT_EQ(freq->realDivisor, 100.0);
    EXPECT_THAT(data.ChoiceLists().At(0)->texts, ElementsAre("Off", "On"));

    CItem* start = data.ItemAt(0, 0);
    EXPECT_EQ(start->name, "Start Freq");
    EXPECT_EQ(start->displayName, "Start Freq");
    EXPECT_EQ(start->value, 200u);
    EXPECT_EQ(data.ItemAt(0, 1)->value, 300u);
    EXPECT_EQ(start->Type(), freq);
    EXPECT_EQ(start->Group(), data.GroupAt(0));
    EXPECT_EQ(start->Data(), &data);
    EXPECT_EQ(start->unused[0], "x");
    EXPECT_EQ(start->unused[2], "y");

    const CItem* brake = data.ItemAt(0, 2);
    EXPECT_TRUE(brake->IsChoice());
    EXPECT_EQ(brake->kind, CItem::kChoice);
    EXPECT_EQ(brake->Choices(), data.ChoiceLists().At(0));
    // "MSG" without a usable choice list falls back to the value type of that name.
    for (int i : {3, 4}) {
        const CItem* item = data.ItemAt(0, i);
        EXPECT_FALSE(item->IsChoice()) << i;
        EXPECT_EQ(item->Type(), data.Types().At(1)) << i;
    }
    EXPECT_FALSE(data.ItemAt(2, 0)->HasValueType());
}

TEST(ParameterDataTest, lookUpsFollowGroupOrderAndRejectBadIndexes)
{
    const StationRecord record = Record(10, 0x15);
    ParameterData data;
    ASSERT_TRUE(LoadImage(data, record, HandMadeFile()));
    EXPECT_EQ(data.FindItem(0x0108), data.ItemAt(0, 0));
    EXPECT_EQ(data.FindItem(0x50108), data.ItemAt(0, 0));  // only the low 16 bits count
    EXPECT_EQ(data.FindItem(0x0999), nullptr);
    EXPECT_EQ(data.GroupAt(-1), nullptr);
    EXPECT_EQ(data.GroupAt(3), nullptr);
    EXPECT_EQ(data.ItemAt(0, 5), nullptr);
    EXPECT_EQ(data.ItemAt(-1, 0), nullptr);
    EXPECT_EQ(data.ItemCount(7), 0);
    EXPECT_EQ(data.GroupName(-2), "");
    EXPECT_EQ(data.FindGroup("Extra"), data.GroupAt(2));
    EXPECT_EQ(data.FindGroup("extra"), nullptr);
    EXPECT_EQ(data.Types().FindByName("freq3"), nullptr);
}

TEST(ParameterDataTest, storingWritesTheSameLayoutAsTheFileItWasReadFrom)
{
    const StationRecord record = Record(10, 0x15);
    ParameterData data;
    ASSERT_TRUE(LoadImage(data, record, SampleImage()));
    EXPECT_EQ(test::StoreData(data), SampleImage());
    EXPECT_EQ(data.FileHeader().reserved, (std::array<uint16_t, 4>{1, 2, 3, 4}));
}

TEST(ParameterDataTest, dataFilePathUsesTheModelFolderAndFourHexDigits)
{
    EXPECT_EQ(ParameterData::DataFilePath("/opt/vm/Data", 10, 0x0102),
              "/opt/vm/Data/QM-B20X/QM-B20X_0102.dat");
    EXPECT_EQ(ParameterData::DataFilePath("/opt/vm/Data/", 10, 0x1A),
              "/opt/vm/Data/QM-B20X/QM-B20X_001A.dat");
    EXPECT_EQ(ParameterData::DataFilePath("Data", 4, 0x0105), "Data/QM-A20/QM-A20_0105.dat");
    EXPECT_EQ(ParameterData::DataFilePath("Data", 9, 0x0203), "Data/QM-F20X/QM-F20X_0203.dat");
    EXPECT_EQ(ParameterData::DataFilePath("Data", 6, 1), "");
    EXPECT_EQ(ParameterData::DataFilePath("Data", 7, 1), "");
}

class LoadDataFileTest : public ::testing::Test {
protected:
    TempDir dir;

    void Put(int model, int version, const std::vector<uint8_t>& bytes)
    {
        const std::string path = ParameterData::DataFilePath(dir.Path().string(), model, version);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        WriteBytes(path, bytes);
    }
    int Status(int model, int version)
    {
        const StationRecord record = Record(model, version);
        ParameterData data;
        const bool ok = data.LoadDataFile(record, dir.Path().string());
        EXPECT_EQ(ok, data.StatusCode() == 0);
        EXPECT_EQ(ok, data.IsLoaded());
        if (!ok) {
            EXPECT_EQ(data.GroupCount(), 0);
            EXPECT_EQ(data.Types().Count(), 0u);
        }
        return data.StatusCode();
    }
};

TEST_F(LoadDataFileTest, eachCheckHasItsOwnStatusCode)
{
    Put(10, 0x15, SampleImage(10, 0x15));
    Put(10, 0x16, SampleImage(9, 0x16));   // model 9 in the model 10 folder
    Put(10, 0x17, SampleImage(10, 0x99));  // another version inside
    Put(10, 0x18, HandMadeFile(0x0101));
    auto badSignature = SampleImage(10, 0x19);
    badSignature[1] = 'k';
    Put(10, 0x19, badSignature);
    const auto path = ParameterData::DataFilePath(dir.Path().string(), 10, 0x20);
    std::filesystem::create_directories(path);  // a folder where the file should be

    EXPECT_EQ(Status(10, 0x15), ParameterData::kNoError);
    EXPECT_EQ(Status(6, 0x15), ParameterData::kModelNotSupported);
    EXPECT_EQ(Status(10, 0x14), ParameterData::kFileNotFound);
    EXPECT_EQ(Status(10, 0x16), ParameterData::kWrongModel);
    EXPECT_EQ(Status(10, 0x17), ParameterData::kWrongVersion);
    EXPECT_EQ(Status(10, 0x18), ParameterData::kWrongFormat);
    EXPECT_EQ(Status(10, 0x19), ParameterData::kWrongFormat);
    EXPECT_EQ(Status(10, 0x20), ParameterData::kOpenFailed);
}

TEST_F(LoadDataFileTest, theModelIsCheckedOnlyAfterTheWholeFileIsRead)
{
    auto image = SampleImage(9, 0x15);
    image.pop_back();  // wrong model and cut short: the short read is what fails
    Put(10, 0x15, image);
    EXPECT_EQ(Status(10, 0x15), ParameterData::kWrongFormat);
}

TEST_F(LoadDataFileTest, statusTextsFollowTheCodesAndClampAboveSix)
{
    const char* texts[] = {"No Error",
                           "Doesn't Support this Model",
                           "Can't Find Data File",
                           "Error of Model No. in Data File",
                           "Doesn't Support this Version",
                           "Doesn't Support this Data File Format",
                           "Fail to Open this Data File"};
    for (int code = 0; code <= 6; ++code)
        EXPECT_EQ(ParameterData::StatusText(code), texts[code]);
    EXPECT_EQ(ParameterData::StatusText(7), texts[6]);
}

TEST_F(LoadDataFileTest, aSecondLoadStartsFromNothing)
{
    Put(10, 0x15, SampleImage(10, 0x15));
    const StationRecord good = Record(10, 0x15);
    const StationRecord missing = Record(10, 0x30);
    ParameterData data;
    ASSERT_TRUE(data.LoadDataFile(good, dir.Path().string()));
    ASSERT_GT(data.TotalItemCount(), 0);
    EXPECT_FALSE(data.LoadDataFile(missing, dir.Path().string()));
    EXPECT_EQ(data.TotalItemCount(), 0);
    EXPECT_EQ(data.FindItem(0xA101), nullptr);
    ASSERT_TRUE(data.LoadDataFile(good, dir.Path().string()));
    EXPECT_EQ(data.GroupCount(), 3);
}

TEST(SetModeTest, replacesPlaceholdersOnlyOnMarkedItemsAndSetsTheTime1Divisor)
{
    ParameterData data;
    test::AddType(data, "TIME1", "sec", 1, 10);
    CGroup* g = test::AddGroup(data, "G");
    CItem* both = test::AddItem(g, {1, "@@@@ Limit $$$$", "", 0, 0, 0, {}, 1});
    CItem* dollars = test::AddItem(g, {2, "Jog $$$$", "", 0, 0, 0, {}, 1});
    CItem* unmarked = test::AddItem(g, {3, "Base @@@@", "", 0, 0, 0, {}, 0});
    data.Link();

    data.SetMode(ParameterData::kRpmMode, 100);
    EXPECT_EQ(both->displayName, "Rpm  Limit $$$$");
    EXPECT_EQ(dollars->displayName, "Jog Rpm ");
    EXPECT_EQ(unmarked->displayName, "Base @@@@");
    EXPECT_EQ(data.Types().At(0)->divisor, 100u);
    EXPECT_EQ(data.Types().At(0)->realDivisor, 100.0);

    data.SetMode(ParameterData::kFreqMode, 1);
    EXPECT_EQ(both->displayName, "Freq Limit $$$$");
    EXPECT_EQ(dollars->displayName, "Jog Freq");
    EXPECT_EQ(both->name, "@@@@ Limit $$$$");
    EXPECT_EQ(data.Types().At(0)->divisor, 1u);
    EXPECT_EQ(data.Mode(), 1);
    EXPECT_EQ(data.Time1(), 1);

    ParameterData noTime1;
    test::AddGroup(noTime1, "G");
    noTime1.SetMode(ParameterData::kRpmMode, 100);  // nothing to change, nothing to break
    EXPECT_EQ(noTime1.Time1(), 100);
}

}  // namespace
}  // namespace vm
