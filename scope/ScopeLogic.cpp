#include "scope/ScopeLogic.h"

#include "catalogue/Models.h"
#include "catalogue/Registers.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>
#include <limits>

namespace vm::scope {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kMsPerDay = 86400000.0;
constexpr int64_t kRateWindowMs = 5000;

// Day 0 of the chart's time axis; the axis holds the wall clock as shown.
QDateTime WallEpoch()
{
    return QDateTime(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC);
}

}  // namespace

const MonitorItem* ScopeChannel::Item() const
{
    if (addressIndex < 0 || static_cast<size_t>(addressIndex) >= items.size())
        return nullptr;
    return &items[static_cast<size_t>(addressIndex)];
}

ScopeLogic::ScopeLogic(RecordLookup records) : records_(std::move(records))
{}

// ---- channel setup ----------------------------------------------------------------------------

std::array<ChannelSettings, kChannelCount> ScopeLogic::Settings() const
{
    std::array<ChannelSettings, kChannelCount> out;
    for (int i = 0; i < kChannelCount; ++i)
        out[static_cast<size_t>(i)] = channels_[static_cast<size_t>(i)];
    return out;
}

void ScopeLogic::Restore(const std::array<ChannelSettings, kChannelCount>& settings)
{
    for (int i = 0; i < kChannelCount; ++i) {
        ScopeChannel& c = Ch(i);
        static_cast<ChannelSettings&>(c) = settings[static_cast<size_t>(i)];
        c.model = kNoModel;
        c.version = 0;
        c.items.clear();
        seen_[static_cast<size_t>(i)] = false;
    }
    PushSources();
}

bool ScopeLogic::Connected(int station) const
{
    return station > 0 && station < 256 && records_(station).connected;
}

bool ScopeLogic::AnyConnected() const
{
    for (int s = 1; s < 256; ++s)
        if (records_(s).connected)
            return true;
    return false;
}

void ScopeLogic::LoadItems(int i)
{
    ScopeChannel& c = Ch(i);
    const StationRecord& r = records_(c.station);
    c.items = BuildItemSet(r.model, r.version, kSetGraph);
    c.model = r.model;
    c.version = r.version;
    seen_[static_cast<size_t>(i)] = true;
}

void ScopeLogic::FixAddress(int i)
{
    ScopeChannel& c = Ch(i);
    if (c.items.empty())
        return;
    if (c.addressIndex < 0 || static_cast<size_t>(c.addressIndex) >= c.items.size()) {
        c.addressIndex = 0;
        c.address = c.items[0].address;
    }
}

void ScopeLogic::SetOn(int i, bool on)
{
    if (i < 0 || i >= kChannelCount)
        return;
    Ch(i).on = on;
    PushSources();
}

void ScopeLogic::SetStation(int i, int station)
{
    if (i < 0 || i >= kChannelCount)
        return;
    ScopeChannel& c = Ch(i);
    c.station = std::clamp(station, 0, 255);
    if (Connected(c.station)) {
        LoadItems(i);
        FixAddress(i);
    }
    L(i).hasValue = false;
    PushSources();
}

void ScopeLogic::SetAddressIndex(int i, int index)
{
    if (i < 0 || i >= kChannelCount)
        return;
    ScopeChannel& c = Ch(i);
    if (index < 0 || static_cast<size_t>(index) >= c.items.size())
        return;
    c.addressIndex = index;
    c.address = c.items[static_cast<size_t>(index)].address;
    L(i).hasValue = false;
    PushSources();
}

void ScopeLogic::SetOffset(int i, int index)
{
    if (i >= 0 && i < kChannelCount && InRange(index, static_cast<int>(kOffsets.size()))) {
        Ch(i).offsetIndex = index;
        PushSources();
    }
}

void ScopeLogic::SetDivision(int i, int index)
{
    if (i >= 0 && i < kChannelCount && InRange(index, static_cast<int>(kDivisions.size()))) {
        Ch(i).divisionIndex = index;
        PushSources();
    }
}

void ScopeLogic::SetColour(int i, uint32_t rgb)
{
    if (i >= 0 && i < kChannelCount)
        Ch(i).colour = rgb & 0xFFFFFF;
}

