#include "catalogue/DataFileVersions.h"
#include "catalogue/Models.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace vm {
namespace {

TEST(ModelNames, codesOutsideTheTableAreUnknownAndOnlyFiveAreSupported)
{
    EXPECT_STREQ(ModelName(4), "QM-A20");
    EXPECT_STREQ(ModelName(6), "------");
    EXPECT_STREQ(ModelName(10), "QM-B20X");
    EXPECT_STREQ(ModelName(11), "Unknown");
    EXPECT_STREQ(ModelName(-1), "Unknown");
    EXPECT_STREQ(ModelName(0xFFFF), "Unknown");

    const auto table = NameTable();
    ASSERT_EQ(table.size(), 14u);
    EXPECT_STREQ(table[1], "No Connection");
    EXPECT_STREQ(StatusName(NameIndex::NotSupport), "Not Support");
    EXPECT_STREQ(table[3 + 10], "QM-B20X");

    for (int code = -1; code <= 12; ++code) {
        const bool expected = code == 4 || code == 5 || code == 8 || code == 9 || code == 10;
        EXPECT_EQ(IsSupportedModel(code), expected) << code;
    }
    const std::vector<ListEntry> models = FillModelList();
    const std::vector<ListEntry> expected = {
        {"QM-A20", 4}, {"QM-C20", 5}, {"QM-E20", 8}, {"QM-F20X", 9}, {"QM-B20X", 10}};
    EXPECT_EQ(models, expected);
}

struct CapacityCase {
    int model, capacity, voltage, version;
    const char* text;
};

TEST(CapacityText, tablesSmallCapacityAndUnknownCodes)
{
    const CapacityCase cases[] = {
        {4, 0, 0, 0x0100, "0.75kW-2"},
        {4, 4, 1, 0x0100, "5.5kW-4"},
        {4, 22, 7, 0x0100, "375kW-4"},  // any non-zero voltage class is 400 V
        {4, 23, 0, 0x0100, "Unknown"},
        {4, 0xFFFF, 0, 0x0100, "Unknown"},
        {8, 0xFFFF, 1, 0x0010, "0.4kW-4"},
        {8, 22, 0, 0x0010, "375kW-2"},
        {10, 1, 1, 0x0015, "0.75kW-NC-4"},
        {10, 7, 0, 0x0015, "7.5kW-2"},
        {10, 8, 0, 0x0015, "Unknown"},
        {10, 0xFFFF, 0, 0x0015, "0.4kW-2"},
        {7, -1, 0, 0x0501, "0.4kW-2"},
        {7, -1, 1, 0x0501, "0.4kW-4"},
        {7, 4, 0, 0x0501, "4.0kW-2"},
        {7, 5, 0, 0x0501, "Unknown"},
        {7, 0, 0, 0x0500, "0.75kW-2"},
        {7, 10, 0, 0x04FF, "30kW-2"},  // old model 7 uses the general table
        {5, -1, 0, 0x0100, "Unknown"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CapacityText(c.model, c.capacity, c.voltage, c.version), c.text)
            << "model " << c.model << " code " << c.capacity << " version " << c.version;
}

TEST(Identification, model7AboveVersion0500ShiftsTheCapacityCodeDown)
{
    EXPECT_EQ(AdjustCapacity(7, 0x0501, 0), -1);
    EXPECT_EQ(AdjustCapacity(7, 0x0501, 3), 2);
    EXPECT_EQ(AdjustCapacity(7, 0x0500, 0), 0);
    EXPECT_EQ(AdjustCapacity(8, 0x0600, 3), 3);
    EXPECT_EQ(CapacityText(7, AdjustCapacity(7, 0x0501, 0), 1, 0x0501), "0.4kW-4");
    EXPECT_EQ(CapacityText(7, AdjustCapacity(7, 0x0501, 1), 0, 0x0501), "0.75kW-2");
}

TEST(VersionText, eachModelHasItsOwnNotation)
{
    const struct {
        int model, version;
        const char* text;
    } cases[] = {
        {4, 0x0105, "1.05"},  {4, 0x0210, "2.16"}, {5, 0x010A, "1.A"},     {5, 0x0200, "2.0"},
        {5, 0x00FF, "0.255"}, {5, 0x0009, "0.09"}, {8, 0x0015, "1.5"},     {10, 0x00A3, "10.3"},
        {10, 0x0315, "1.5"},  {9, 0x0203, "2.3"},  {6, 0x0100, "Unknown"}, {11, 0x0100, "Unknown"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(VersionText(c.model, c.version), c.text) << c.model << " " << c.version;
}

TEST(TimeScale, registersPerModelAndValueMapping)
{
    EXPECT_EQ(TimeScaleRegister(4), 0x5347);
    EXPECT_EQ(TimeScaleRegister(8), 0x8347);
    EXPECT_EQ(TimeScaleRegister(9), 0x924A);
    EXPECT_EQ(TimeScaleRegister(10), 0xA347);
    EXPECT_FALSE(TimeScaleRegister(5).has_value());
    EXPECT_FALSE(TimeScaleRegister(7).has_value());

    EXPECT_EQ(TimeScale(0), 100);
    EXPECT_EQ(TimeScale(1), 10);
    EXPECT_EQ(TimeScale(2), 1);
    EXPECT_EQ(TimeScale(3), 10);
    EXPECT_EQ(TimeScale(0xFFFF), 10);
}

TEST(MonitorAddresses, setsFollowModelAndVersion)
{
    using V = std::vector<uint16_t>;
    EXPECT_EQ(MonitorAddressSet(5, 0x0100), (V{9, 32, 34, 14}));
    EXPECT_EQ(MonitorAddressSet(4, 0x0201), (V{5, 10, 9, 14, 6, 26, 27}));
    EXPECT_EQ(MonitorAddressSet(4, 0x0200), (V{5, 10, 9, 14, 6}));
    EXPECT_EQ(MonitorAddressSet(9, 0x0001), (V{5, 10, 9, 14, 6, 26, 27}));
    EXPECT_EQ(MonitorAddressSet(8, 0x0500), (V{5, 10, 9, 14, 6}));
    EXPECT_EQ(MonitorAddressSet(10, 0x0015), (V{5, 10, 9, 14, 6}));
    EXPECT_TRUE(MonitorAddressSet(7, 0x0600).empty());

    EXPECT_EQ(FaultWatchAddresses(10, 0x0015), (V{15, 29}));
    EXPECT_EQ(FaultWatchAddresses(10, 0x0014), (V{15}));
    EXPECT_EQ(FaultWatchAddresses(4, 0x0300), (V{15}));
}

class DataFileVersionsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/vm_catalogue_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(root_); }

    void Touch(const std::string& model, const std::string& file)
    {
        const auto folder = root_ / "Data" / model;
        std::filesystem::create_directories(folder);
        std::ofstream(folder / file) << "x";
    }

    std::filesystem::path root_;
};

TEST_F(DataFileVersionsTest, versionsAreSortedAndBadTitlesIgnored)
{
    Touch("QM-A20", "QM-A20_0105.dat");
    Touch("QM-A20", "QM-A20_00FF.dat");
    Touch("QM-A20", "QM-A20_10G5.dat");
    Touch("QM-A20", "QM-A20_0300.txt");
    Touch("QM-A20", "QM-C20_0400.dat");  // another model's file in the wrong folder
    Touch("QM-A20", "QM-A20_1.dat");     // title too short for a version
    Touch("QM-B20X", "QM-B20X_0015.dat");
    Touch("QM-B20X", "QM-B20X_0014.dat");
    Touch("QM-B20", "QM-B20_0100.dat");  // unsupported model: never scanned
    std::filesystem::create_directories(root_ / "Data" / "QM-E20" / "QM-E20_0200.dat");

    DataFileVersions versions;
    versions.Scan(root_);
    EXPECT_EQ(versions.AvailableVersions(4), (std::vector<uint16_t>{0x00FF, 0x0105}));
    EXPECT_EQ(versions.AvailableVersions(10), (std::vector<uint16_t>{0x0014, 0x0015}));
    EXPECT_TRUE(versions.AvailableVersions(7).empty());
    EXPECT_TRUE(versions.AvailableVersions(8).empty());
    EXPECT_TRUE(versions.AvailableVersions(5).empty());
    EXPECT_TRUE(versions.AvailableVersions(99).empty());

    const std::vector<ListEntry> expected = {{"1.4", 0x0014}, {"1.5", 0x0015}};
    EXPECT_EQ(versions.FillVersionList(10), expected);

    // A second scan starts afresh rather than piling up.
    std::filesystem::remove(root_ / "Data" / "QM-A20" / "QM-A20_0105.dat");
    versions.Scan(root_);
    EXPECT_EQ(versions.AvailableVersions(4), (std::vector<uint16_t>{0x00FF}));
}

TEST_F(DataFileVersionsTest, missingDataFolderLeavesEveryListEmpty)
{
    DataFileVersions versions;
    versions.Scan(root_ / "nowhere");
    for (int m : SupportedModels())
        EXPECT_TRUE(versions.AvailableVersions(m).empty()) << m;
}

}  // namespace
}  // namespace vm
