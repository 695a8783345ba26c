#pragma once
// Live-value registers of each supported model and the texts they are shown with.

#include "catalogue/StationRecord.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vm {

struct MonitorItem {
    std::string name;
    uint16_t address = 0;
    int32_t writable = 0;   // 1: the keypad may write it
    int32_t bitItem = 0;    // 1: one bit of the word at the address
    int32_t scale = 1;      // raw value / scale = display value
    uint16_t bitIndex = 0;  // the bit of a bit item
    int32_t minimum = 0;    // raw limits, 0/0 when none; a negative minimum marks a signed item
    int32_t maximum = 0;
    std::string unit;  // "" for bit items
};

// The item sets handed to the windows.
enum ItemSet : int {
    kSetGraph = 0,   // values without acc/dec times, terminals, then "Fault"
    kSetKeypad = 1,  // all value items
    kSetInputTerminals = 2,
    kSetOutputTerminals = 3,
    kSetFaults = 4,  // model 10 adds the second fault word's bits from 0x0015
};

// Copies of the rows of a set; empty for unsupported models or unknown set numbers.
std::vector<MonitorItem> BuildItemSet(int model, int version, int set);

// Display text of a raw monitored value ("Unknown" for addresses without a format; empty for
// address 29 where the model has no second fault word; QM-C20's 29 is its target speed).
std::string FormatValue(int address, int32_t value, int model, int version);

// The same, fed from a station record: model, version, time scale and the stored values.
std::string FormatStationValue(const StationRecord& record, int address, int32_t value);

// Running-state text of a status word, e.g. "Forward Accelerating...".
std::string StatusText(int32_t status, int model);

// Status image of the inverter list.
enum StatusImage : int { kImageStop = 0, kImageForward = 1, kImageReverse = 2, kImageFault = 3 };
int StatusImageIndex(int32_t status);

// Name of the first set bit of a fault word in table order; "Fault bit N" (second word:
// "Second fault bit N") for the lowest set bit when the model's table names none of them.
// address is 15 (fault word) or 29 (second fault word of model 10).
std::string FaultText(int address, int32_t faultWord, int model, int version);

// Speed text of a station's event line: address 32 for model 5, 21 when address 26 is non-zero,
// else 10.
std::string SpeedText(const StationRecord& record);

// Fault text of a station's fault words: address 15, or address 29 when that gives none and the
// model has a second fault word.
std::string StationFaultText(const StationRecord& record);
// The fault text of a fault record: a record without fault words is a trip seen only in the
// status word, "Trip (fault word not read)".
std::string TripFaultText(const StationRecord& record);

}  // namespace vm
