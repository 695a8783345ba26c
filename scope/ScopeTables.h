#pragma once
// The fixed choices of the graph monitor: time spans, scan and record periods, offsets and
// values per division, and the limits every stored index is clamped to.

#include <array>
#include <cstddef>
#include <cstdint>

namespace vm::scope {

inline constexpr int kChannelCount = 4;
inline constexpr uint16_t kNoAddress = 0xFFFF;
inline constexpr int kNoModel = 255;
inline constexpr int kPostTriggerSamples = 10;
inline constexpr int kMaxPostTriggerSamples = 36000;

inline constexpr std::array<int, 16> kSpanSeconds{10,  20,  30,  40,   50,   60,   120,  180,
                                                  240, 300, 600, 1200, 1800, 2400, 3000, 3600};
inline constexpr std::array<int, 8> kScanMs{100, 200, 500, 1000, 2000, 3000, 4000, 5000};
inline constexpr std::array<int, 19> kRecordSeconds{1,   2,   5,   10,  20,   30,   40,   50,   60,  120,
                                                    180, 240, 300, 600, 1200, 1800, 2400, 3000, 3600};
inline constexpr std::array<double, 17> kOffsets{100, 50, 40,  30,  20,  10,  5,   1,   0,
                                                 -1,  -5, -10, -20, -30, -40, -50, -100};
inline constexpr std::array<double, 15> kDivisions{0.01, 0.02, 0.05, 0.1, 0.5, 1,   2,   5,
                                                   10,   20,   50,   100, 200, 500, 1000};

inline constexpr const char* kSpanTexts[16] = {"10 sec", "20 sec", "30 sec", "40 sec", "50 sec", "1 min",
                                               "2 min",  "3 min",  "4 min",  "5 min",  "10 min", "20 min",
                                               "30 min", "40 min", "50 min", "1 hour"};
inline constexpr const char* kScanTexts[8] = {"0.1 sec", "0.2 sec", "0.5 sec", "1 sec",
                                              "2 sec",   "3 sec",   "4 sec",   "5 sec"};
// The record period list as shown: one line per sample first, then the fixed periods in the
// order of kRecordSeconds.
inline constexpr const char* kRecordTexts[20] = {
    "Scan period", "1 sec", "2 sec", "5 sec", "10 sec", "20 sec", "30 sec", "40 sec", "50 sec", "1 min",
    "2 min",       "3 min", "4 min", "5 min", "10 min", "20 min", "30 min", "40 min", "50 min", "1 hour"};

inline constexpr int kDefaultOffsetIndex = 8;    // 0
inline constexpr int kDefaultDivisionIndex = 5;  // 1 per division

constexpr bool InRange(int value, int size)
{
    return value >= 0 && value < size;
}

// Stored record indices 0-18 are kRecordSeconds; one line per sample came later and is stored
// as 19 so that older settings keep their period. The list shows it first.
inline constexpr int kRecordEachSample = static_cast<int>(kRecordSeconds.size());
inline constexpr int kRecordChoices = kRecordEachSample + 1;

constexpr int RecordListRow(int index)
{
    return index == kRecordEachSample ? 0 : index + 1;
}

constexpr int RecordIndexOfRow(int row)
{
    return row == 0 ? kRecordEachSample : row - 1;
}

// Milliseconds between record lines; 0 for one line per sample.
constexpr int RecordPeriodMs(int index)
{
    return InRange(index, static_cast<int>(kRecordSeconds.size()))
               ? kRecordSeconds[static_cast<std::size_t>(index)] * 1000
               : 0;
}

}  // namespace vm::scope
