#include "catalogue/MonitorItems.h"

#include "catalogue/Models.h"
#include "catalogue/Registers.h"

#include <cstdio>
#include <span>

namespace vm {

namespace {

struct ValueRow {
    const char* name;
    uint16_t address;
    bool writable;
    int32_t scale;
    int32_t minimum;
    int32_t maximum;
    const char* unit;
};

struct BitRow {
    const char* name;
    uint16_t bit;
};

// Models 4, 8, 9 and 10 share the addresses; a few maxima and one name differ per model.
struct CommonLimits {
    int32_t freqMax;
    int32_t v1Max;
    int32_t v2Max;
    const char* dcLinkName;
};

std::vector<ValueRow> CommonValueRows(const CommonLimits& l)
{
    return {
        {"Freq. Command", 5, true, 100, 0, l.freqMax, "Hz"},
        {"Acc. Time", 7, true, 10, 0, 6000, "sec"},
        {"Dec. Time", 8, true, 10, 0, 6000, "sec"},
        {"Output Current", 9, false, 10, 0, 0, "A"},
        {"Output Freq.", 10, false, 100, 0, l.freqMax, "Hz"},
        {"Output Volt.", 11, false, 1, 0, 0, "V"},
        {l.dcLinkName, 12, false, 1, 0, 0, "V"},
        {"Output Power", 13, false, 10, 0, 0, "kW"},
        {"V1", 18, false, 10, 0, l.v1Max, "V"},
        {"V2", 19, false, 10, 0, l.v2Max, "V"},
        {"I", 20, false, 10, 0, 200, "mA"},
        {"RPM", 21, false, 1, 0, 0, "rpm"},
    };
}

const std::vector<ValueRow> kModel5Values = {
    {"Output Current", 9, false, 10, 0, 4500, "A"},
    {"Output Volt.", 11, false, 10, 0, 4800, "V"},
    {"DC-Link Volt.", 12, false, 10, 0, 8200, "V"},
    {"Output Power", 13, false, 10, 0, 2200, "kW"},
    {"Analog Input1", 18, false, 10, -1000, 1000, "%"},
    {"Analog Input2", 19, false, 10, -1000, 1000, "%"},
    {"Analog Input3", 20, false, 10, -1000, 1000, "%"},
    {"Drive Speed Feedback", 21, false, 1, 0, 3600, "rpm"},
    {"Target Speed Command", 29, false, 1, 0, 3600, "rpm"},
    {"Ramp Speed Command", 30, false, 1, 0, 3600, "rpm"},
    {"Speed Control Input Command", 31, false, 1, 0, 3600, "rpm"},
    {"RPM", 32, false, 1, 0, 3600, "rpm"},
    {"Torque Reference", 33, false, 10, 0, 2500, "%"},
    {"Torque Feedback", 34, false, 10, 0, 2500, "%"},
    {"No Load Current", 35, false, 10, 0, 1000, "%"},
    {"PID Reference", 36, false, 10, -1000, 1000, "%"},
    {"PID Feedbakc", 37, false, 10, -1000, 1000, "%"},
    {"PID Output", 38, false, 10, -2500, 2500, "%"},
    {"INV. Temparature", 39, false, 1, -10, 130, "deg"},
    {"RPM Command", 1282, true, 10, 0, 36000, "rpm"},
    {"Acc. Time", 1283, true, 10, 0, 6000, "sec"},
    {"Dec. Time", 1284, true, 10, 0, 6000, "sec"},
    {"Torque Command", 1285, true, 10, -1800, 1800, "%"},
    {"Forward Torque Limit", 1286, true, 10, -2500, 2500, "%"},
    {"Reverse Torque Limit", 1287, true, 10, -2500, 2500, "%"},
    {"Restoral Torque Limit", 1288, true, 10, -2500, 2500, "%"},
    {"Torque Bias", 1289, true, 10, -1500, 1500, "%"},
    {"No Load Current Command", 1290, true, 10, 0, 1000, "%"},
    {"PID Input Command", 1291, true, 10, -1000, 1000, "%"},
    {"Draw Input Command", 1292, true, 10, -1000, 1000, "%"},
};

const std::vector<ValueRow> kModel4Values = CommonValueRows({40000, 100, 100, "DC-Link Volt."});
const std::vector<ValueRow> kModel8Values = CommonValueRows({40000, 100, 100, "DC-Link Volt."});
const std::vector<ValueRow> kModel9Values = CommonValueRows({12000, 150, 150, "DC-Link Volt."});
const std::vector<ValueRow> kModel10Values = CommonValueRows({40000, 100, -100, "DC-Link Vlot."});

const std::vector<BitRow> kModel4Inputs = {
    {"FX", 0}, {"RX", 1},  {"BX", 2},  {"RST", 3}, {"JOG", 4}, {"P1", 8},
    {"P2", 9}, {"P3", 10}, {"P4", 11}, {"P5", 12}, {"P6", 13},
};
const std::vector<BitRow> kModel4Outputs = {
    {"Q1(OC1)", 0}, {"Q2(OC2)", 1}, {"Q3(OC3)", 2}, {"AUX", 3}, {"30AC", 4},
};
const std::vector<BitRow> kModel5Inputs = {
    {"FX", 0},  {"RX", 1},  {"BX", 2},  {"RST", 3}, {"P1", 8},  {"P2", 9},
    {"P3", 10}, {"P4", 11}, {"P5", 12}, {"P6", 13}, {"P7", 14},
};
const std::vector<BitRow> kModel5Outputs = {
    {"30A-30C", 0},
    {"1A-1B", 1},
    {"2A-2B", 2},
    {"OC1-EG", 3},
};
const std::vector<BitRow> kModel8Inputs = {
    {"FX", 0}, {"RX", 1}, {"EST", 2}, {"RST", 3}, {"JOG", 4},
};
const std::vector<BitRow> kModel8Outputs = {{"Q1(OC1)", 0}, {"30AC", 1}};
const std::vector<BitRow> kModel9Inputs = {
    {"M1", 0}, {"M2", 1}, {"M3", 2}, {"M4", 3}, {"M5", 4},  {"M6", 5},
    {"M7", 6}, {"M8", 7}, {"P4", 8}, {"P5", 9}, {"P6", 10},
};
const std::vector<BitRow> kModel9Outputs = {
    {"AUX1", 0},    {"AUX2", 1},    {"AUX3", 2},    {"AUX4", 3},
    {"Q1(OC1)", 4}, {"Q2(OC2)", 5}, {"Q3(OC3)", 6}, {"30AC", 7},
};
const std::vector<BitRow> kModel10Inputs = {
    {"P1", 0}, {"P2", 1}, {"P3", 2}, {"P4", 3}, {"P5", 4}, {"P6", 5}, {"P7", 6}, {"P8", 7},
};
const std::vector<BitRow> kModel10Outputs = {{"MO", 4}, {"3ABC", 7}};

const std::vector<BitRow> kModel4Faults = {
    {"Over Current (OCT)", 0},
    {"Over Voltage (OV)", 1},
    {"External-A <Normal Open> (EXTA)", 2},
    {"Emergency Stop (BX)", 3},
    {"Low Voltage (LV)", 4},
    {"Fuse Open (FO)", 5},
    {"Ground Fault (GF)", 6},
    {"Drive Over Heat (OH)", 7},
    {"Electric Motor Overheat (ETH)", 8},
    {"Motor Over Load (OLT)", 9},
    {"HW-Fault (HW-DIAG)", 10},
    {"External-B <Normal Close> (EXTB)", 11},
    {"Arm Short (OCT2)", 12},
    {"Communication Card Trip (OPT)", 13},
    {"Output Phase Open (PO)", 14},
    {"Drive Over Load (IOLT)", 15},
};
const std::vector<BitRow> kModel5Faults = {
    {"Over Current (OCT1)", 0},
    {"Over Voltage (OV)", 1},
    {"Emergency Stop (BX)", 3},
    {"Low Voltage (LV)", 4},
    {"Fuse Open (FO)", 5},
    {"Ground Fault (GF)", 6},
    {"Drive Over Heat(OH)", 7},
    {"Electric Motor Overheat (ETH)", 8},
    {"Drive Over Load (IOLT)", 9},
    {"HW-Fault (HW-DIAG)", 10},
    {"External-B <Normal Close> (EXTB)", 11},
    {"Arm Short (OCT2)", 12},
    {"Communication Card Trip (OPT)", 13},
    {"Output Phase Open (PO)", 14},
    {"Drive Over Load (IOLT)", 15},
};
const std::vector<BitRow> kModel8Faults = {
    {"Over Current (OCT1)", 0},
    {"Over Voltage (OV)", 1},
    {"External-A <Normal Open> (EXTA)", 2},
    {"Emergency Stop (BX)", 3},
    {"Communication Card Trip (OPT)", 4},
    {"Ground Fault (GF)", 5},
    {"Drive Over Heat (OH)", 6},
    {"Electric Motor Overheat (ETH)", 7},
    {"Motor Over Load (OLT)", 8},
    {"HW-Fault (HW-DIAG)", 9},
    {"External-B <Normal Close> (EXTB)", 10},
    {"EEPROM Failure (EEP)", 11},
    {"Fan Failure (FAN)", 12},
    {"Out Phase Open (PO)", 13},
    {"Drive Over Load (IOLT)", 14},
    {"Low Voltage (LV)", 15},
};
const std::vector<BitRow> kModel9Faults = {
    {"Over Current (OCT)", 0},
    {"Over Voltage (OV)", 1},
    {"External-A <Normal Open> (EXTA)", 2},
    {"Emergency Stop (BX)", 3},
    {"Low Voltage (LV)", 4},
    {"Ground Fault (GF)", 6},
    {"Drive Over Heat (OH)", 7},
    {"Electric Motor OverheatL (ETH)", 8},
    {"Motor Over Load (OLT)", 9},
    {"HW-Fault (HW-DIAG)", 10},
    {"Arm Short (OCT2)", 12},
    {"Communication Card Trip (OPT)", 13},
    {"Output Phase Open (PO)", 14},
    {"Drive Over Load (IOLT)", 15},
};
const std::vector<BitRow> kModel10Faults = {
    {"Over Current (OCT)", 0},
    {"Over Voltage (OV)", 1},
    {"External-A <Normal Open> (EXTA)", 2},
    {"Emergency Stop (BX)", 3},
    {"Input Phase Open (COL)", 4},
    {"Groud Fault (GF)", 5},
    {"Drive Over Heat (OH)", 6},
    {"Electric Motor OverHeat (ETH)", 7},
    {"Motor Over Load (OLT)", 8},
    {"HW-Fault (HW-DIAG)", 9},
    {"External-B <Normal Close> (EXTB)", 10},
    {"EEPROM Failure (EEP)", 11},
    {"Fan Failure (FAN)", 12},
    {"Out Phase Open (PO)", 13},
    {"Drive Over Load (IOLT)", 14},
    {"Low Voltage (LV)", 15},
};
const std::vector<BitRow> kModel10Faults2 = {
    {"Loader Failure (COM)", 0},
    {"Self Diag Failure (FLTL)", 1},
    {"Drive NTC Open (NTC)", 2},
    {"Copy Unit Failure (REEP)", 3},
};

struct ModelTables {
    const std::vector<ValueRow>* values;
    const std::vector<BitRow>* inputs;
    const std::vector<BitRow>* outputs;
    const std::vector<BitRow>* faults;
};

const ModelTables* TablesOf(int model)
{
    static const ModelTables k4{&kModel4Values, &kModel4Inputs, &kModel4Outputs, &kModel4Faults};
    static const ModelTables k5{&kModel5Values, &kModel5Inputs, &kModel5Outputs, &kModel5Faults};
    static const ModelTables k8{&kModel8Values, &kModel8Inputs, &kModel8Outputs, &kModel8Faults};
    static const ModelTables k9{&kModel9Values, &kModel9Inputs, &kModel9Outputs, &kModel9Faults};
    static const ModelTables k10{&kModel10Values, &kModel10Inputs, &kModel10Outputs, &kModel10Faults};
    switch (model) {
    case kModelQmA20:
        return &k4;
    case kModelQmC20:
        return &k5;
    case kModelQmE20:
        return &k8;
    case kModelQmF20X:
        return &k9;
    case kModelQmB20X:
        return &k10;
    default:
        return nullptr;
    }
}

bool IsTimeAddress(int address)
{
    return address == reg::kAccTime || address == reg::kDecTime || address == reg::kC20AccTime ||
           address == reg::kC20DecTime;
}

MonitorItem ValueItem(const ValueRow& r)
{
    return {r.name, r.address, r.writable ? 1 : 0, 0, r.scale, 0, r.minimum, r.maximum, r.unit};
}

void AppendBits(std::vector<MonitorItem>& list, const std::vector<BitRow>& rows, uint16_t address)
{
    for (const BitRow& r : rows)
        list.push_back({r.name, address, 0, 1, 1, r.bit, 0, 0, ""});
}

int16_t Signed16(int32_t value)
{
    return static_cast<int16_t>(static_cast<uint16_t>(value));
}

std::string Format(const char* format, double value)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, format, value);
    return buf;
}

