#pragma once
#include <array>
#include <cstdint>

namespace vm {

// Communication error codes. 1-14 mean an attempt failed and will be repeated; 100 means every
// attempt failed (the failing attempt's code is then in CommReply::lastError). 200 + n is a Modbus
// exception reply with exception code n: the drive's final answer, never repeated.
enum CommError : int {
    kNoError = 0,
    kFrameError = 1,
    kSumError = 2,
    kNakError = 3,
    kTimeoutError = 4,
    kIllegalFunction = 5,
    kAddressRangeError = 6,
    kDataRangeError = 7,
    kWriteModeError = 8,
    kDpramTimeoutError = 9,
    kDpramOfflineError = 10,
    kCrcError = 11,
    kSlaveDeviceError = 12,
    kModbusExceptionCode = 13,
    kUndefinedError = 14,
    kGiveUp = 100,
    kModbusExceptionBase = 200,  // 200-455: exception code 0-255
};

inline constexpr int ModbusExceptionError(int exceptionCode)
{
    return kModbusExceptionBase + (exceptionCode & 0xFF);
}
inline constexpr bool IsModbusException(int error)
{
    return error >= kModbusExceptionBase && error <= kModbusExceptionBase + 0xFF;
}
// The exception code carried by an error, -1 when the error is no exception.
inline constexpr int ModbusExceptionCode(int error)
{
    return IsModbusException(error) ? error - kModbusExceptionBase : -1;
}
// True for the last notification of a transaction: success, give-up or a drive's exception.
inline constexpr bool IsFinalError(int error)
{
    return error == kNoError || error == kGiveUp || IsModbusException(error);
}

// Protocol modes as stored in the settings.
inline constexpr int kModbusRtu = 0;
inline constexpr int kKx485 = 1;

// The transaction now on the line, handed to clients for the duration of one notification.
// A Modbus block read carries up to 125 registers; KX485 at most eight.
inline constexpr int kMaxReplyValues = 125;

struct CommReply {
    int station = 0;
    int count = 0;  // valid entries in addresses/values
    std::array<uint32_t, kMaxReplyValues> addresses{};
    std::array<uint32_t, kMaxReplyValues> values{};  // 16-bit register contents; valid when error == 0
    int command = 'R';                               // 'R', 'W', 'X' or 'Y'
    int error = kNoError;
    int retries = 0;           // failed attempts so far
    int lastError = kNoError;  // with error 100: the final attempt's error
};

// The final reply of a probe (a single short attempt) that was not met by silence: something
// answered at that ID, if garbled, and deserves the full time-out and repetitions.
inline constexpr bool ProbeHeardSomething(const CommReply& reply)
{
    return reply.error == kGiveUp && reply.lastError != kTimeoutError;
}

}  // namespace vm
