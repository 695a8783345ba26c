#include "catalogue/Models.h"

#include "catalogue/Registers.h"

#include <array>
#include <cstdio>

namespace vm {

namespace {

constexpr std::array<const char*, 14> kNameTable = {
    "Unknown", "No Connection", "Not Support", "QM-A10", "QM-B1",  "QM-C1",   "QM-D1",
    "QM-A20",  "QM-C20",        "------",      "QM-B20", "QM-E20", "QM-F20X", "QM-B20X",
};

constexpr std::array<int, 5> kSupported = {kModelQmA20, kModelQmC20, kModelQmE20, kModelQmF20X, kModelQmB20X};

constexpr std::array<const char*, 23> kGeneralCapacity = {
    "0.75kW", "1.5kW", "2.2kW", "3.7kW", "5.5kW", "7.5kW", "11kW",  "15kW",
    "18.5kW", "22kW",  "30kW",  "37kW",  "45kW",  "55kW",  "75kW",  "90kW",
    "110kW",  "132kW", "160kW", "200kW", "220kW", "280kW", "375kW",
};
constexpr std::array<const char*, 8> kModel10Capacity = {
    "0.75kW", "0.75kW-NC", "1.5kW", "2.2kW", "3.7kW", "4.0kW", "5.5kW", "7.5kW",
};
constexpr std::array<const char*, 5> kModel7Capacity = {
    "0.75kW", "1.5kW", "2.2kW", "3.7kW", "4.0kW",
};
constexpr const char* kSmallCapacity = "0.4kW";
constexpr int kModel7NewTableVersion = 0x0500;
// QM-A20 versions above this one report the rpm display mode and the pole count.
constexpr int kA20RpmDisplayVersion = 0x0200;

template <size_t N>
const char* Lookup(const std::array<const char*, N>& table, int code)
{
    return code >= 0 && code < static_cast<int>(N) ? table[static_cast<size_t>(code)] : nullptr;
}

std::string Printf(const char* format, int a, int b)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, format, a, b);
    return buf;
}

}  // namespace

std::span<const char* const> NameTable()
{
    return kNameTable;
}

const char* StatusName(NameIndex index)
{
    const int i = static_cast<int>(index);
    return i >= 0 && i < static_cast<int>(NameIndex::FirstModel) ? kNameTable[static_cast<size_t>(i)]
                                                                 : kNameTable[0];
}

const char* ModelName(int code)
{
    if (code < 0 || code >= kModelCodeCount)
        return kNameTable[static_cast<size_t>(NameIndex::Unknown)];
    return kNameTable[static_cast<size_t>(code) + static_cast<size_t>(NameIndex::FirstModel)];
}

bool IsSupportedModel(int code)
{
    for (int m : kSupported)
        if (m == code)
            return true;
    return false;
}

std::span<const int> SupportedModels()
{
    return kSupported;
}

std::string CapacityText(int model, int capacity, int voltage, int version)
{
    const char* text = nullptr;
    if (model == kModelQmB20X) {
        text = capacity == 0xFFFF ? kSmallCapacity : Lookup(kModel10Capacity, capacity);
    } else if (model == kModelQmB20 && version >= kModel7NewTableVersion) {
        text = capacity == -1 ? kSmallCapacity : Lookup(kModel7Capacity, capacity);
    } else if (model == kModelQmE20) {
        text = capacity == 0xFFFF ? kSmallCapacity : Lookup(kGeneralCapacity, capacity);
    } else {
        text = Lookup(kGeneralCapacity, capacity);
    }
    if (!text)
        return "Unknown";
    return std::string(text) + (voltage == 0 ? "-2" : "-4");
}

std::string VersionText(int model, int version)
{
    const int high = (version >> 8) & 0xFF;
    const int low = version & 0xFF;
    switch (model) {
    case kModelQmA20:
        return Printf("%d.%02d", high, low);
    case kModelQmC20:
        return Printf((version & 0xFFFF) >= 0x0100 ? "%d.%X" : "%d.%02d", high, low);
    case kModelQmE20:
    case kModelQmB20X:
        return Printf("%d.%d", low / 16, low % 16);
    case kModelQmF20X:
        return Printf("%d.%d", high, low);
    default:
        return "Unknown";
    }
}

int AdjustCapacity(int model, int version, int capacity)
{
    return model == kModelQmB20 && version > kModel7NewTableVersion ? capacity - 1 : capacity;
}

std::optional<uint16_t> TimeScaleRegister(int model)
{
    switch (model) {
    case kModelQmA20:
        return reg::kTimeScaleA20;
    case kModelQmE20:
        return reg::kTimeScaleE20;
    case kModelQmF20X:
        return reg::kTimeScaleF20X;
    case kModelQmB20X:
        return reg::kTimeScaleB20X;
    default:
        return std::nullopt;
    }
}

int TimeScale(int registerValue)
{
    switch (registerValue) {
    case 0:
        return 100;
    case 1:
        return 10;
    case 2:
        return 1;
    default:
        return kDefaultTimeScale;
    }
}

bool HasSecondFaultWord(int model, int version)
{
    return model == kModelQmB20X && version >= kSecondFaultWordVersion;
}

std::vector<uint16_t> MonitorAddressSet(int model, int version)
{
    using namespace reg;
    if (model == kModelQmC20)
        return {kCurrent, kC20Speed, kC20TorqueFeedback, kStatus};
    if ((model == kModelQmA20 && version > kA20RpmDisplayVersion) || model == kModelQmF20X)
        return {kFreqCommand, kSpeed, kCurrent, kStatus, kRunCommand, kRpmDisplay, kPoleCount};
    if (model == kModelQmA20 || model == kModelQmE20 || model == kModelQmB20X)
        return {kFreqCommand, kSpeed, kCurrent, kStatus, kRunCommand};
    return {};
}

std::vector<uint16_t> FaultWatchAddresses(int model, int version)
{
    if (HasSecondFaultWord(model, version))
        return {reg::kFault, reg::kFault2};
    return {reg::kFault};
}

std::vector<ListEntry> FillModelList()
{
    std::vector<ListEntry> list;
    for (int m : kSupported)
        list.push_back({ModelName(m), m});
    return list;
}

}  // namespace vm