std::string FormatInt(const char* format, long long value)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, format, value);
    return buf;
}

// A bit the table has no name for is still a trip: it is named by its number.
std::string FirstSetBit(const std::vector<BitRow>& rows, int32_t word, const char* unnamed)
{
    if (word == 0)
        return {};
    for (const BitRow& r : rows)
        if ((static_cast<uint32_t>(word) >> r.bit) & 1u)
            return r.name;
    for (int bit = 0; bit < 16; ++bit)
        if ((static_cast<uint32_t>(word) >> bit) & 1u)
            return std::string(unnamed) + std::to_string(bit);
    return {};
}

}  // namespace

std::vector<MonitorItem> BuildItemSet(int model, int version, int set)
{
    std::vector<MonitorItem> list;
    const ModelTables* t = TablesOf(model);
    if (!t)
        return list;
    switch (set) {
    case kSetGraph:
        for (const ValueRow& r : *t->values)
            if (!IsTimeAddress(r.address))
                list.push_back(ValueItem(r));
        AppendBits(list, *t->inputs, reg::kTerminals);
        AppendBits(list, *t->outputs, reg::kOutputs);
        list.push_back({"Fault", reg::kFault, 0, 0, 1, 0, 0, 0, ""});
        break;
    case kSetKeypad:
        for (const ValueRow& r : *t->values)
            list.push_back(ValueItem(r));
        break;
    case kSetInputTerminals:
        AppendBits(list, *t->inputs, reg::kTerminals);
        break;
    case kSetOutputTerminals:
        AppendBits(list, *t->outputs, reg::kOutputs);
        break;
    case kSetFaults:
        AppendBits(list, *t->faults, reg::kFault);
        if (HasSecondFaultWord(model, version))
            AppendBits(list, kModel10Faults2, reg::kFault2);
        break;
    default:
        break;
    }
    return list;
}

