#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vm::kx485 {

inline constexpr uint8_t kEnq = 0x05;
inline constexpr uint8_t kAck = 0x06;
inline constexpr uint8_t kNak = 0x15;
inline constexpr uint8_t kEot = 0x04;
inline constexpr int kMaxWords = 8;

// Value of one hex digit (either case); -1 for any other byte.
int HexDigit(uint8_t c);
// Parses n hex digits at bytes[pos]; -1 when any is not a digit or the bytes end first.
long ParseHex(std::span<const uint8_t> bytes, size_t pos, size_t n);

// Low 8 bits of the sum of the characters (the text between the lead byte and the checksum).
uint8_t Checksum(std::span<const uint8_t> text);
uint8_t Checksum(std::string_view text);

// Request texts (without ENQ, checksum and EOT).
std::string BuildRead(int station, uint16_t address);
std::string BuildWrite(int station, uint16_t address, uint32_t value);
std::string BuildRegister(int station, std::span<const uint16_t> addresses);  // first eight only
std::string BuildExecute(int station);

// Complete frame: lead byte, text, two checksum digits, EOT.
std::string Frame(std::string_view text, uint8_t lead = kEnq);

// Error number for the two letters of a negative reply.
int NakError(char first, char second);
// The two letters of a negative reply for its error number; empty for an error no NAK carries.
std::string NakLetters(int error);

// What the transaction on the line expects back.
struct Expected {
    int station = 0;
    char command = 'R';
    int words = 1;  // 1 for R and W, the address count for Y, 0 for X
};

struct Evaluation {
    int error = 0;          // CommError
    bool notReply = false;  // frame is no reply (e.g. an echo of a request): ignore it
    bool nak = false;       // a well-formed negative reply; error holds its code
    int count = 0;          // data words parsed
    std::array<uint16_t, kMaxWords> values{};
};

// Judges one received frame (lead byte through EOT, as stored by a FrameReceiver).
Evaluation Evaluate(std::span<const uint8_t> frame, const Expected& expected);

// Collects a frame byte by byte in a 300-byte buffer. The master side restarts at ACK or NAK,
// the slave side at ENQ. Feed returns true when the byte was EOT (a frame to evaluate).
class FrameReceiver {
public:
    static constexpr size_t kCapacity = 300;
    enum class Side { Master, Slave };

    explicit FrameReceiver(Side side = Side::Master) : m_side(side) {}
    bool Feed(uint8_t byte);
    void Reset() { m_position = 0; }
    std::span<const uint8_t> Frame() const { return {m_buffer.data(), m_position}; }

private:
    Side m_side;
    std::array<uint8_t, kCapacity> m_buffer{};
    size_t m_position = 0;
};

// Slave side: a parsed request frame.
struct Request {
    int station = 0;
    char command = 0;                 // 'R', 'W', 'X' or 'Y'
    uint16_t address = 0;             // R, W
    uint16_t value = 0;               // W
    std::vector<uint16_t> addresses;  // X
};

// Parses ENQ ... EOT. On failure returns nothing and sets *error (2 checksum, 1 layout).
std::optional<Request> ParseRequest(std::span<const uint8_t> frame, int* error = nullptr);

// Slave replies, complete frames.
std::string BuildAck(int station, char command, std::span<const uint16_t> words = {});
std::string BuildNak(int station, char command, std::string_view code);

}  // namespace vm::kx485
