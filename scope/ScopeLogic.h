#pragma once
// What the graph monitor decides, free of widgets: the four channels and when they are ready, the
// registrations a configuration needs, the conversion of monitored raw values into plotted
// values, the reverse-direction sign, the level trigger and its post-trigger count. The view
// feeds it notifications and sample ticks and draws what it returns.

#include "catalogue/MonitorItems.h"
#include "catalogue/StationRecord.h"
#include "comm/CommReply.h"
#include "scope/ChannelSettings.h"
#include "scope/ScopeTables.h"

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace vm::scope {

// A channel's page choices and what monitoring learns of it.
struct ScopeChannel : ChannelSettings {
    int model = kNoModel;  // as kept in a scope file
    int version = 0;
    std::vector<MonitorItem> items;
    double value = 0.0;
    bool fresh = false;  // a real value arrived since monitoring started

    // The item at the address index, or nothing when the index is outside the list.
    const MonitorItem* Item() const;
};

// Model 10 speeds shown in rpm: address 10 on a station whose model is not 5 with address 26 set.
bool SpeedDisplay(uint16_t address, int model, int32_t value26);

// The value a monitored raw register is plotted as (before offset and division).
double GraphValue(const MonitorItem& item, uint32_t raw, int model, int32_t value26);

// The name shown in the legend: the item name cut before its first "(", trailing blanks removed.
std::string LegendName(const std::string& itemName);

// "%.02f %s".
std::string ValueLabel(double value, const std::string& unit);

double PlotValue(double value, int offsetIndex, int divisionIndex);
// The inverse of PlotValue, for the cursor read-out.
double CursorValue(double plotted, int offsetIndex, int divisionIndex);

// Bit items and the fault word only cross 0 or 1: any typed level at or above 1 becomes 1.
double ForcedLevel(const MonitorItem* item, uint16_t address, double typed);

// Level trigger on one channel: both edges fire at exact equality with the level, a later crossing
// moves the trigger point, and monitoring stops after the tenth sample following the trigger.
class LevelTrigger {
public:
    enum class Edge { kRising = 0, kFalling = 1 };
    enum class Step { kNothing, kFired, kStop };

    void Arm(int channel, Edge edge, double level);
    void Disarm() { running_ = false; }
    // Everything except channel, edge and level back to the state before the first sample.
    void Reset();

    // One sample tick. `real` is false until the channel has received a value from its drive:
    // such samples neither prime nor fire the trigger.
    Step OnSample(bool ready, bool real, double value, int point);

    bool Running() const { return running_; }
    bool Occurred() const { return occurred_; }
    int Channel() const { return channel_; }
    Edge EdgeKind() const { return edge_; }
    double Level() const { return level_; }
    int Point() const { return point_; }
    int PostCount() const { return postCount_; }

private:
    bool running_ = false;
    int channel_ = 0;
    Edge edge_ = Edge::kRising;
    double level_ = 0.0;
    bool occurred_ = false;
    bool first_ = true;
    double previous_ = 0.0;
    int point_ = 0;
    int postCount_ = 0;
};

using RecordLookup = std::function<const StationRecord&(int station)>;

class ScopeLogic {
public:
    explicit ScopeLogic(RecordLookup records) : records_(std::move(records)) {}

    std::array<ScopeChannel, kChannelCount> channels;
    LevelTrigger trigger;
    bool monitoring = false;

    bool Ready(int channel) const;
    bool AnyReady() const;

    // Station -> addresses to monitor for the ready channels. Beside the channel's address: the
    // second fault word with the first on model 10 from version 21, and the status word for the
    // signed speeds, so that graph watch mode cannot freeze the direction.
    std::map<int, std::vector<uint16_t>> Registrations() const;

    // Start Monitor: every value 0, no channel has a real value yet, the station copies forgotten.
    void ResetValues();

    // A monitor notification of one station.
    void OnMonitor(int station, const CommReply& reply);

    // The unit of a channel's data label ("rpm" in speed display).
    std::string Unit(int channel) const;

    struct Sample {
        std::array<double, kChannelCount> plotted{};
        std::array<std::string, kChannelCount> labels;
        LevelTrigger::Step trigger = LevelTrigger::Step::kNothing;
    };
    // One sample tick at chart point `point`.
    Sample OnSample(int point);

    // The values a record line holds: converted values, 0 for channels that are not ready.
    std::array<double, kChannelCount> RecordValues() const;

private:
    struct StationCopy {
        bool statusKnown = false;
        int32_t status = 0;
        uint32_t fault = 0;
        uint32_t fault2 = 0;
    };
    int32_t Status(int station) const;

    RecordLookup records_;
    std::map<int, StationCopy> copies_;
};

}  // namespace vm::scope
