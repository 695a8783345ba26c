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

namespace {

// Half bits, for one and a half stop bits; rounded up to whole microseconds.
int64_t HalfBitsUs(const PortSettings& line, int64_t halfBits)
{
    const int64_t baud = line.baudRate > 0 ? line.baudRate : 9600;
    return (halfBits * 1000000 + 2 * baud - 1) / (2 * baud);
}

int64_t CharacterHalfBits(const PortSettings& line)
{
    const int stop = line.stopBits == 0 ? 2 : line.stopBits == 1 ? 3 : 4;
    return 2 * (1 + line.dataBits + (line.parity != 0 ? 1 : 0)) + stop;
}

}  // namespace

int64_t CharacterTimeUs(const PortSettings& line)
{
    return HalfBitsUs(line, CharacterHalfBits(line));
}

int64_t ModbusT35Us(const PortSettings& line)
{
    if (line.baudRate > 19200)
        return 1750;
    // 3.5 characters are 7 half characters: 7 * halfBits / 2 half bits.
    const int64_t quarterBits = 7 * CharacterHalfBits(line);
    const int64_t baud = line.baudRate > 0 ? line.baudRate : 9600;
    return (quarterBits * 1000000 + 4 * baud - 1) / (4 * baud);
}

int64_t InterFrameGapUs(const PortSettings& line, bool modbus, int turnaroundUs)
{
    const int64_t turnaround = turnaroundUs < 0                  ? 0
                               : turnaroundUs > kMaxTurnaroundUs ? kMaxTurnaroundUs
                                                                 : turnaroundUs;
    return (modbus ? ModbusT35Us(line) : 0) + turnaround;
}

}  // namespace vm
