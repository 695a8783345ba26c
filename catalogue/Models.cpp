#include "catalogue/Models.h"

#include <array>
#include <cstdio>

namespace vm {

namespace {

constexpr std::array<const char*, 14> kNameTable = {
    "Unknown", "No Connection", "Not Support",
    "QM-A10", "QM-B1", "QM-C1", "QM-D1", "QM-A20", "QM-C20",
    "------", "QM-B20", "QM-E20", "QM-F20X", "QM-B20X",
};

constexpr std::array<int, 5> kSupported = {4, 5, 8, 9, 10};

constexpr std::array<const char*, 23> kGeneralCapacity = {
    "0.75kW", "1.5kW", "2.2kW", "3.7kW", "5.5kW", "7.5kW", "11kW", "15kW",
    "18.5kW", "22kW", "30kW", "37kW", "45kW", "55kW", "75kW", "90kW",
    "110kW", "132kW", "160kW", "200kW", "220kW", "280kW", "375kW",
};
constexpr std::array<const char*, 8> kModel10Capacity = {
    "0.75kW", "0.75kW-NC", "1.5kW", "2.2kW", "3.7kW", "4.0kW", "5.5kW", "7.5kW",
};
constexpr std::array<const char*, 5> kModel7Capacity = {
    "0.75kW", "1.5kW", "2.2kW", "3.7kW", "4.0kW",
};
constexpr const char* kSmallCapacity = "0.4kW";
constexpr int kModel7NewTableVersion = 0x0500;

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
    if (model == 10) {
        text = capacity == 0xFFFF ? kSmallCapacity : Lookup(kModel10Capacity, capacity);
    } else if (model == 7 && version >= kModel7NewTableVersion) {
        text = capacity == -1 ? kSmallCapacity : Lookup(kModel7Capacity, capacity);
    } else if (model == 8) {
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
    case 4:
        return Printf("%d.%02d", high, low);
    case 5:
        return Printf((version & 0xFFFF) >= 0x0100 ? "%d.%X" : "%d.%02d", high, low);
    case 8:
    case 10:
        return Printf("%d.%d", low / 16, low % 16);
    case 9:
        return Printf("%d.%d", high, low);
    default:
        return "Unknown";
    }
}

int AdjustCapacity(int model, int version, int capacity)
{
    return model == 7 && version > kModel7NewTableVersion ? capacity - 1 : capacity;
}

std::optional<uint16_t> TimeScaleRegister(int model)
{
    switch (model) {
    case 4: return 0x5347;
    case 8: return 0x8347;
    case 9: return 0x924A;
    case 10: return 0xA347;
    default: return std::nullopt;
    }
}

int TimeScale(int registerValue)
{
    switch (registerValue) {
    case 0: return 100;
    case 1: return 10;
    case 2: return 1;
    default: return kDefaultTimeScale;
    }
}

bool HasSecondFaultWord(int model, int version)
{
    return model == 10 && version >= kSecondFaultWordVersion;
}

std::vector<uint16_t> MonitorAddressSet(int model, int version)
{
    if (model == 5)
        return {9, 32, 34, 14};
    if ((model == 4 && version > 0x0200) || model == 9)
        return {5, 10, 9, 14, 6, 26, 27};
    if (model == 4 || model == 8 || model == 10)
        return {5, 10, 9, 14, 6};
    return {};
}

std::vector<uint16_t> FaultWatchAddresses(int model, int version)
{
    if (HasSecondFaultWord(model, version))
        return {15, 29};
    return {15};
}

std::vector<ListEntry> FillModelList()
{
    std::vector<ListEntry> list;
    for (int m : kSupported)
        list.push_back({ModelName(m), m});
    return list;
}

}  // namespace vm
