#pragma once
// How consecutive Modbus reads are framed: a run of consecutive register addresses goes out as
// one function-4 request with a count, up to a settable maximum. Per station, the first block
// read a drive refuses (exception 1, 2 or 3) or leaves unanswered turns block reads off for it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace vm {

inline constexpr int kDefaultBlockReadMax = 16;

// Length of the run of consecutive addresses starting at addresses[from], at most max long
// (at least 1 while from is inside the list).
size_t ConsecutiveRun(std::span<const uint16_t> addresses, size_t from, int max);

// True when a failed block read tells that the drive does not take them: an illegal function,
// address or value exception, or no answer at all.
bool BlockReadRefused(int error);

enum class BlockReadUse { Off, On, Refused };

// Block-read state per station; On for every station while block reads are enabled, until a
// station refuses one.
class BlockReadTable {
public:
    static constexpr int kStations = 256;

    void Configure(bool enabled, int max);
    bool Enabled() const { return enabled_; }
    int Max() const { return max_; }
    BlockReadUse Use(int station) const;
    // The registers the next read of station may take; 1 when block reads are off for it.
    int Limit(int station) const { return Use(station) == BlockReadUse::On ? max_ : 1; }
    void Refuse(int station);

private:
    bool enabled_ = false;
    int max_ = kDefaultBlockReadMax;
    std::array<bool, kStations> refused_{};
};

}  // namespace vm
