#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vm::modbus {

inline constexpr uint8_t kReadInput = 0x04;
inline constexpr uint8_t kWriteSingle = 0x06;
inline constexpr uint8_t kExceptionBit = 0x80;
inline constexpr size_t kExceptionLength = 5;  // station, function | 0x80, code, CRC
inline constexpr int kMaxBlockRead = 125;      // registers one function-4 reply can carry

// CRC-16/MODBUS (reflected 0xA001, initial 0xFFFF); sent low byte first.
uint16_t Crc16(std::span<const uint8_t> bytes);
void AppendCrc(std::vector<uint8_t>& frame);
// True when the last two bytes are the CRC of the bytes before them (and there is at least one).
bool CrcMatches(std::span<const uint8_t> frame);

using RequestFrame = std::array<uint8_t, 8>;

// Requests for one register; the wire register is the address minus one (16-bit wrap).
RequestFrame BuildRead(int station, uint16_t address);
RequestFrame BuildWrite(int station, uint16_t address, uint16_t value);
// A block read of count (1-125) consecutive registers from address.
RequestFrame BuildBlockRead(int station, uint16_t address, int count);
// Registers a read request asks for; 0 for anything else.
int ReadCount(const RequestFrame& request);

// Length of the reply a request expects: 5 + 2 per register for a read, 8 for a write, 0 for
// anything else.
size_t ExpectedReplyLength(const RequestFrame& request);

struct Evaluation {
    int error = 0;       // CommError
    uint16_t value = 0;  // the first register
};

// Register i (0-based) of an accepted read reply.
inline uint16_t ReplyRegister(std::span<const uint8_t> reply, size_t i)
{
    return static_cast<uint16_t>(reply[3 + 2 * i] << 8 | reply[4 + 2 * i]);
}

// True for five bytes that are the request's station, its function with bit 7 set, an exception
// code and a valid CRC.
bool IsExceptionReply(std::span<const uint8_t> reply, const RequestFrame& request);

// Judges a complete reply (ExpectedReplyLength bytes, or an exception reply) against its request.
// An exception reply gives ModbusExceptionError(code).
Evaluation Evaluate(std::span<const uint8_t> reply, const RequestFrame& request);

// Collects a reply of the expected length, or an exception reply as soon as its five bytes are
// in. Bytes arriving with no expectation are discarded.
class ReplyReceiver {
public:
    static constexpr size_t kCapacity = 5 + 2 * kMaxBlockRead;

    void Expect(const RequestFrame& request);
    void Reset() { m_position = 0; }
    // True when the byte completed the reply; Frame() then holds it until the next byte.
    bool Feed(uint8_t byte);
    std::span<const uint8_t> Frame() const { return {m_buffer.data(), m_length}; }
    size_t Expected() const { return m_expected; }

private:
    std::array<uint8_t, kCapacity> m_buffer{};
    size_t m_position = 0;
    size_t m_expected = 0;
    size_t m_length = 0;
    RequestFrame m_request{};
};

// Slave side: a request with a valid CRC.
struct Request {
    int station = 0;
    int function = 0;
    uint16_t reg = 0;    // wire register (address - 1)
    uint16_t value = 0;  // count for a read, value for a write
};

std::optional<Request> ParseRequest(std::span<const uint8_t> frame);
std::vector<uint8_t> BuildReadReply(int station, uint16_t value);
std::vector<uint8_t> BuildWriteReply(int station, uint16_t reg, uint16_t value);
std::vector<uint8_t> BuildException(int station, int function, int code);

}  // namespace vm::modbus
