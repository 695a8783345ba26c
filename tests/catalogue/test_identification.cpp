#include "catalogue/Identification.h"
#include "catalogue/Models.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace vm {
namespace {

// Walks an identification against a drive whose registers are given, as a scan would.
std::vector<uint16_t> Identify(StationRecord& record, const std::map<uint16_t, uint16_t>& drive,
                               TimeScaleRead timeScale = TimeScaleRead::Read)
{
    std::vector<uint16_t> read;
    for (std::optional<uint16_t> next = kIdentificationStart; next;) {
        read.push_back(*next);
        EXPECT_TRUE(StoreIdentification(record, *next, drive.at(*next))) << *next;
        next = NextIdentificationRead(record, *next, timeScale);
    }
    return read;
}

TEST(Identification, readsTheModelsTimeScaleRegisterLastAndOnlyWhenItHasOne)
{
    StationRecord a20;
    a20.timeScale = 0;
    EXPECT_EQ(Identify(a20, {{0, kModelQmA20}, {1, 4}, {2, 1}, {3, 0x0105}, {0x5347, 2}}),
              (std::vector<uint16_t>{0, 1, 2, 3, 0x5347}));
    EXPECT_EQ(a20.model, kModelQmA20);
    EXPECT_EQ(a20.capacity, 4);
    EXPECT_EQ(a20.voltage, 1);
    EXPECT_EQ(a20.version, 0x0105);
    EXPECT_EQ(a20.timeScale, 1);

    // No time-scale register: done after the version, with the default scale.
    StationRecord c20;
    c20.timeScale = 0;
    EXPECT_EQ(Identify(c20, {{0, kModelQmC20}, {1, 3}, {2, 0}, {3, 0x0100}}),
              (std::vector<uint16_t>{0, 1, 2, 3}));
    EXPECT_EQ(c20.timeScale, kDefaultTimeScale);

    // The command-line scan leaves the time scale out.
    StationRecord b20x;
    EXPECT_EQ(Identify(b20x, {{0, kModelQmB20X}, {1, 0}, {2, 0}, {3, 0x15}}, TimeScaleRead::Skip),
              (std::vector<uint16_t>{0, 1, 2, 3}));
    EXPECT_EQ(b20x.timeScale, kDefaultTimeScale);
}

TEST(Identification, model7CapacityShiftsOnlyAboveVersion0500)
{
    StationRecord newer;
    Identify(newer, {{0, kModelQmB20}, {1, 3}, {2, 0}, {3, 0x0501}});
    EXPECT_EQ(newer.capacity, 2);
    StationRecord boundary;
    Identify(boundary, {{0, kModelQmB20}, {1, 3}, {2, 0}, {3, 0x0500}});
    EXPECT_EQ(boundary.capacity, 3);
    StationRecord other;
    Identify(other, {{0, kModelQmE20}, {1, 3}, {2, 0}, {3, 0x0501}, {0x8347, 0}});
    EXPECT_EQ(other.capacity, 3);
}

TEST(Identification, answerFromAnotherModelsTimeScaleRegisterIsRefusedAndStoresNothing)
{
    StationRecord r;
    ASSERT_TRUE(StoreIdentification(r, reg::kModel, kModelQmE20));
    ASSERT_TRUE(StoreIdentification(r, reg::kVersion, 0x0100));
    EXPECT_FALSE(StoreIdentification(r, *TimeScaleRegister(kModelQmA20), 0));
    EXPECT_FALSE(StoreIdentification(r, reg::kStatus, 0));
    EXPECT_EQ(r.timeScale, kDefaultTimeScale);
    EXPECT_FALSE(NextIdentificationRead(r, *TimeScaleRegister(kModelQmE20)).has_value());

    // A model without a time-scale register accepts no fifth answer at all.
    StationRecord c20;
    ASSERT_TRUE(StoreIdentification(c20, reg::kModel, kModelQmC20));
    EXPECT_FALSE(StoreIdentification(c20, *TimeScaleRegister(kModelQmA20), 0));
}

}  // namespace
}  // namespace vm
