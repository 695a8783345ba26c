#pragma once
#include <array>
#include <cstdint>

namespace vm {

// Communication error codes. 1-14 mean an attempt failed and will be repeated; 100 means every
// attempt failed (the failing attempt's code is then in CommReply::lastError).
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
};

// Protocol modes as stored in the settings.
inline constexpr int kModbusRtu = 0;
inline constexpr int kKx485 = 1;

// The transaction now on the line, handed to clients for the duration of one notification.
struct CommReply {
    int station = 0;
    int count = 0;                           // valid entries in addresses/values (0-8)
    std::array<uint32_t, 8> addresses{};
    std::array<uint32_t, 8> values{};        // 16-bit register contents; valid when error == 0
    int command = 'R';                       // 'R', 'W', 'X' or 'Y'
    int error = kNoError;
    int retries = 0;                         // failed attempts so far
    int lastError = kNoError;                // with error 100: the final attempt's error
};

}  // namespace vm
