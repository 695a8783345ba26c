#include "comm/ModbusRtu.h"

#include "comm/CommReply.h"

#include <algorithm>

namespace vm::modbus {
namespace {

RequestFrame Build(int station, uint8_t function, uint16_t address, uint16_t word)
{
    const uint16_t reg = static_cast<uint16_t>(address - 1);
    RequestFrame f{static_cast<uint8_t>(station),
                   function,
                   static_cast<uint8_t>(reg >> 8),
                   static_cast<uint8_t>(reg & 0xFF),
                   static_cast<uint8_t>(word >> 8),
                   static_cast<uint8_t>(word & 0xFF),
                   0,
                   0};
    uint16_t crc = Crc16(std::span<const uint8_t>(f.data(), 6));
    f[6] = static_cast<uint8_t>(crc & 0xFF);
    f[7] = static_cast<uint8_t>(crc >> 8);
    return f;
}

}  // namespace

bool CrcMatches(std::span<const uint8_t> frame)
{
    if (frame.size() < 3)
        return false;
    uint16_t crc = Crc16(frame.first(frame.size() - 2));
    return frame[frame.size() - 2] == (crc & 0xFF) && frame[frame.size() - 1] == (crc >> 8);
}

uint16_t Crc16(std::span<const uint8_t> bytes)
{
    uint16_t crc = 0xFFFF;
    for (uint8_t b : bytes) {
        crc ^= b;
        for (int i = 0; i < 8; ++i)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
    }
    return crc;
}

void AppendCrc(std::vector<uint8_t>& frame)
{
    uint16_t crc = Crc16(frame);
    frame.push_back(static_cast<uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
}

RequestFrame BuildRead(int station, uint16_t address)
{
    return Build(station, kReadInput, address, 1);
}

RequestFrame BuildBlockRead(int station, uint16_t address, int count)
{
    return Build(station, kReadInput, address, static_cast<uint16_t>(std::clamp(count, 1, kMaxBlockRead)));
}

int ReadCount(const RequestFrame& request)
{
    return request[1] == kReadInput ? (request[4] << 8 | request[5]) : 0;
}

RequestFrame BuildWrite(int station, uint16_t address, uint16_t value)
{
    return Build(station, kWriteSingle, address, value);
}

size_t ExpectedReplyLength(const RequestFrame& request)
{
    switch (request[1]) {
    case kReadInput: {
        const int count = ReadCount(request);
        return count >= 1 && count <= kMaxBlockRead ? 5 + 2 * static_cast<size_t>(count) : 0;
    }
    case kWriteSingle:
        return 8;
    default:
        return 0;
    }
}

bool IsExceptionReply(std::span<const uint8_t> reply, const RequestFrame& request)
{
    return reply.size() == kExceptionLength && reply[0] == request[0] &&
           reply[1] == (request[1] | kExceptionBit) && CrcMatches(reply);
}

Evaluation Evaluate(std::span<const uint8_t> reply, const RequestFrame& request)
{
    Evaluation result;
    if (ExpectedReplyLength(request) != 0 && IsExceptionReply(reply, request)) {
        result.error = ModbusExceptionError(reply[2]);
        return result;
    }
    const size_t n = ExpectedReplyLength(request);
    if (n == 0 || reply.size() != n) {
        result.error = kFrameError;
        return result;
    }
    if (reply[1] > 0x80) {
        result.error = kFrameError;
        return result;
    }
    if (!CrcMatches(reply)) {
        result.error = kCrcError;
        return result;
    }
    if (reply[0] != request[0] || reply[1] != request[1]) {
        result.error = kFrameError;
        return result;
    }
    if (request[1] == kReadInput) {
        if (reply[2] != 2 * ReadCount(request))
            result.error = kFrameError;
        else
            result.value = static_cast<uint16_t>(reply[3] << 8 | reply[4]);
    } else {
        if (reply[2] != request[2] || reply[3] != request[3])
            result.error = kFrameError;
        else
            result.value = static_cast<uint16_t>(reply[4] << 8 | reply[5]);
    }
    return result;
}

void ReplyReceiver::Expect(const RequestFrame& request)
{
    m_expected = ExpectedReplyLength(request);
    m_request = request;
    m_position = 0;
    m_length = 0;
}

bool ReplyReceiver::Feed(uint8_t byte)
{
    if (m_expected == 0 || m_expected > kCapacity)
        return false;
    m_length = 0;
    m_buffer[m_position] = byte;
    // The drive refused the request: its short answer is complete already.
    if (m_position + 1 == kExceptionLength &&
        IsExceptionReply(std::span<const uint8_t>(m_buffer.data(), kExceptionLength), m_request)) {
        m_length = kExceptionLength;
        m_position = 0;
        return true;
    }
    if (m_position + 1 < m_expected) {
        ++m_position;
        return false;
    }
    m_length = m_expected;
    m_position = 0;
    return true;
}

std::optional<Request> ParseRequest(std::span<const uint8_t> frame)
{
    if (frame.size() != 8 || !CrcMatches(frame))
        return std::nullopt;
    Request r;
    r.station = frame[0];
    r.function = frame[1];
    r.reg = static_cast<uint16_t>(frame[2] << 8 | frame[3]);
    r.value = static_cast<uint16_t>(frame[4] << 8 | frame[5]);
    return r;
}

std::vector<uint8_t> BuildReadReply(int station, uint16_t value)
{
    std::vector<uint8_t> f{static_cast<uint8_t>(station), kReadInput, 2, static_cast<uint8_t>(value >> 8),
                           static_cast<uint8_t>(value & 0xFF)};
    AppendCrc(f);
    return f;
}

std::vector<uint8_t> BuildWriteReply(int station, uint16_t reg, uint16_t value)
{
    std::vector<uint8_t> f{static_cast<uint8_t>(station),    kWriteSingle,
                           static_cast<uint8_t>(reg >> 8),   static_cast<uint8_t>(reg & 0xFF),
                           static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value & 0xFF)};
    AppendCrc(f);
    return f;
}

std::vector<uint8_t> BuildException(int station, int function, int code)
{
    std::vector<uint8_t> f{static_cast<uint8_t>(station), static_cast<uint8_t>(function | 0x80),
                           static_cast<uint8_t>(code)};
    AppendCrc(f);
    return f;
}

}  // namespace vm::modbus
