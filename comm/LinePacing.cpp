#include "comm/LinePacing.h"

namespace vm {

std::optional<Pacing> ParsePacing(std::string_view text)
{
    if (text == "tick")
        return Pacing::Tick;
    if (text == "line")
        return Pacing::Line;
    return std::nullopt;
}

int64_t CharacterTimeUs(const PortSettings& line)
{
    const int baud = line.baudRate > 0 ? line.baudRate : 9600;
    const int stop2 = line.stopBits == 0 ? 2 : line.stopBits == 1 ? 3 : 4;  // half bits
    const int64_t halfBits = 2 * (1 + line.dataBits + (line.parity != 0 ? 1 : 0)) + stop2;
    return (halfBits * 1000000 + 2 * baud - 1) / (2 * static_cast<int64_t>(baud));
}

int64_t ModbusT35Us(const PortSettings& line)
{
    if (line.baudRate > 19200)
        return 1750;
    return (7 * CharacterTimeUs(line) + 1) / 2;
}

int64_t InterFrameGapUs(const PortSettings& line, bool modbus, int turnaroundUs)
{
    const int64_t turnaround = turnaroundUs < 0 ? 0 : turnaroundUs > kMaxTurnaroundUs ? kMaxTurnaroundUs : turnaroundUs;
    return (modbus ? ModbusT35Us(line) : 0) + turnaround;
}

}  // namespace vm
