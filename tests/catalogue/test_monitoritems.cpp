#include "catalogue/Models.h"
#include "catalogue/MonitorItems.h"
#include "catalogue/MonitoredValue.h"
#include "catalogue/Registers.h"

#include <gtest/gtest.h>

namespace vm {
namespace {

struct FormatCase {
    int address;
    int32_t value;
    int model, version;
    const char* text;
};

TEST(FormatValue, scalingSignsAndAddressSpecificTexts)
{
    const FormatCase cases[] = {
        {0, 9, 4, 0, "QM-F20X"},
        {0, 11, 4, 0, "Unknown"},
        {3, 0x010A, 5, 0, "1.A"},
        {5, 6000, 4, 0, "60.00 Hz"},
        {10, 1, 4, 0, "0.01 Hz"},
        {9, 123, 4, 0, "12.3 A"},
        {12, 5405, 5, 0, "540.5 V"},
        {12, 5405, 10, 0, "5405 V"},
        {11, 380, 4, 0, "380 V"},
        {13, 75, 4, 0, "7.5 kW"},
        {21, 0xFFF6, 4, 0, "65526 rpm"},
        {32, 0xFFF6, 5, 0, "-10 rpm"},
        {26, 4, 4, 0, "4"},
        {34, 0xFFF6, 5, 0, "-1.0 %"},
        {1282, 0xFC18, 5, 0, "-100.0 rpm"},
        {1282, 15000, 5, 0, "1500.0 rpm"},
        {6, 1, 4, 0, "Unknown"},
        {16, 1, 4, 0, "Unknown"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatValue(c.address, c.value, c.model, c.version), c.text)
            << "address " << c.address << " value " << c.value << " model " << c.model;
}

TEST(StatusText, baseTextWinsInBitOrderAndSuffixNeedsNoFault)
{
    const struct {
        int32_t status;
        int model;
        const char* text;
        int image;
    } cases[] = {
        {0x0000, 4, "Stop", kImageStop},
        {0x0012, 4, "Forward Accelerating...", kImageForward},
        {0x0024, 4, "Reverse Decelerating...", kImageReverse},
        {0x0030, 4, "Stop Accelerating...", kImageStop},  // accelerating beats decelerating
        {0x000A, 4, "Forward", kImageForward},            // fault bit suppresses the suffix
        {0x0006, 4, "Forward", kImageForward},
        {0x000C, 4, "Reverse", kImageReverse},
        {0x0018, 4, "Fault", kImageFault},
        {0x0080, 4, "StopDC Braking...", kImageStop},
        {0x0082, 10, "ForwardDC Braking...", kImageForward},
        {0x0080, 5, "Stop", kImageStop},
        {0x0088, 4, "Fault", kImageFault},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StatusText(c.status, c.model), c.text) << std::hex << c.status;
        EXPECT_EQ(FormatValue(14, c.status, c.model, 0), c.text) << std::hex << c.status;
        EXPECT_EQ(StatusImageIndex(c.status), c.image) << std::hex << c.status;
    }
}

TEST(FaultText, firstMatchingRowInTableOrderElseTheNumberOfTheLowestBit)
{
    const FormatCase cases[] = {
        {15, 0x0041, 4, 0, "Over Current (OCT)"},
        {15, 0x0040, 4, 0, "Ground Fault (GF)"},
        {15, 0x8000, 4, 0, "Drive Over Load (IOLT)"},
        {15, 0x0004, 5, 0, "Fault bit 2"},  // no name in the table: its number
        {15, 0x000C, 5, 0, "Emergency Stop (BX)"},
        {15, 0x0820, 9, 0, "Fault bit 5"},  // model 9 has no rows for bits 5 and 11
        {15, 0x0000, 4, 0, ""},
        {15, 0x8000, 8, 0, "Low Voltage (LV)"},
        {15, 0x0010, 10, 0x0015, "Input Phase Open (COL)"},
        {15, 0x0001, 7, 0, ""},
        {29, 0x0004, 10, 0x0015, "Drive NTC Open (NTC)"},
        {29, 0x000C, 10, 0x0015, "Drive NTC Open (NTC)"},
        {29, 0x0010, 10, 0x0015, "Second fault bit 4"},
        {29, 0x0004, 10, 0x0014, ""},  // no second fault word before 0x0015
        {29, 0x0004, 4, 0x0300, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatValue(c.address, c.value, c.model, c.version), c.text)
            << "address " << c.address << " value " << std::hex << c.value << " model " << c.model;
}

TEST(ItemSets, sizesOrderAndContentPerModel)
{
    const struct {
        int model, version, set;
        size_t size;
    } sizes[] = {
        {4, 0x0100, kSetGraph, 27},
        {4, 0x0100, kSetKeypad, 12},
        {4, 0x0100, kSetInputTerminals, 11},
        {4, 0x0100, kSetOutputTerminals, 5},
        {4, 0x0100, kSetFaults, 16},
        {5, 0x0100, kSetGraph, 28 + 11 + 4 + 1},
        {5, 0x0100, kSetKeypad, 30},
        {5, 0x0100, kSetFaults, 15},
        {8, 0x0010, kSetGraph, 10 + 5 + 2 + 1},
        {9, 0x0100, kSetFaults, 14},
        {9, 0x0100, kSetOutputTerminals, 8},
        {10, 0x0014, kSetFaults, 16},
        {10, 0x0015, kSetFaults, 20},
        {10, 0x0015, kSetInputTerminals, 8},
        {7, 0x0600, kSetGraph, 0},
        {6, 0, kSetKeypad, 0},
        {4, 0x0100, 5, 0},
    };
    for (const auto& s : sizes)
        EXPECT_EQ(BuildItemSet(s.model, s.version, s.set).size(), s.size)
            << "model " << s.model << " version " << s.version << " set " << s.set;

    const auto graph = BuildItemSet(4, 0x0100, kSetGraph);
    EXPECT_EQ(graph[0].name, "Freq. Command");
    EXPECT_EQ(graph[1].name, "Output Current");
    EXPECT_EQ(graph[10].name, "FX");
    EXPECT_EQ(graph[10].address, 16);
    EXPECT_EQ(graph[10].bitItem, 1);
    EXPECT_EQ(graph[21].name, "Q1(OC1)");
    EXPECT_EQ(graph[21].address, 17);
    const MonitorItem& fault = graph.back();
    EXPECT_EQ(fault.name, "Fault");
    EXPECT_EQ(fault.address, 15);
    EXPECT_EQ(fault.bitItem, 0);
    EXPECT_EQ(fault.scale, 1);
    EXPECT_EQ(fault.unit, "");

    for (const MonitorItem& item : BuildItemSet(5, 0x0100, kSetGraph))
        EXPECT_TRUE(item.address != 1283 && item.address != 1284 && item.address != 7) << item.name;
}

TEST(ItemSets, perModelLimitsNamesAndBits)
{
    const auto keypad9 = BuildItemSet(9, 0x0100, kSetKeypad);
    EXPECT_EQ(keypad9[0].maximum, 12000);
    EXPECT_EQ(keypad9[0].writable, 1);
    EXPECT_EQ(keypad9[0].scale, 100);
    EXPECT_EQ(keypad9[8].maximum, 150);
    const auto keypad10 = BuildItemSet(10, 0x0015, kSetKeypad);
    EXPECT_EQ(keypad10[6].name, "DC-Link Vlot.");
    EXPECT_EQ(keypad10[9].maximum, -100);
    EXPECT_EQ(BuildItemSet(4, 0x0100, kSetKeypad)[6].name, "DC-Link Volt.");

    const auto keypad5 = BuildItemSet(5, 0x0100, kSetKeypad);
    EXPECT_EQ(keypad5[18].name, "INV. Temparature");
    EXPECT_EQ(keypad5[18].minimum, -10);
    EXPECT_EQ(keypad5[19].address, 1282);
    EXPECT_EQ(keypad5[19].writable, 1);
    EXPECT_EQ(keypad5[3].writable, 0);

    const auto outputs10 = BuildItemSet(10, 0x0015, kSetOutputTerminals);
    ASSERT_EQ(outputs10.size(), 2u);
    EXPECT_EQ(outputs10[1].name, "3ABC");
    EXPECT_EQ(outputs10[1].bitIndex, 7);
    const auto inputs10 = BuildItemSet(10, 0x0015, kSetInputTerminals);
    EXPECT_EQ(inputs10[7].name, "P8");
    EXPECT_EQ(inputs10[7].bitIndex, 7);

    const auto faults10 = BuildItemSet(10, 0x0015, kSetFaults);
    EXPECT_EQ(faults10[15].address, 15);
    EXPECT_EQ(faults10[16].address, 29);
    EXPECT_EQ(faults10[16].name, "Loader Failure (COM)");
    EXPECT_EQ(faults10[19].bitIndex, 3);
    const auto faults5 = BuildItemSet(5, 0x0100, kSetFaults);
    EXPECT_EQ(faults5[2].bitIndex, 3);
}

StationRecord Station(int model, int version)
{
    StationRecord r;
    r.station = 3;
    r.present = r.connected = 1;
    r.model = model;
    r.version = version;
    r.timeScale = kDefaultTimeScale;
    return r;
}

TEST(FormatStationValue, recordSuppliesIdentityTimeScaleAndStoredValues)
{
    StationRecord r = Station(10, 0x0015);
    r.capacity = 1;
    r.voltage = 1;
    r.current = 55;
    r.speed = 3000;
    r.status = 0x12;
    r.fault = 0;
    r.fault2 = 0x0002;
    r.value27 = 4;
    EXPECT_EQ(FormatStationValue(r, 0, 0), "QM-B20X");
    EXPECT_EQ(FormatStationValue(r, 1, 0), "0.75kW-NC-4");
    EXPECT_EQ(FormatStationValue(r, 3, 0), "1.5");
    EXPECT_EQ(FormatStationValue(r, 9, 999), "5.5 A");  // the stored value, not the argument
    EXPECT_EQ(FormatStationValue(r, 10, 999), "30.00 Hz");
    EXPECT_EQ(FormatStationValue(r, 14, 0), "Forward Accelerating...");
    EXPECT_EQ(FormatStationValue(r, 27, 0), "4");
    EXPECT_EQ(FormatStationValue(r, 29, 0), "Self Diag Failure (FLTL)");
    EXPECT_EQ(FormatStationValue(r, 5, 1234), "12.34 Hz");  // other addresses use the argument
    EXPECT_EQ(StationFaultText(r), "Self Diag Failure (FLTL)");
    r.fault = 0x0001;
    EXPECT_EQ(StationFaultText(r), "Over Current (OCT)");

    const struct {
        int scale;
        const char* text;
    } times[] = {{100, "1.23 sec"}, {1, "123 sec"}, {10, "12.3 sec"}, {0, "12.3 sec"}};
    for (const auto& t : times) {
        r.timeScale = t.scale;
        EXPECT_EQ(FormatStationValue(r, 7, 123), t.text) << t.scale;
        EXPECT_EQ(FormatStationValue(r, 1284, 123), t.text) << t.scale;
    }

    StationRecord old = Station(10, 0x0014);
    old.fault2 = 0x0002;
    EXPECT_EQ(FormatStationValue(old, 29, 0), "");
    EXPECT_EQ(StationFaultText(old), "");
}

TEST(SpeedText, model5UsesRpmAndAddress26SwitchesToRpm)
{
    StationRecord m5 = Station(5, 0x0100);
    m5.speed = 0xFFF6;
    EXPECT_EQ(SpeedText(m5), "-10 rpm");

    StationRecord m4 = Station(4, 0x0300);
    m4.speed = 1750;
    EXPECT_EQ(SpeedText(m4), "17.50 Hz");
    m4.value26 = 1;
    EXPECT_EQ(SpeedText(m4), "1750 rpm");
}

TEST(FormatValue, address29IsTheTargetSpeedOnQmC20AndTheSecondFaultWordElsewhere)
{
    EXPECT_EQ(FormatValue(29, 1750, kModelQmC20, 0x0100), "1750 rpm");
    StationRecord m5 = Station(5, 0x0100);
    m5.fault2 = 0x0002;  // never stored on QM-C20; the value passed in is the one shown
    EXPECT_EQ(FormatStationValue(m5, 29, 900), "900 rpm");
    EXPECT_EQ(StationFaultText(m5), "");

    StationRecord m10 = Station(10, 0x0015);
    m10.fault2 = 0;
    EXPECT_EQ(FormatStationValue(m10, 29, 1750), "");
}

// The graph and the displays share one conversion; these are the only places they differ.
TEST(ConvertMonitored, displayAndGraphDifferOnlyInFaultWordsAndQmC20AnalogInputs)
{
    const MonitorItem fault{"Fault", reg::kFault, 0, 0, 1, 0, 0, 0, ""};
    EXPECT_DOUBLE_EQ(ConvertMonitored(fault, 0x40, kModelQmA20, 10, 0, ValueView::Graph).value, 1.0);
    EXPECT_DOUBLE_EQ(ConvertMonitored(fault, 0x40, kModelQmA20, 10, 0).value, 64.0);

    const MonitorItem analogC20{"Analog Input1", reg::kAnalog1, 0, 0, 10, 0, -1000, 1000, "%"};
    EXPECT_DOUBLE_EQ(ConvertMonitored(analogC20, 0xFF9C, kModelQmC20, 10, 0).value, -10.0);
    EXPECT_DOUBLE_EQ(ConvertMonitored(analogC20, 0xFF9C, kModelQmC20, 10, 0, ValueView::Graph).value, 0.0);

    // QM-C20 signed words carry their sign apart; elsewhere the limits decide.
    const MonitorItem torque{"Torque Feedback", reg::kC20TorqueFeedback, 0, 0, 10, 0, 0, 2500, "%"};
    const MonitoredValue t = ConvertMonitored(torque, 0xFFF6, kModelQmC20, 10, 0);
    EXPECT_DOUBLE_EQ(t.value, -1.0);
    EXPECT_EQ(t.negative, std::optional<bool>(true));
    EXPECT_FALSE(ConvertMonitored(torque, 0xFFF6, kModelQmA20, 10, 0).negative.has_value());
    EXPECT_DOUBLE_EQ(ConvertMonitored(torque, 0xFFF6, kModelQmA20, 10, 0).value, 6552.6);

    // Speed display: address 10 unscaled in rpm with register 26 set, never on QM-C20.
    const MonitorItem speed{"Output Freq.", reg::kSpeed, 0, 0, 100, 0, 0, 40000, "Hz"};
    EXPECT_DOUBLE_EQ(ConvertMonitored(speed, 1750, kModelQmA20, 10, 1).value, 1750.0);
    EXPECT_EQ(MonitoredUnit(speed, kModelQmA20, 1), "rpm");
    EXPECT_DOUBLE_EQ(ConvertMonitored(speed, 1750, kModelQmA20, 10, 0).value, 17.5);
    EXPECT_EQ(MonitoredUnit(speed, kModelQmC20, 1), "Hz");
}

}  // namespace
}  // namespace vm