void ScopeLogic::SetWidth(int i, int index)
{
    if (i >= 0 && i < kChannelCount && index >= 0 && index <= 3)
        Ch(i).widthIndex = index;
}

void ScopeLogic::StationsChanged()
{
    for (int i = 0; i < kChannelCount; ++i) {
        ScopeChannel& c = Ch(i);
        if (Connected(c.station)) {
            const StationRecord& r = records_(c.station);
            if (c.items.empty() || r.model != c.model || r.version != c.version)
                LoadItems(i);
            FixAddress(i);
            if (c.items.empty() || c.address != c.items[static_cast<size_t>(c.addressIndex)].address) {
                c.on = false;
                c.station = 0;
                c.address = kNoAddress;
            }
        } else if (!seen_[static_cast<size_t>(i)]) {
            c.on = false;
            c.station = 0;
            c.address = kNoAddress;
        } else {
            // Waits for its station: samples are missing until it is back.
            LoseStation(c.station);
        }
    }
    fromFile_ = false;
    PushSources();
}

bool ScopeLogic::Ready(int i) const
{
    const ScopeChannel& c = Channel(i);
    return monitoring_ && c.on && c.station != 0 && c.address != kNoAddress;
}

bool ScopeLogic::AnyOn() const
{
    return std::any_of(channels_.begin(), channels_.end(), [](const ScopeChannel& c) { return c.on; });
}

std::string ScopeLogic::Unit(int i) const
{
    const ScopeChannel& c = Channel(i);
    if (c.station > 0 && c.station < 256) {
        const StationRecord& r = records_(c.station);
        if (SpeedDisplay(c.address, r.model, r.value26))
            return "rpm";
    }
    const MonitorItem* item = c.Item();
    return item ? item->unit : std::string();
}

SampleSource ScopeLogic::Picked(const ScopeChannel& c)
{
    SampleSource s;
    s.on = c.on;
    s.station = c.station;
    s.model = c.model;
    s.version = c.version;
    s.address = c.address;
    s.addressIndex = c.addressIndex;
    s.offsetIndex = c.offsetIndex;
    s.divisionIndex = c.divisionIndex;
    return s;
}

SampleSource ScopeLogic::SourceOf(int i) const
{
    const ScopeChannel& c = Channel(i);
    if (!c.on || c.station == 0 || c.address == kNoAddress)
        return SampleSource{};
    SampleSource s = Picked(c);
    if (const MonitorItem* item = c.Item())
        s.item = LegendName(item->name);
    s.unit = Unit(i);
    if (c.model != kNoModel)
        s.modelName = ModelName(c.model);
    return s;
}

void ScopeLogic::PushSources()
{
    for (int i = 0; i < kChannelCount; ++i)
        store_.SetSource(i, SourceOf(i));
}

std::string ScopeLogic::Legend(int i) const
{
    if (!store_.Empty())
        return store_.LastSource(i).Legend();
    return SourceOf(i).Legend();
}

std::map<int, std::vector<uint16_t>> ScopeLogic::Registrations() const
{
    std::map<int, std::vector<uint16_t>> out;
    for (int i = 0; i < kChannelCount; ++i) {
        const ScopeChannel& c = Channel(i);
        if (!Ready(i) || !Connected(c.station))
            continue;
        std::vector<uint16_t>& list = out[c.station];
        list.push_back(c.address);
        const StationRecord& r = records_(c.station);
        if (c.address == reg::kFault && r.model == kModelQmB20X && r.version > 20)
            list.push_back(reg::kFault2);
        // The monitor's own status copy, so that graph watch mode cannot freeze the direction.
        if (SignedSpeed(c.address))
            list.push_back(reg::kStatus);
    }
    return out;
}

// ---- run states -------------------------------------------------------------------------------

bool ScopeLogic::StartMonitor(double wallDays, int64_t nowMs)
{
    const bool any = std::any_of(channels_.begin(), channels_.end(), [](const ScopeChannel& c) {
        return c.on && c.station != 0 && c.address != kNoAddress;
    });
    if (!any)
        return false;
    monitoring_ = true;
    trigger_.Disarm();
    trigger_.Reset();
    StopRecord();
    for (Live& l : live_)
        l = Live{};
    copies_.clear();
    store_.Clear();
    PushSources();
    picturePath_.clear();
    fromFile_ = false;
    clockBaseDays_ = wallDays;
    startMs_ = nowMs;
    return true;
}

