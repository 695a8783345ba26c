#pragma once
// The simulated RS-485 line: the stations on it, the slave side of both protocols and the
// faults injected into the replies. Pure logic: bytes and the simulator's clock go in, bytes
// due at a given time come out, so tests run it without a device.

#include "tools/sim/SimDrive.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vm::sim {

enum class Protocol { Kx485, Modbus, Auto };

struct LineFaults {
    double dropRate = 0;     // share of replies never sent
    double corruptRate = 0;  // share of replies sent with a bad checksum or CRC
    int delayMs = 0;         // reply latency
    bool echo = false;       // two-wire line: the master hears its own frames
    uint64_t seed = 1;
    bool refuseBlocks = false;  // Modbus reads of more than one register get exception 1
};

struct LineCounters {
    uint64_t requests = 0;  // complete frames for a station on the line
    uint64_t replies = 0;   // replies sent (corrupted ones included)
    uint64_t dropped = 0;
    uint64_t corrupted = 0;
    uint64_t discarded = 0;  // bytes thrown away while looking for a frame
};

class SimLine {
public:
    // An unfinished Modbus frame is dropped after this much silence on the line.
    static constexpr int64_t kFrameGapMs = 20;

    SimLine(Protocol protocol, const LineFaults& faults);

    // Adds a station; nullptr when the ID is outside 1-255 or taken.
    SimDrive* AddStation(const DriveIdentity& identity, const std::vector<ParamRegister>& params);
    SimDrive* Station(int id);
    std::vector<int> StationIds() const;

    // Bytes from the master, received at nowMs on the simulator's clock.
    void Receive(std::span<const uint8_t> bytes, int64_t nowMs);
    // Lets the drives run up to nowMs.
    void AdvanceTo(int64_t nowMs);
    // Output due at or before nowMs, in order.
    std::vector<uint8_t> TakeDue(int64_t nowMs);
    // When the newest output taken by TakeDue fell due (0 before any).
    int64_t LastTakenDue() const { return lastTakenDue_; }
    // When the next output falls due.
    std::optional<int64_t> NextDue() const;

    // One console command ("trip 3 0", "set 2 5 3000", ...). The text is "ok" or "error: ...";
    // "counters" answers "ok requests N replies N dropped N corrupted N".
    struct CommandResult {
        std::string text;
        bool quit = false;
    };
    CommandResult Command(std::string_view line, int64_t nowMs);

    const LineCounters& Counters() const { return counters_; }

private:
    enum class Step { NeedMore, Skip, Frame };
    struct Found {
        Step step = Step::NeedMore;
        size_t length = 0;
        bool kx485 = false;
    };
    struct Pending {
        int64_t due;
        std::vector<uint8_t> bytes;
    };

    Found FindFrame() const;
    Found FindKx485() const;
    Found FindModbus() const;
    void HandleKx485(std::span<const uint8_t> frame);
    void HandleModbus(std::span<const uint8_t> frame);
    void Reply(std::vector<uint8_t> bytes, bool kx485);
    void Schedule(int64_t due, std::vector<uint8_t> bytes);
    bool Chance(double rate);
    bool RefusesBlocks(int station) const;
    SimDrive* Listening(int station);

    Protocol protocol_;
    LineFaults faults_;
    std::mt19937_64 random_;
    std::map<int, std::unique_ptr<SimDrive>> stations_;
    std::map<int, std::vector<uint16_t>> registered_;  // KX485 'X' address lists per station
    std::map<int, bool> refuseBlocks_;                 // per station, over faults_.refuseBlocks
    std::vector<uint8_t> rx_;
    int64_t lastRxMs_ = 0;
    int64_t nowMs_ = 0;
    int64_t advancedMs_ = 0;
    std::vector<Pending> pending_;
    LineCounters counters_;
    int64_t lastTakenDue_ = 0;
};

}  // namespace vm::sim
