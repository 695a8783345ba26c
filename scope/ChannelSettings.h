#pragma once
// What the graph monitor keeps of one channel between runs: the choices on its channel page.

#include "scope/ScopeTables.h"

#include <cstdint>

namespace vm::scope {

struct ChannelSettings {
    bool on = false;
    int station = 0;
    uint16_t address = kNoAddress;
    int addressIndex = 0;
    int offsetIndex = kDefaultOffsetIndex;
    int divisionIndex = kDefaultDivisionIndex;
    uint32_t colour = 0;  // 0xRRGGBB
    int widthIndex = 0;
};

}  // namespace vm::scope