void ScopeLogic::StopMonitor()
{
    monitoring_ = false;
    StopRecord();
    trigger_.Disarm();
}

bool ScopeLogic::ArmTrigger(int channel, LevelTrigger::Edge edge, double typedLevel, double* level, int post)
{
    const ScopeChannel& c = Channel(std::clamp(channel, 0, kChannelCount - 1));
    if (!c.on || c.station == 0 || c.address == kNoAddress)
        return false;
    const double forced = ForcedLevel(c.Item(), c.address, typedLevel);
    if (level)
        *level = forced;
    trigger_.Arm(channel, edge, forced, post);
    return true;
}

// ---- sampling ---------------------------------------------------------------------------------

int32_t ScopeLogic::Status(int station) const
{
    const auto it = copies_.find(station);
    if (it != copies_.end() && it->second.statusKnown)
        return it->second.status;
    return records_(station).status;
}

void ScopeLogic::LoseStation(int station)
{
    for (int i = 0; i < kChannelCount; ++i)
        if (Channel(i).station == station)
            L(i).hasValue = false;
    copies_.erase(station);
}

double ScopeLogic::ConvertEntry(int i, uint32_t r, const StationCopy& copy) const
{
    const ScopeChannel& c = Channel(i);
    const StationRecord& record = records_(c.station);
    const MonitorItem* item = c.Item();
    if (c.address == reg::kFault)
        // Either fault word tripped shows as 1; the second word must not hide the first.
        return (copy.fault != 0 || copy.fault2 != 0) ? 1.0 : 0.0;
    if (item && item->bitItem)
        return (r >> item->bitIndex) & 1u ? 1.0 : 0.0;
    MonitorItem plain;
    plain.address = c.address;
    return GraphValue(item ? *item : plain, r, record.model, record.value26);
}