std::string StatusText(int32_t status, int model)
{
    std::string text;
    if (status & reg::kStatusForward)
        text = "Forward";
    else if (status & reg::kStatusReverse)
        text = "Reverse";
    else if (status & reg::kStatusFault)
        text = "Fault";
    else
        text = "Stop";
    if (!(status & reg::kStatusFault)) {
        if (status & reg::kStatusAccelerating)
            text += " Accelerating...";
        else if (status & reg::kStatusDecelerating)
            text += " Decelerating...";
        else if (model != kModelQmC20 && (status & reg::kStatusDcBraking))
            text += "DC Braking...";
    }
    return text;
}

int StatusImageIndex(int32_t status)
{
    if (status & reg::kStatusForward)
        return kImageForward;
    if (status & reg::kStatusReverse)
        return kImageReverse;
    if (status & reg::kStatusFault)
        return kImageFault;
    return kImageStop;
}

std::string FaultText(int address, int32_t faultWord, int model, int version)
{
    if (address == reg::kFault2)
        return HasSecondFaultWord(model, version)
                   ? FirstSetBit(kModel10Faults2, faultWord, "Second fault bit ")
                   : std::string();
    const ModelTables* t = TablesOf(model);
    return t ? FirstSetBit(*t->faults, faultWord, "Fault bit ") : std::string();
}

