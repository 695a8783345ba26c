#include "scope/ScopeRules.h"

#include "catalogue/Models.h"
#include "catalogue/Registers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vm::scope {

namespace {

constexpr uint16_t kRpm = 21;
constexpr uint16_t kAnalog1 = 18, kAnalog2 = 19, kAnalog3 = 20;

bool SignedOnModel5(uint16_t a)
{
    return a == kRpm || (a >= 31 && a <= 34) || (a >= 36 && a <= 38) || (a >= 1285 && a <= 1289) ||
           a == 1291 || a == 1292;
}

double Round2(double x)
{
    return std::floor(x * 100.0 + 0.5) * 0.01;
}

}  // namespace

bool SignedSpeed(uint16_t a)
{
    return a == reg::kFreqCommand || a == reg::kSpeed || a == kRpm;
}

bool SpeedDisplay(uint16_t address, int model, int32_t value26)
{
    return address == reg::kSpeed && model != kModelQmC20 && value26 != 0;
}

double GraphValue(const MonitorItem& item, uint32_t raw, int model, int32_t value26)
{
    const uint16_t a = item.address;
    const uint32_t r = raw & 0xFFFF;
    const double s = item.scale != 0 ? item.scale : 1;
    const double asSigned = static_cast<int16_t>(r);
    if (a == reg::kSpeed) {
        // In speed display the drive reports rpm directly; plot what the keypad shows.
        if (SpeedDisplay(a, model, value26))
            return r;
        return r / s;
    }
    if (a == reg::kFault)
        return r != 0 ? 1.0 : 0.0;
    if (a == kAnalog1 || a == kAnalog2 || a == kAnalog3) {
        if (model == kModelQmC20)
            return 0.0;
        const double full = model == kModelQmB20X ? 1023.0 : model == kModelQmF20X ? 4095.0 : 65472.0;
        double span = 10.0;
        if (a == kAnalog3)
            span = 20.0;
        else if (model == kModelQmF20X)
            span = 15.0;
        double v = r * span / full;
        if (a == kAnalog2 && model == kModelQmB20X)
            v = -v;
        return Round2(v);
    }
    if (model == kModelQmC20 && SignedOnModel5(a))
        return asSigned / s;
    return (item.minimum < 0 ? asSigned : static_cast<double>(r)) / s;
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
        return Step::kNothing;
    Step step = Step::kNothing;
    if (ready && real) {
        if (first_) {
            first_ = false;
        } else {
            const bool hit = edge_ == Edge::kRising ? (previous_ < level_ && level_ <= value)
                                                    : (previous_ > level_ && level_ >= value);
            if (hit) {
                step = occurred_ ? Step::kNothing : Step::kFired;
                occurred_ = true;
                point_ = point;
            }
        }
        previous_ = value;
    }
    if (occurred_ && ++postCount_ > post_)
        return Step::kStop;
    return step;
}

}  // namespace vm::scope
