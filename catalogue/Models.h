#pragma once
// The inverter models the line can carry: codes, names, identification texts and the per-model
// register choices every window relies on.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vm {

inline constexpr int kModelCodeCount = 11;  // codes 0-10; anything above is "Unknown"

// Version from which model 10 has its second fault word (register 0x001D).
inline constexpr int kSecondFaultWordVersion = 0x0015;

// The shared name table of the inverter list: three status names, then the model names.
enum class NameIndex : int { Unknown = 0, NoConnection = 1, NotSupport = 2, FirstModel = 3 };
std::span<const char* const> NameTable();  // 14 entries
const char* StatusName(NameIndex index);   // "Unknown", "No Connection", "Not Support"

// Name of a model code; "Unknown" for codes outside 0-10.
const char* ModelName(int code);

// Codes 4, 5, 8, 9 and 10: monitored, with item tables, data files and offline editing.
bool IsSupportedModel(int code);
std::span<const int> SupportedModels();  // in code order

// Capacity text with the voltage suffix, e.g. "5.5kW-4"; "Unknown" (no suffix) for a bad code.
std::string CapacityText(int model, int capacity, int voltage, int version);

// Version text in the model's own notation, e.g. "1.05", "1.A", "2.3"; "Unknown" for others.
std::string VersionText(int model, int version);

// Capacity code to store once the version is known: model 7 above 0x0500 shifts down by one.
int AdjustCapacity(int model, int version, int capacity);

// The register holding the acceleration/deceleration time resolution, if the model has one.
std::optional<uint16_t> TimeScaleRegister(int model);
// Register value 0 -> 100, 1 -> 10, 2 -> 1, anything else -> 10.
int TimeScale(int registerValue);
inline constexpr int kDefaultTimeScale = 10;

// Model 10 from version 0x0015 reports a second fault word at address 29.
bool HasSecondFaultWord(int model, int version);

// Monitor addresses registered for a connected station, in registration order; empty for
// unsupported models.
std::vector<uint16_t> MonitorAddressSet(int model, int version);
// Addresses watched while a station is faulted (and in graph watch mode): 15, plus 29 if present.
std::vector<uint16_t> FaultWatchAddresses(int model, int version);

// One entry of a list a combo box is filled from: the text shown and the item data.
struct ListEntry {
    std::string text;
    int data = 0;
    bool operator==(const ListEntry&) const = default;
};

// Names of the supported models in code order, the code as data.
std::vector<ListEntry> FillModelList();

}  // namespace vm
