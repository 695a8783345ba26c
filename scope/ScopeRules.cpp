#include "scope/ScopeRules.h"

#include "catalogue/Models.h"
#include "catalogue/MonitoredValue.h"
#include "catalogue/Registers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vm::scope {

bool SignedSpeed(uint16_t a)
{
    return a == reg::kFreqCommand || a == reg::kSpeed || a == reg::kRpm;
}

bool SpeedDisplay(uint16_t address, int model, int32_t value26)
{
    return IsSpeedDisplay(address, model, value26);
}

double GraphValue(const MonitorItem& item, uint32_t raw, int model, int32_t value26)
{
    // The graph's set offers no acceleration or deceleration times: the item's own scale stands in
    // for the time scale, so that nothing but the item decides.
    return ConvertMonitored(item, raw, model, item.scale, value26, ValueView::Graph).value;
}

std::string LegendName(const std::string& itemName)
{
    std::string name = itemName;
    const size_t paren = name.find('(');
    if (paren != std::string::npos && paren != 0)
        name.erase(paren);
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    return name;
}

std::string ValueLabel(double value, const std::string& unit)
{
    char text[96];
    std::snprintf(text, sizeof text, "%.02f %s", value, unit.c_str());
    return text;
}

double PlotValue(double value, int offsetIndex, int divisionIndex)
{
    return value / kDivisions.at(static_cast<size_t>(divisionIndex)) +
           kOffsets.at(static_cast<size_t>(offsetIndex));
}

double CursorValue(double plotted, int offsetIndex, int divisionIndex)
{
    return (plotted - kOffsets.at(static_cast<size_t>(offsetIndex))) *
           kDivisions.at(static_cast<size_t>(divisionIndex));
}

double ForcedLevel(const MonitorItem* item, uint16_t address, double typed)
{
    if ((item && item->bitItem) || address == reg::kFault)
        return typed >= 1.0 ? 1.0 : 0.0;
    return typed;
}

void LevelTrigger::Arm(int channel, Edge edge, double level, int post)
{
    post_ = std::clamp(post, 1, kMaxPostTriggerSamples);
    channel_ = std::clamp(channel, 0, kChannelCount - 1);
    edge_ = edge;
    level_ = level;
    Reset();
    running_ = true;
}

void LevelTrigger::Reset()
{
    occurred_ = false;
    first_ = true;
    previous_ = 0.0;
    point_ = 0;
    postCount_ = 0;
}

LevelTrigger::Step LevelTrigger::OnSample(bool ready, bool real, double value, int point)
{
    if (!running_)
        return Step::Nothing;
    Step step = Step::Nothing;
    if (ready && real) {
        if (first_) {
            first_ = false;
        } else {
            const bool hit = edge_ == Edge::Rising ? (previous_ < level_ && level_ <= value)
                                                   : (previous_ > level_ && level_ >= value);
            if (hit) {
                step = occurred_ ? Step::Nothing : Step::Fired;
                occurred_ = true;
                point_ = point;
            }
        }
        previous_ = value;
    }
    if (occurred_ && ++postCount_ > post_)
        return Step::Stop;
    return step;
}

}  // namespace vm::scope
