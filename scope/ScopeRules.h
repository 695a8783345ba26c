#pragma once
// The graph monitor's fixed rules, free of state: converting a monitored raw value into the
// value it is plotted as, the legend name, the data label, the plotting rule and its inverse,
// the forced trigger level of bit items, and the level trigger with its post-trigger count.

#include "catalogue/MonitorItems.h"
#include "scope/ScopeTables.h"

#include <cstdint>
#include <string>

namespace vm::scope {

// Frequency command, speed and rpm: negative while the drive runs in reverse.
bool SignedSpeed(uint16_t address);

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
    enum class Edge { Rising = 0, Falling = 1 };
    enum class Step { Nothing, Fired, Stop };

    // `post`: samples taken after the triggering one before monitoring stops.
    void Arm(int channel, Edge edge, double level, int post = kPostTriggerSamples);
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
    Edge edge_ = Edge::Rising;
    double level_ = 0.0;
    bool occurred_ = false;
    bool first_ = true;
    double previous_ = 0.0;
    int point_ = 0;
    int postCount_ = 0;
    int post_ = kPostTriggerSamples;
};

}  // namespace vm::scope