void ScopeLogic::OnMonitor(int station, const CommReply& reply, int64_t nowMs)
{
    if (reply.error == kGiveUp) {
        // The drive is silent: its channels have no value until it answers again.
        LoseStation(station);
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
    for (int j = 0; j < kChannelCount; ++j) {
        const ScopeChannel& c = Channel(j);
        if (!Ready(j) || c.station != station)
            continue;
        bool got = false;
        double value = 0.0;
        for (int e = 0; e < count; ++e) {
            const uint32_t a = reply.addresses[static_cast<size_t>(e)];
            const bool faultPair = c.address == reg::kFault && a == reg::kFault2;
            if (a != c.address && !faultPair)
                continue;
            value = ConvertEntry(j, reply.values[static_cast<size_t>(e)] & 0xFFFF, copy);
            if (SignedSpeed(c.address) && (Status(station) & reg::kStatusReverse))
                value = -value;
            got = true;
        }
        if (!got)
            continue;
        Live& l = L(j);
        l.value = value;
        l.hasValue = true;
        ++l.updates;
        l.arrivals.push_back(nowMs);
        while (!l.arrivals.empty() && l.arrivals.front() <= nowMs - kRateWindowMs)
            l.arrivals.pop_front();
    }
}

double ScopeLogic::LiveValue(int i) const
{
    const Live& l = live_.at(static_cast<size_t>(i));
    if (!Ready(i))
        return 0.0;
    return l.hasValue && Connected(Channel(i).station) ? l.value : kNaN;
}

double ScopeLogic::RefreshRate(int i, int64_t nowMs) const
{
    const Live& l = live_.at(static_cast<size_t>(i));
    const auto n = std::count_if(l.arrivals.begin(), l.arrivals.end(),
                                 [&](int64_t t) { return t > nowMs - kRateWindowMs; });
    const int64_t window = std::clamp<int64_t>(nowMs - startMs_, 1, kRateWindowMs);
    return static_cast<double>(n) * 1000.0 / static_cast<double>(window);
}

ScopeLogic::Sample ScopeLogic::OnSample(int64_t nowMs)
{
    Sample s;
    if (!monitoring_)
        return s;
    std::array<SampleStore::Sample, kChannelCount> samples;
    for (int i = 0; i < kChannelCount; ++i) {
        const ScopeChannel& c = Channel(i);
        Live& l = L(i);
        SampleStore::Sample& out = samples[static_cast<size_t>(i)];
        if (!Ready(i)) {
            // Not drawn; kept as the 0 an older reader expects of a channel that is off.
            out = {0.0, SampleMark::Fresh};
            continue;
        }
        const double v = LiveValue(i);
        if (std::isnan(v)) {
            out = {kNaN, SampleMark::Missing};
            s.labels[static_cast<size_t>(i)] = Connected(c.station) ? "---" : "No Connection";
        } else {
            out.plotted = PlotValue(v, c.offsetIndex, c.divisionIndex);
            out.mark = l.updates != l.seenBySample ? SampleMark::Fresh : SampleMark::Repeated;
            s.labels[static_cast<size_t>(i)] = ValueLabel(v, Unit(i));
        }
        l.seenBySample = l.updates;
    }
    const double x = clockBaseDays_ + static_cast<double>(nowMs - startMs_) / kMsPerDay;
    s.point = store_.Append(x, samples);
    if (trigger_.Running()) {
        const int t = trigger_.Channel();
        const double v = LiveValue(t);
        const bool wasOccurred = trigger_.Occurred();
        s.trigger = trigger_.OnSample(Ready(t), !std::isnan(v), std::isnan(v) ? 0.0 : v, s.point);
        if (trigger_.Occurred() && (!wasOccurred || trigger_.Point() == s.point))
            droppedAtTrigger_ = store_.Dropped();
    }
    if (recording_ && recordEachSample_) {
        // The line's time is the sample's, on the chart's clock.
        const qint64 wallMs = std::llround(x * kMsPerDay);
        const QDateTime utc = WallEpoch().addMSecs(wallMs);
        s.recordFailed = !RecordTick(nowMs, QDateTime(utc.date(), utc.time()));
        s.recorded = !s.recordFailed;
    }
    return s;
}

int ScopeLogic::TriggerPoint() const
{
    return trigger_.Point() - static_cast<int>(store_.Dropped() - droppedAtTrigger_);
}

// ---- recording --------------------------------------------------------------------------------

bool ScopeLogic::StartRecord(const QString& wanted, bool stamped, int64_t nowMs)
{
    if (!monitoring_ || recording_)
        return false;
    if (!record_.Open(wanted).Ok())
        return false;
    if (stamped) {
        std::array<RecordFile::Column, kChannelCount> cols;
        for (int i = 0; i < kChannelCount; ++i) {
            const SampleSource s = SourceOf(i);
            if (!s.on)
                continue;
            cols[static_cast<size_t>(i)].name = s.Legend();
            cols[static_cast<size_t>(i)].unit = s.unit;
        }
        if (!record_.WriteHeader(cols).Ok()) {
            record_.Close();
            return false;
        }
    }
    recording_ = true;
    stamped_ = stamped;
    recordCounter_ = 0;
    recordStartMs_ = nowMs;
    for (Live& l : live_)
        l.seenByRecord = l.updates;
    return true;
}

RecordRow ScopeLogic::NextRecordRow(int64_t nowMs, const QDateTime& wall)
{
    RecordRow row;
    row.time = wall;
    row.elapsed = static_cast<double>(nowMs - recordStartMs_) / 1000.0;
    for (int i = 0; i < kChannelCount; ++i) {
        Live& l = L(i);
        const double v = LiveValue(i);
        row.values[static_cast<size_t>(i)] = v;
        // The first line of a record counts a value already held as fresh.
        row.repeated[static_cast<size_t>(i)] =
            Ready(i) && !std::isnan(v) && l.updates == l.seenByRecord && recordCounter_ > 0;
        l.seenByRecord = l.updates;
    }
    return row;
}

bool ScopeLogic::RecordTick(int64_t nowMs, const QDateTime& wall)
{
    if (!recording_)
        return true;
    if (!record_.WriteLine(NextRecordRow(nowMs, wall), stamped_).Ok()) {
        StopRecord();
        return false;
    }
    ++recordCounter_;
    return true;
}

void ScopeLogic::StopRecord()
{
    record_.Close();
    recording_ = false;
}

}  // namespace vm::scope