std::string FormatValue(int address, int32_t value, int model, int version)
{
    switch (address) {
    case reg::kModel:
        return ModelName(value);
    case reg::kVersion:
        return VersionText(model, value);
    case reg::kFreqCommand:
    case reg::kSpeed:
        return Format("%.2f Hz", value * 0.01);
    case reg::kCurrent:
        return Format("%.1f A", value * 0.1);
    case reg::kOutputVoltage:
    case reg::kDcLink:
        return model == kModelQmC20 ? Format("%.1f V", value * 0.1) : Format("%.0f V", value);
    case reg::kPower:
        return Format("%.1f kW", value * 0.1);
    case reg::kStatus:
        return StatusText(value, model);
    case reg::kFault2:
        if (model == kModelQmC20)  // its 29 is the target speed, not a second fault word
            return FormatInt("%lld rpm", value);
        return FaultText(address, value, model, version);
    case reg::kFault:
        return FaultText(address, value, model, version);
    case reg::kRpm:
        return FormatInt("%lld rpm", value);
    case reg::kRpmDisplay:
    case reg::kPoleCount:
        return FormatInt("%lld", value);
    case reg::kC20Speed:
        return FormatInt("%lld rpm", Signed16(value));
    case reg::kC20TorqueFeedback:
        return Format("%.1f %%", Signed16(value) * 0.1);
    case reg::kC20SpeedCommand:
        return Format("%.1f rpm", Signed16(value) * 0.1);
    default:
        return "Unknown";
    }
}

