#pragma once
// How the raw 16-bit word of a monitored register becomes the number a window shows: scale,
// signedness, converter counts of the analog inputs, time scale and the rpm/Hz switch. One rule
// for the keypad, the graph monitor and the tools; the graph's few differences are named here.

#include "catalogue/MonitorItems.h"

#include <cstdint>
#include <optional>
#include <string>

namespace vm {

// Who reads the value: the graph plots fault words as 0/1 and has no QM-C20 analog inputs.
enum class ValueView { Display, Graph };

struct MonitoredValue {
    double value = 0;
    std::optional<bool> negative;  // bit 15 of a QM-C20 signed word, for displays that show the sign apart
};

// Address 10 shows rpm (unscaled) when the drive's register 26 is non-zero; never on QM-C20.
bool IsSpeedDisplay(uint16_t address, int model, int32_t value26);

// QM-C20 registers read as signed 16-bit words whatever their limits say.
bool IsC20SignedWord(uint16_t address);

// The value of raw for item on a drive of this model, time scale (1, 10 or 100) and register 26.
MonitoredValue ConvertMonitored(const MonitorItem& item, uint32_t raw, int model, int timeScale,
                                int32_t value26, ValueView view = ValueView::Display);

// The unit shown beside the value: "rpm" in speed display, else the item's own.
std::string MonitoredUnit(const MonitorItem& item, int model, int32_t value26);

}  // namespace vm
