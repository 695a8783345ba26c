#include "comm/BlockReads.h"

#include "comm/CommReply.h"
#include "comm/ModbusRtu.h"

#include <algorithm>

namespace vm {

size_t ConsecutiveRun(std::span<const uint16_t> addresses, size_t from, int max)
{
    if (from >= addresses.size())
        return 0;
    const size_t limit = static_cast<size_t>(std::clamp(max, 1, modbus::kMaxBlockRead));
    size_t n = 1;
    // Address 0xFFFF followed by 0 is no run: the wire register would wrap inside the block.
    while (n < limit && from + n < addresses.size() && addresses[from + n - 1] != 0xFFFF &&
           addresses[from + n] == addresses[from + n - 1] + 1)
        ++n;
    return n;
}

bool BlockReadRefused(int error)
{
    const int code = ModbusExceptionCode(error);
    return error == kTimeoutError || code == 1 || code == 2 || code == 3;
}

void BlockReadTable::Configure(bool enabled, int max)
{
    enabled_ = enabled;
    max_ = std::clamp(max, 1, modbus::kMaxBlockRead);
    refused_.fill(false);
}

BlockReadUse BlockReadTable::Use(int station) const
{
    if (!enabled_ || max_ < 2 || station < 0 || station >= kStations)
        return BlockReadUse::Off;
    return refused_[static_cast<size_t>(station)] ? BlockReadUse::Refused : BlockReadUse::On;
}

void BlockReadTable::Refuse(int station)
{
    if (station >= 0 && station < kStations)
        refused_[static_cast<size_t>(station)] = true;
}

}  // namespace vm