std::string FormatStationValue(const StationRecord& r, int address, int32_t value)
{
    switch (address) {
    case reg::kModel:
        return ModelName(r.model);
    case reg::kCapacity:
        return CapacityText(r.model, r.capacity, r.voltage, r.version);
    case reg::kVersion:
        return VersionText(r.model, r.version);
    case reg::kAccTime:
    case reg::kDecTime:
    case reg::kC20AccTime:
    case reg::kC20DecTime:
        if (r.timeScale == 1)
            return Format("%.0f sec", value);
        if (r.timeScale == 100)
            return Format("%.2f sec", value * 0.01);
        return Format("%.1f sec", value * 0.1);
    case reg::kCurrent:
        return FormatValue(address, r.current, r.model, r.version);
    case reg::kSpeed:
    case reg::kRpm:
    case reg::kC20Speed:
        return FormatValue(address, r.speed, r.model, r.version);
    case reg::kStatus:
        return FormatValue(address, r.status, r.model, r.version);
    case reg::kFault:
        return FormatValue(address, r.fault, r.model, r.version);
    case reg::kRpmDisplay:
        return FormatValue(address, r.value26, r.model, r.version);
    case reg::kPoleCount:
        return FormatValue(address, r.value27, r.model, r.version);
    case reg::kFault2:
        return FormatValue(address, r.model == kModelQmC20 ? value : r.fault2, r.model, r.version);
    case reg::kC20TorqueFeedback:
        return FormatValue(address, r.value34, r.model, r.version);
    default:
        return FormatValue(address, value, r.model, r.version);
    }
}

std::string SpeedText(const StationRecord& r)
{
    const int address = r.model == kModelQmC20 ? reg::kC20Speed : (r.value26 != 0 ? reg::kRpm : reg::kSpeed);
    return FormatStationValue(r, address, r.speed);
}

std::string StationFaultText(const StationRecord& r)
{
    std::string text = FormatStationValue(r, reg::kFault, r.fault);
    if (text.empty() && HasSecondFaultWord(r.model, r.version))
        text = FormatStationValue(r, reg::kFault2, r.fault2);
    return text;
}

std::string TripFaultText(const StationRecord& r)
{
    if (r.fault == 0 && r.fault2 == 0)
        return "Trip (fault word not read)";
    return StationFaultText(r);
}

}  // namespace vm
