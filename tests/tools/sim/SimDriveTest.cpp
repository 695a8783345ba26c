#include "tools/sim/SimDrive.h"
#include "tools/sim/SimStations.h"

#include <gtest/gtest.h>

namespace vm::sim {
namespace {

uint16_t ReadOk(const SimDrive& drive, uint16_t address)
{
    uint16_t value = 0;
    EXPECT_EQ(drive.Read(address, value), Access::Ok) << "address " << address;
    return value;
}

// A small parameter table: one plain, one read-only, one writable while running, one signed.
std::vector<ParamRegister> SomeParams()
{
    return {
        {0xA110, 0, 100, 40, true, false, false}, {0xA111, 0, 65535, 7, false, false, false},
        {0xA112, 10, 200, 50, true, true, false}, {0xA113, -100, 100, -5, true, true, true},
        {0xA110, 0, 9, 9, true, true, false},  // a second definition of an address is ignored
    };
}

SimDrive Model10(int version = 0x0015)
{
    return SimDrive({3, 10, version, 1, 1}, SomeParams());
}

TEST(SimDrive, identificationRegistersAndParametersReadBack)
{
    const SimDrive drive = Model10();
    EXPECT_EQ(ReadOk(drive, 0), 10);
    EXPECT_EQ(ReadOk(drive, 1), 1);
    EXPECT_EQ(ReadOk(drive, 2), 1);
    EXPECT_EQ(ReadOk(drive, 3), 0x0015);
    EXPECT_EQ(ReadOk(drive, 0xA110), 40);
    EXPECT_EQ(ReadOk(drive, 0xA113), 0xFFFB);
    // No data-file entry for the time-scale register: it is there anyway, 0.1 s.
    EXPECT_EQ(ReadOk(drive, 0xA347), 1);
    EXPECT_EQ(drive.TimeScale(), 10);
    uint16_t value = 0;
    EXPECT_EQ(drive.Read(0xA114, value), Access::IllegalAddress);
    EXPECT_EQ(drive.Read(4, value), Access::IllegalAddress);
}

TEST(SimDrive, refusesWritesOutsideLimitsReadOnlyAndLockedWhileRunning)
{
    SimDrive drive = Model10();
    EXPECT_EQ(drive.Write(0xA110, 101), Access::DataRange);
    EXPECT_EQ(drive.Write(0xA110, 100), Access::Ok);
    EXPECT_EQ(ReadOk(drive, 0xA110), 100);
    EXPECT_EQ(drive.Write(0xA111, 1), Access::WriteMode);
    EXPECT_EQ(drive.Write(0xA113, static_cast<uint16_t>(-100)), Access::Ok);
    EXPECT_EQ(drive.Write(0xA113, static_cast<uint16_t>(-101)), Access::DataRange);
    EXPECT_EQ(drive.Write(0, 4), Access::WriteMode);
    EXPECT_EQ(drive.Write(10, 1), Access::WriteMode);
    EXPECT_EQ(drive.Write(0x1234, 1), Access::IllegalAddress);
    EXPECT_EQ(drive.Write(5, 40001), Access::DataRange);

    ASSERT_EQ(drive.Write(6, reg::kRunForward), Access::Ok);
    EXPECT_EQ(drive.Write(0xA110, 1), Access::WriteMode);
    EXPECT_EQ(drive.Write(0xA112, 60), Access::Ok);
    ASSERT_EQ(drive.Write(6, reg::kRunStop), Access::Ok);
    drive.Advance(60000);
    EXPECT_FALSE(drive.Running());
    EXPECT_EQ(drive.Write(0xA110, 1), Access::Ok);
}

TEST(SimDrive, rampsWithTheAccelerationAndDecelerationTimes)
{
    SimDrive drive = Model10();
    ASSERT_EQ(drive.Write(5, 6000), Access::Ok);  // 60 Hz
    ASSERT_EQ(drive.Write(7, 100), Access::Ok);   // 10.0 s
    ASSERT_EQ(drive.Write(8, 50), Access::Ok);    // 5.0 s
    EXPECT_EQ(ReadOk(drive, 14), reg::kStatusStop);

    ASSERT_EQ(drive.Write(6, reg::kRunForward), Access::Ok);
    EXPECT_EQ(ReadOk(drive, 14), reg::kStatusForward | reg::kStatusAccelerating);
    EXPECT_EQ(ReadOk(drive, 6), reg::kRunForward);
    drive.Advance(2500);
    EXPECT_EQ(ReadOk(drive, 10), 1500);
    drive.Advance(7500);
    EXPECT_EQ(ReadOk(drive, 10), 6000);
    EXPECT_EQ(ReadOk(drive, 14), reg::kStatusForward);
    EXPECT_EQ(ReadOk(drive, 21), 1800);  // 4 poles
    EXPECT_EQ(ReadOk(drive, 16) & 0x01, 0x01);

    ASSERT_EQ(drive.Write(5, 3000), Access::Ok);
    EXPECT_EQ(ReadOk(drive, 14), reg::kStatusForward | reg::kStatusDecelerating);
    drive.Advance(2500);
    EXPECT_EQ(ReadOk(drive, 10), 3000);

    ASSERT_EQ(drive.Write(6, reg::kRunStop), Access::Ok);
    drive.Advance(1000);
    EXPECT_EQ(ReadOk(drive, 10), 1800);
    EXPECT_EQ(ReadOk(drive, 14), reg::kStatusForward | reg::kStatusDecelerating);
    drive.Advance(1500);
    EXPECT_EQ(ReadOk(drive, 10), 0);
    EXPECT_EQ(ReadOk(drive, 14), reg::kStatusStop);
    EXPECT_EQ(ReadOk(drive, 9), 0);
}

TEST(SimDrive, reversingPassesThroughZeroFirst)
{
    SimDrive drive = Model10();
    drive.Write(7, 10);  // 1.0 s for 60 Hz
    drive.Write(8, 20);  // 2.0 s
    drive.Write(6, reg::kRunForward);
    drive.Advance(1000);
    ASSERT_NEAR(drive.OutputHz(), 60.0, 1e-9);

    drive.Write(6, reg::kRunReverse);
    drive.Advance(1000);
    EXPECT_NEAR(drive.OutputHz(), 30.0, 1e-9);
    EXPECT_EQ(ReadOk(drive, 14), reg::kStatusForward | reg::kStatusDecelerating);
    drive.Advance(1500);  // 1000 ms more down to zero, then 500 ms up in reverse
    EXPECT_NEAR(drive.OutputHz(), -30.0, 1e-9);
    EXPECT_EQ(ReadOk(drive, 14), reg::kStatusReverse | reg::kStatusAccelerating);
    EXPECT_EQ(ReadOk(drive, 10), 3000);  // output frequency has no sign
    EXPECT_EQ(ReadOk(drive, 16) & 0x03, 0x02);
}

TEST(SimDrive, timeScaleRegisterSetsTheResolutionOfTheRampTimes)
{
    SimDrive drive = Model10();
    ASSERT_EQ(drive.Write(0xA347, 0), Access::Ok);  // 0.01 s
    EXPECT_EQ(drive.TimeScale(), 100);
    drive.Write(7, 200);  // 2.00 s
    drive.Write(6, reg::kRunForward);
    drive.Advance(1000);
    EXPECT_NEAR(drive.OutputHz(), 30.0, 1e-9);
}

TEST(SimDrive, currentFollowsLoadAndSpeed)
{
    SimDrive drive = Model10();
    drive.Write(7, 0);
    drive.Write(6, reg::kRunForward);
    drive.Advance(10);
    drive.SetLoad(20);
    const uint16_t light = ReadOk(drive, 9);
    drive.SetLoad(100);
    const uint16_t heavy = ReadOk(drive, 9);
    EXPECT_GT(light, 0);
    EXPECT_GT(heavy, light);
    EXPECT_GT(ReadOk(drive, 13), 0);    // power
    EXPECT_EQ(ReadOk(drive, 11), 380);  // 400 V class, full V/f
    drive.Write(5, 1500);
    drive.Write(8, 0);
    drive.Advance(10);
    EXPECT_LT(ReadOk(drive, 9), heavy);
}

TEST(SimDrive, tripStopsTheDriveUntilReset)
{
    SimDrive drive = Model10();
    drive.Write(6, reg::kRunForward);
    drive.Advance(2000);
    ASSERT_TRUE(drive.Trip(0));
    EXPECT_EQ(ReadOk(drive, 14), reg::kStatusStop | reg::kStatusFault);
    EXPECT_EQ(ReadOk(drive, 15), 0x0001);
    EXPECT_EQ(ReadOk(drive, 10), 0);
    EXPECT_EQ(ReadOk(drive, 6), reg::kRunStop | reg::kRunTripped);
    EXPECT_EQ(ReadOk(drive, 17) & 0x80, 0x80);  // 3ABC relay

    // Run commands are taken but ignored until the fault is reset.
    EXPECT_EQ(drive.Write(6, reg::kRunForward), Access::Ok);
    drive.Advance(1000);
    EXPECT_EQ(ReadOk(drive, 10), 0);
    EXPECT_TRUE(drive.Tripped());

    EXPECT_EQ(drive.Write(6, reg::kRunReset), Access::Ok);
    EXPECT_EQ(ReadOk(drive, 14), reg::kStatusStop);
    EXPECT_EQ(ReadOk(drive, 15), 0);
    // The master writes the run command word back with bit 7 cleared: a plain command.
    EXPECT_EQ(drive.Write(6, ReadOk(drive, 6) & 0xFF7F), Access::Ok);
    EXPECT_EQ(ReadOk(drive, 14), reg::kStatusStop);
}

TEST(SimDrive, secondFaultWordOnlyWhereTheModelHasIt)
{
    SimDrive newer = Model10(0x0015);
    ASSERT_TRUE(newer.Trip(17));
    EXPECT_EQ(ReadOk(newer, 29), 0x0002);
    EXPECT_EQ(ReadOk(newer, 15), 0);
    EXPECT_EQ(ReadOk(newer, 14), reg::kStatusStop | reg::kStatusFault);
    newer.Reset();
    EXPECT_EQ(ReadOk(newer, 29), 0);

    SimDrive older = Model10(0x0014);
    EXPECT_FALSE(older.Trip(17));
    EXPECT_FALSE(older.Trip(-1));
    uint16_t value = 0;
    EXPECT_EQ(older.Read(29, value), Access::IllegalAddress);
}

TEST(SimDrive, model5RunsInRpmAndSignsItsSpeed)
{
    SimDrive drive({2, 5, 0x0102, 9, 1}, {});
    EXPECT_EQ(ReadOk(drive, 1282), 18000);  // 1800.0 rpm
    ASSERT_EQ(drive.Write(1282, 9000), Access::Ok);
    ASSERT_EQ(drive.Write(1283, 0), Access::Ok);
    EXPECT_EQ(drive.Write(1282, 36001), Access::DataRange);
    EXPECT_EQ(drive.Write(5, 100), Access::WriteMode);
    EXPECT_EQ(drive.Write(1285, static_cast<uint16_t>(-1800)), Access::Ok);
    drive.Write(6, reg::kRunReverse);
    drive.Advance(1);
    EXPECT_EQ(static_cast<int16_t>(ReadOk(drive, 32)), -900);
    EXPECT_EQ(ReadOk(drive, 10), 3000);
    EXPECT_EQ(ReadOk(drive, 14), reg::kStatusReverse);
    EXPECT_EQ(ReadOk(drive, 7), 0);  // address 7 is the same setting as 1283
}

TEST(SimDrive, forceBypassesAccessRightsButNotComputedValues)
{
    SimDrive drive = Model10();
    EXPECT_EQ(drive.Force(0xA111, 99), "");
    EXPECT_EQ(ReadOk(drive, 0xA111), 99);
    EXPECT_EQ(drive.Force(16, 0x0010), "");
    EXPECT_EQ(ReadOk(drive, 16), 0x0010);
    EXPECT_EQ(drive.Force(18, 55), "");
    EXPECT_EQ(ReadOk(drive, 18), 55);
    EXPECT_EQ(drive.Force(15, 0x0004), "");
    EXPECT_EQ(ReadOk(drive, 14), reg::kStatusStop | reg::kStatusFault);
    EXPECT_EQ(drive.Force(15, 0), "");
    EXPECT_FALSE(drive.Tripped());
    EXPECT_NE(drive.Force(10, 1), "");
    EXPECT_NE(drive.Force(0, 5), "");
    EXPECT_NE(drive.Force(0x4444, 5), "");
}

TEST(SimDrive, shippedDataFileBecomesTheRegisterMap)
{
    std::string status;
    const auto params = LoadParamRegisters(VARIMON_TEST_DATA_DIR, 10, 0x0015, &status);
    ASSERT_FALSE(params.empty()) << status;
    const SimDrive drive({1, 10, 0x0015, 1, 1}, params);
    EXPECT_EQ(ReadOk(drive, 0xA347), 1);
    for (const ParamRegister& p : params) {
        uint16_t value = 0;
        EXPECT_EQ(drive.Read(p.address, value), Access::Ok);
    }
    std::string missing;
    EXPECT_TRUE(LoadParamRegisters(VARIMON_TEST_DATA_DIR, 10, 0x7777, &missing).empty());
    EXPECT_EQ(missing, "Can't Find Data File");
}

TEST(SimDrive, modelParsesNamesAndCodes)
{
    EXPECT_EQ(ParseModel("QM-B20X"), 10);
    EXPECT_EQ(ParseModel("4"), 4);
    EXPECT_EQ(ParseModel("200"), 200);
    EXPECT_EQ(ParseModel("Unknown"), -1);
    EXPECT_EQ(ParseModel("QM-Z"), -1);
    EXPECT_EQ(ParseModel("256"), -1);
}

}  // namespace
}  // namespace vm::sim
