#include "comm/Kx485.h"

#include "comm/CommReply.h"

#include <algorithm>
#include <cstdio>

namespace vm::kx485 {
namespace {

std::string Hex(unsigned value, int digits)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*X", digits, value);
    return buf;
}

std::span<const uint8_t> Bytes(std::string_view text)
{
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

}  // namespace

int HexDigit(uint8_t c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Parses n hex digits at bytes[pos]; -1 when any is not a digit.
long ParseHex(std::span<const uint8_t> bytes, size_t pos, size_t n)
{
    if (pos + n > bytes.size())
        return -1;
    long value = 0;
    for (size_t i = 0; i < n; ++i) {
        int d = HexDigit(bytes[pos + i]);
        if (d < 0)
            return -1;
        value = value * 16 + d;
    }
    return value;
}

uint8_t Checksum(std::span<const uint8_t> text)
{
    unsigned sum = 0;
    for (uint8_t c : text)
        sum += c;
    return static_cast<uint8_t>(sum & 0xFF);
}

uint8_t Checksum(std::string_view text)
{
    return Checksum(Bytes(text));
}

std::string BuildRead(int station, uint16_t address)
{
    return Hex(station & 0xFF, 2) + 'R' + Hex(address, 4) + '1';
}

std::string BuildWrite(int station, uint16_t address, uint32_t value)
{
    return Hex(station & 0xFF, 2) + 'W' + Hex(address, 4) + '1' + Hex(value & 0xFFFF, 4);
}

std::string BuildRegister(int station, std::span<const uint16_t> addresses)
{
    size_t n = std::min<size_t>(addresses.size(), kMaxWords);
    std::string text = Hex(station & 0xFF, 2) + 'X' + Hex(static_cast<unsigned>(n), 1);
    for (size_t i = 0; i < n; ++i)
        text += Hex(addresses[i], 4);
    return text;
}

std::string BuildExecute(int station)
{
    return Hex(station & 0xFF, 2) + 'Y';
}

std::string Frame(std::string_view text, uint8_t lead)
{
    std::string frame;
    frame.reserve(text.size() + 4);
    frame += static_cast<char>(lead);
    frame += text;
    frame += Hex(Checksum(text), 2);
    frame += static_cast<char>(kEot);
    return frame;
}

namespace {

struct NakCode {
    char a, b;
    int error;
};
constexpr NakCode kNakCodes[] = {
    {'I', 'F', kIllegalFunction},   {'I', 'A', kAddressRangeError}, {'I', 'D', kDataRangeError},
    {'W', 'M', kWriteModeError},    {'F', 'E', kFrameError},        {'T', 'O', kDpramTimeoutError},
    {'D', 'O', kDpramOfflineError},
};

}  // namespace

std::string NakLetters(int error)
{
    for (const NakCode& c : kNakCodes)
        if (c.error == error)
            return {c.a, c.b};
    return {};
}

int NakError(char first, char second)
{
    for (const NakCode& c : kNakCodes)
        if (c.a == first && c.b == second)
            return c.error;
    return kUndefinedError;
}

Evaluation Evaluate(std::span<const uint8_t> frame, const Expected& expected)
{
    Evaluation result;
    const size_t length = frame.size();
    // Lead, station (2), command, checksum (2) and EOT at the least.
    if (length < 7) {
        result.error = kFrameError;
        return result;
    }
    long sum = ParseHex(frame, length - 3, 2);
    if (sum < 0 || sum != Checksum(frame.subspan(1, length - 4))) {
        result.error = kSumError;
        return result;
    }
    // A frame the receiver cut at its capacity has lost its EOT; its checksum matched by chance.
    if (frame[length - 1] != kEot) {
        result.error = kFrameError;
        return result;
    }
    long station = ParseHex(frame, 1, 2);
    if (station != expected.station || frame[3] != static_cast<uint8_t>(expected.command)) {
        result.error = kFrameError;
        return result;
    }
    if (frame[0] == kNak) {
        result.nak = true;
        result.error = NakError(static_cast<char>(frame[4]), static_cast<char>(frame[5]));
        return result;
    }
    if (frame[0] != kAck) {
        // Passed checksum and echo but is no reply: our own request echoed by the converter.
        result.notReply = true;
        return result;
    }
    if (expected.command == 'X')
        return result;
    // The data field must be whole words, all hex, exactly as many as expected.
    const size_t dataBegin = 4, dataEnd = length - 3;
    const size_t chars = dataEnd - dataBegin;
    if (chars % 4 != 0 || chars / 4 != static_cast<size_t>(expected.words) || chars / 4 > kMaxWords) {
        result.error = kFrameError;
        return result;
    }
    for (size_t i = 0; i < chars / 4; ++i) {
        long word = ParseHex(frame, dataBegin + 4 * i, 4);
        if (word < 0) {
            result.error = kFrameError;
            result.count = 0;
            return result;
        }
        result.values[result.count++] = static_cast<uint16_t>(word);
    }
    return result;
}

bool FrameReceiver::Feed(uint8_t byte)
{
    bool start = m_side == Side::Master ? (byte == kAck || byte == kNak) : byte == kEnq;
    if (start)
        m_position = 0;
    if (m_position < kCapacity)
        m_buffer[m_position++] = byte;
    return byte == kEot;
}

std::optional<Request> ParseRequest(std::span<const uint8_t> frame, int* error)
{
    auto fail = [error](int e) -> std::optional<Request> {
        if (error)
            *error = e;
        return std::nullopt;
    };
    const size_t length = frame.size();
    if (length < 7 || frame[0] != kEnq || frame[length - 1] != kEot)
        return fail(kFrameError);
    long sum = ParseHex(frame, length - 3, 2);
    if (sum < 0 || sum != Checksum(frame.subspan(1, length - 4)))
        return fail(kSumError);
    Request request;
    long station = ParseHex(frame, 1, 2);
    if (station < 0)
        return fail(kFrameError);
    request.station = static_cast<int>(station);
    request.command = static_cast<char>(frame[3]);
    const size_t textLength = length - 4;  // lead byte excluded, checksum and EOT excluded
    switch (request.command) {
    case 'R':
    case 'W': {
        size_t want = request.command == 'R' ? 8 : 12;
        long address = ParseHex(frame, 4, 4);
        if (textLength != want || address < 0 || frame[8] != '1')
            return fail(kFrameError);
        request.address = static_cast<uint16_t>(address);
        if (request.command == 'W') {
            long value = ParseHex(frame, 9, 4);
            if (value < 0)
                return fail(kFrameError);
            request.value = static_cast<uint16_t>(value);
        }
        break;
    }
    case 'X': {
        long n = ParseHex(frame, 4, 1);
        if (n < 1 || n > kMaxWords || textLength != 4 + 4 * static_cast<size_t>(n))
            return fail(kFrameError);
        for (long i = 0; i < n; ++i) {
            long address = ParseHex(frame, 5 + 4 * static_cast<size_t>(i), 4);
            if (address < 0)
                return fail(kFrameError);
            request.addresses.push_back(static_cast<uint16_t>(address));
        }
        break;
    }
    case 'Y':
        if (textLength != 3)
            return fail(kFrameError);
        break;
    default:
        return fail(kFrameError);
    }
    if (error)
        *error = kNoError;
    return request;
}

std::string BuildAck(int station, char command, std::span<const uint16_t> words)
{
    std::string text = Hex(station & 0xFF, 2) + command;
    for (uint16_t w : words)
        text += Hex(w, 4);
    return Frame(text, kAck);
}

std::string BuildNak(int station, char command, std::string_view code)
{
    return Frame(Hex(station & 0xFF, 2) + command + std::string(code), kNak);
}

}  // namespace vm::kx485
