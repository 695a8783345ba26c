#include "scope/ScopeLogic.h"

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

double Round2(double x) { return std::floor(x * 100.0 + 0.5) * 0.01; }

bool SignedSpeed(uint16_t a) { return a == reg::kFreqCommand || a == reg::kSpeed || a == kRpm; }

}  // namespace

const MonitorItem* ScopeChannel::Item() const
{
    if (addressIndex < 0 || static_cast<size_t>(addressIndex) >= items.size())
        return nullptr;
    return &items[static_cast<size_t>(addressIndex)];
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
    return value / kDivisions.at(static_cast<size_t>(divisionIndex)) + kOffsets.at(static_cast<size_t>(offsetIndex));
}

double CursorValue(double plotted, int offsetIndex, int divisionIndex)
{
    return (plotted - kOffsets.at(static_cast<size_t>(offsetIndex))) * kDivisions.at(static_cast<size_t>(divisionIndex));
}

double ForcedLevel(const MonitorItem* item, uint16_t address, double typed)
{
    if ((item && item->bitItem) || address == reg::kFault)
        return typed >= 1.0 ? 1.0 : 0.0;
    return typed;
}

void LevelTrigger::Arm(int channel, Edge edge, double level)
{
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
    if (occurred_ && ++postCount_ > kPostTriggerSamples)
        return Step::kStop;
    return step;
}

bool ScopeLogic::Ready(int i) const
{
    const ScopeChannel& c = channels.at(static_cast<size_t>(i));
    return monitoring && c.on && c.station != 0 && c.address != kNoAddress;
}

bool ScopeLogic::AnyReady() const
{
    for (int i = 0; i < kChannelCount; ++i)
        if (Ready(i))
            return true;
    return false;
}

std::map<int, std::vector<uint16_t>> ScopeLogic::Registrations() const
{
    std::map<int, std::vector<uint16_t>> out;
    for (int i = 0; i < kChannelCount; ++i) {
        if (!Ready(i))
            continue;
        const ScopeChannel& c = channels[static_cast<size_t>(i)];
        std::vector<uint16_t>& list = out[c.station];
        list.push_back(c.address);
        const StationRecord& r = records_(c.station);
        if (c.address == reg::kFault && r.model == kModelQmB20X && r.version > 20)
            list.push_back(reg::kFault2);
        if (SignedSpeed(c.address))
            list.push_back(reg::kStatus);
    }
    return out;
}

void ScopeLogic::ResetValues()
{
    for (ScopeChannel& c : channels) {
        c.value = 0.0;
        c.fresh = false;
    }
    copies_.clear();
}

int32_t ScopeLogic::Status(int station) const
{
    const auto it = copies_.find(station);
    if (it != copies_.end() && it->second.statusKnown)
        return it->second.status;
    return records_(station).status;
}

void ScopeLogic::OnMonitor(int station, const CommReply& reply)
{
    if (reply.error == kGiveUp) {
        for (int j = 0; j < kChannelCount; ++j)
            if (channels[static_cast<size_t>(j)].station == station)
                channels[static_cast<size_t>(j)].value = 0.0;
        return;
    }
    if (reply.error != kNoError)
        return;
    const int count = std::clamp(reply.count, 0, static_cast<int>(reply.addresses.size()));
    StationCopy& copy = copies_[station];
    for (int e = 0; e < count; ++e) {
        const uint32_t a = reply.addresses[static_cast<size_t>(e)];
        const uint32_t v = reply.values[static_cast<size_t>(e)] & 0xFFFF;
        if (a == reg::kStatus) {
            copy.statusKnown = true;
            copy.status = static_cast<int32_t>(v);
        } else if (a == reg::kFault) {
            copy.fault = v;
        } else if (a == reg::kFault2) {
            copy.fault2 = v;
        }
    }
    const StationRecord& record = records_(station);
    for (int j = 0; j < kChannelCount; ++j) {
        ScopeChannel& c = channels[static_cast<size_t>(j)];
        if (!Ready(j)) {
            c.value = 0.0;
            continue;
        }
        if (c.station != station)
            continue;
        const MonitorItem* item = c.Item();
        for (int e = 0; e < count; ++e) {
            const uint32_t a = reply.addresses[static_cast<size_t>(e)];
            const uint32_t r = reply.values[static_cast<size_t>(e)] & 0xFFFF;
            const bool faultPair = c.address == reg::kFault && a == reg::kFault2;
            if (a != c.address && !faultPair)
                continue;
            double value = 0.0;
            if (c.address == reg::kFault) {
                // Either fault word tripped shows as 1; the second word must not hide the first.
                value = (copy.fault != 0 || copy.fault2 != 0) ? 1.0 : 0.0;
            } else if (item && item->bitItem) {
                value = (r >> item->bitIndex) & 1u ? 1.0 : 0.0;
            } else if (item) {
                value = GraphValue(*item, r, record.model, record.value26);
            } else {
                MonitorItem plain;
                plain.address = c.address;
                value = GraphValue(plain, r, record.model, record.value26);
            }
            if (SignedSpeed(c.address) && (Status(station) & reg::kStatusReverse))
                value = -value;
            c.value = value;
            c.fresh = true;
        }
    }
}

std::string ScopeLogic::Unit(int channel) const
{
    const ScopeChannel& c = channels.at(static_cast<size_t>(channel));
    if (c.station > 0 && c.station < 256) {
        const StationRecord& r = records_(c.station);
        if (SpeedDisplay(c.address, r.model, r.value26))
            return "rpm";
    }
    const MonitorItem* item = c.Item();
    return item ? item->unit : std::string();
}

ScopeLogic::Sample ScopeLogic::OnSample(int point)
{
    Sample s;
    for (int i = 0; i < kChannelCount; ++i) {
        const ScopeChannel& c = channels[static_cast<size_t>(i)];
        if (!Ready(i)) {
            s.plotted[static_cast<size_t>(i)] = c.value;
            continue;
        }
        s.labels[static_cast<size_t>(i)] = ValueLabel(c.value, Unit(i));
        s.plotted[static_cast<size_t>(i)] = PlotValue(c.value, c.offsetIndex, c.divisionIndex);
    }
    if (trigger.Running()) {
        const int t = trigger.Channel();
        const ScopeChannel& c = channels[static_cast<size_t>(t)];
        s.trigger = trigger.OnSample(Ready(t), c.fresh, c.value, point);
    }
    return s;
}

std::array<double, kChannelCount> ScopeLogic::RecordValues() const
{
    std::array<double, kChannelCount> v{};
    for (int i = 0; i < kChannelCount; ++i)
        v[static_cast<size_t>(i)] = Ready(i) ? channels[static_cast<size_t>(i)].value : 0.0;
    return v;
}

}  // namespace vm::scope
