#pragma once
// Identifying a station: the registers read in turn (model, capacity, voltage, version, then the
// model's time-scale register if it has one) and what their answers make of a station record.
// The main window's scan and the command-line tool both walk through these two functions, so
// they identify a station alike.

#include "catalogue/Registers.h"
#include "catalogue/StationRecord.h"

#include <cstdint>
#include <optional>

namespace vm {

// The register an identification reads first.
inline constexpr uint16_t kIdentificationStart = reg::kModel;

// Whether the identification ends with the model's time-scale register.
enum class TimeScaleRead { Read, Skip };

// Stores the answer to an identification read in the record. The version also settles the
// capacity code (see AdjustCapacity) and resets the time scale to its default; the model's
// time-scale register sets the time scale. Returns false, storing nothing, when the address is
// none of these for the record's model.
bool StoreIdentification(StationRecord& record, uint16_t address, uint16_t value);

// The register to read once the answer from `answered` is stored; nothing when the station is
// identified.
std::optional<uint16_t> NextIdentificationRead(const StationRecord& record, uint16_t answered,
                                               TimeScaleRead timeScale = TimeScaleRead::Read);

}  // namespace vm
