#pragma once
// The main window's picture of one station on the line. 288 of them: index = station ID for
// 0-255, 256-287 are the offline parameter editor slots.

#include <cstdint>
#include <memory>

namespace vm {

class ParameterData;

inline constexpr int kStationRecordCount = 288;
inline constexpr int kFirstOfflineSlot = 256;

struct StationRecord {
    int32_t station = 0;                       // the index; survives Reset()
    int32_t present = 0;                       // answered the identification
    int32_t connected = 0;                     // present, supported, registered for monitoring
    int32_t faultWatch = 0;                    // fault word registered for monitoring
    int32_t model = 0;                         // register 0x0000
    int32_t capacity = 0;                      // register 0x0001 (adjusted for model 7)
    int32_t voltage = 0;                       // register 0x0002: 0 = 200 V class, else 400 V class
    int32_t version = 0;                       // register 0x0003
    int32_t freqCommand = 0;                   // address 5
    int32_t speed = 0;                         // address 10, or 32 for model 5
    int32_t current = 0;                       // address 9
    int32_t runCommand = 0;                    // address 6
    int32_t status = 0;                        // address 14
    int32_t prevStatus = 0;                    // status word before the latest change was handled
    int32_t fault = 0;                         // address 15
    int32_t fault2 = 0;                        // address 29 (model 10 from version 0x0015)
    int32_t value26 = 0;                       // address 26: non-zero shows speeds in rpm
    int32_t value27 = 0;                       // address 27: motor pole count
    int32_t value34 = 0;                       // address 34
    int32_t timeScale = 0;                     // 100, 10 or 1 (10 until read)
    std::shared_ptr<ParameterData> paramData;  // owned; shared_ptr so this header needs no full type

    // Clears every field except the station ID; the parameter data is freed first.
    void Reset()
    {
        paramData.reset();
        const int32_t id = station;
        *this = StationRecord{};
        station = id;
    }
};

}  // namespace vm
