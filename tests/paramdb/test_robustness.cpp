// Damaged files: every truncation and seeded random corruptions must load as a clean failure
// (a status or a message) or load consistently; never crash, never trip the sanitizers.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "SampleData.h"
#include "paramdb/ParaArray.h"
#include "paramdb/ParameterData.h"
#include "paramdb/UserGroup.h"
#include "tests/support/ExerciseValues.h"

namespace vm {
namespace {

constexpr uint32_t kSeed = 20240611;

std::vector<uint8_t> Corrupt(std::vector<uint8_t> bytes, std::mt19937& rng)
{
    auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };
    const int edits = 1 + static_cast<int>(pick(6));
    for (int e = 0; e < edits && !bytes.empty(); ++e) {
        switch (pick(5)) {
        case 0:
            bytes[pick(bytes.size())] = static_cast<uint8_t>(rng());
            break;
        case 1:
            bytes[pick(bytes.size())] = 0xFF;  // length prefixes and counts grow large
            break;
        case 2:
            bytes[pick(bytes.size())] ^= static_cast<uint8_t>(1u << pick(8));
            break;
        case 3:
            bytes.resize(pick(bytes.size()));
            break;
        default:
            bytes.insert(bytes.begin() + static_cast<long>(pick(bytes.size())), static_cast<uint8_t>(rng()));
            break;
        }
    }
    return bytes;
}

bool CheckDataLoad(const std::vector<uint8_t>& bytes, const std::string& what)
{
    StationRecord record;
    record.station = 5;
    record.model = 10;
    record.version = 0x15;
    ParameterData data;
    MemorySource source(bytes);
    const bool ok = data.LoadDataImage(record, source, "corrupt.dat");
    EXPECT_EQ(ok, data.IsLoaded()) << what;
    if (!ok) {
        EXPECT_GE(data.StatusCode(), ParameterData::kWrongModel) << what;
        EXPECT_LE(data.StatusCode(), ParameterData::kOpenFailed) << what;
        EXPECT_EQ(data.GroupCount(), 0) << what;
        return false;
    }
    EXPECT_EQ(data.StatusCode(), 0) << what;
    for (const auto& group : data.Groups()) {
        EXPECT_EQ(group->Data(), &data) << what;
        for (const auto& item : group->items) {
            EXPECT_EQ(item->Group(), group.get()) << what;
            EXPECT_TRUE(!item->IsChoice() || item->Choices()) << what;
        }
    }
    test::ExerciseValues(data, record,
                         [&](bool ok, const char* check) { EXPECT_TRUE(ok) << what << ": " << check; });
    return true;
}

TEST(RobustnessTest, everyTruncationOfADataFileFailsWithAStatus)
{
    const auto image = test::SampleImage(10, 0x15);
    for (size_t n = 0; n < image.size(); ++n) {
        StationRecord record;
        record.model = 10;
        record.version = 0x15;
        ParameterData data;
        MemorySource source(std::span<const uint8_t>(image.data(), n));
        ASSERT_FALSE(data.LoadDataImage(record, source, "cut.dat")) << n;
        ASSERT_EQ(data.StatusCode(), ParameterData::kWrongFormat) << n;
        ASSERT_EQ(data.GroupCount(), 0) << n;
    }
    CheckDataLoad(image, "whole");
}

TEST(RobustnessTest, hugeListCountsFailAtTheEndOfTheFileInsteadOfAllocating)
{
    auto image = test::SampleImage(10, 0x15);
    // The type count follows the header: signature (1+31), format 2, description (1+12),
    // model 2, reserved 8, version 4.
    const size_t typeCount = 32 + 2 + 13 + 2 + 8 + 4;
    ASSERT_EQ(image[typeCount], 7);  // the sample's seven types
    for (uint8_t top : {0x7F, 0x40}) {
        auto bytes = image;
        bytes[typeCount + 3] = top;
        StationRecord record;
        record.model = 10;
        record.version = 0x15;
        ParameterData data;
        MemorySource source(bytes);
        EXPECT_FALSE(data.LoadDataImage(record, source, "huge.dat"));
        EXPECT_EQ(data.StatusCode(), ParameterData::kWrongFormat);
    }
}

TEST(RobustnessTest, randomCorruptionsOfADataFileLoadCleanlyOrFail)
{
    const auto image = test::SampleImage(10, 0x15);
    std::mt19937 rng(kSeed);
    int loaded = 0;
    for (int i = 0; i < 2500 && !HasFailure(); ++i)
        loaded += CheckDataLoad(Corrupt(image, rng), "case " + std::to_string(i));
    // Both roads are taken: damage inside names and values still loads, damage to the
    // structure does not.
    EXPECT_GT(loaded, 100);
    EXPECT_LT(loaded, 2400);
    std::printf("%d of 2500 damaged data files loaded\n", loaded);
}

std::vector<uint8_t> Image(Serializable& object)
{
    return test::Store([&](ObjectArchive& ar) { object.Serialize(ar); });
}

// Every truncation of the image, then random damage, each loaded into a fresh object made by
// make(). A load either succeeds silently with no more records than the bytes can hold
// (fixed header plus 8 bytes per record) or fails with exactly one message.
template <typename Make>
int DamageAndLoad(const std::vector<uint8_t>& image, uint32_t seed, size_t header, Make make)
{
    std::mt19937 rng(seed);
    int accepted = 0;
    for (int i = 0; i < 2000 && !::testing::Test::HasFailure(); ++i) {
        const auto bytes = i < static_cast<int>(image.size())
                               ? std::vector<uint8_t>(image.begin(), image.begin() + i)
                               : Corrupt(image, rng);
        MessageLog messages;
        auto loaded = make();
        ArchiveFile file(&messages);
        file.Attach("damaged", loaded.get());
        MemorySource source(bytes);
        if (file.LoadFrom(source, true)) {
            ++accepted;
            EXPECT_TRUE(messages.Entries().empty()) << i;
            EXPECT_LE(header + 8 * loaded->Count(), bytes.size()) << i;
        } else {
            EXPECT_EQ(messages.Entries().size(), 1u) << i;
            EXPECT_FALSE(messages.Entries().at(0).text.empty()) << i;
        }
    }
    return accepted;
}

TEST(RobustnessTest, damagedParameterFilesFailWithAMessageOrLoadTheirPairs)
{
    CParaArray set(10, 0x15);
    for (uint32_t i = 0; i < 40; ++i)
        set.Append(0xA100 + i, i * 7);
    const int accepted =
        DamageAndLoad(Image(set), kSeed + 1, 26, [] { return std::make_unique<CParaArray>(10, 0x15); });
    EXPECT_GT(accepted, 100);
    std::printf("%d of 2000 damaged parameter files loaded\n", accepted);
}

TEST(RobustnessTest, damagedUserGroupFilesFailWithAMessageOrLoadTheirEntries)
{
    CCustom group(nullptr, 10, 0x15);
    for (uint32_t i = 0; i < 40; ++i)
        group.AddEntry(0xA100 + i, i);
    const int accepted =
        DamageAndLoad(Image(group), kSeed + 2, 14, [] { return std::make_unique<CCustom>(); });
    EXPECT_GT(accepted, 100);
    std::printf("%d of 2000 damaged user group files loaded\n", accepted);
}

}  // namespace
}  // namespace vm
