#include "scope/SampleStore.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vm::scope {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

const SampleSource& NoSource()
{
    static const SampleSource none;
    return none;
}

}  // namespace

std::string SampleSource::Legend() const
{
    if (station <= 0)
        return item;
    std::string text = std::to_string(station);
    if (!modelName.empty())
        text += ":" + modelName;
    if (!item.empty())
        text += " " + item;
    return text;
}

void SampleStore::SetSource(int channel, const SampleSource& source)
{
    if (channel >= 0 && channel < kChannelCount)
        next_[static_cast<size_t>(channel)] = source;
}

void SampleStore::DropOldest()
{
    const size_t drop = kMaxPoints / 10;
    x_.erase(x_.begin(), x_.begin() + static_cast<std::ptrdiff_t>(drop));
    for (auto& ys : y_)
        ys.erase(ys.begin(), ys.begin() + static_cast<std::ptrdiff_t>(drop));
    marks_.erase(marks_.begin(), marks_.begin() + static_cast<std::ptrdiff_t>(drop));
    dropped_ += static_cast<int64_t>(drop);
    // Segments that now end before the first sample go; the first one left covers it.
    for (auto& segs : segments_) {
        while (segs.size() > 1 && segs[1].from <= dropped_)
            segs.erase(segs.begin());
    }
}

void SampleStore::Grow()
{
    // A quarter more at a time: an hour of samples carries little unused room.
    if (x_.size() < x_.capacity())
        return;
    const size_t want = std::max<size_t>(1024, x_.size() + x_.size() / 4);
    x_.reserve(want);
    for (auto& ys : y_)
        ys.reserve(want);
    marks_.reserve(want);
}

int SampleStore::Append(double xDays, const std::array<Sample, kChannelCount>& samples)
{
    if (static_cast<int>(x_.size()) >= kMaxPoints)
        DropOldest();
    Grow();
    const int64_t absolute = dropped_ + static_cast<int64_t>(x_.size());
    x_.push_back(xDays);
    uint8_t packed = 0;
    for (int c = 0; c < kChannelCount; ++c) {
        const size_t i = static_cast<size_t>(c);
        const Sample& s = samples[i];
        const bool missing = s.mark == SampleMark::Missing || !std::isfinite(s.plotted);
        y_[i].push_back(missing ? kNaN : s.plotted);
        packed |=
            static_cast<uint8_t>(static_cast<uint8_t>(missing ? SampleMark::Missing : s.mark) << (2 * c));
        auto& segs = segments_[i];
        if (segs.empty() || !(segs.back().source == next_[i]))
            segs.push_back({absolute, next_[i]});
    }
    marks_.push_back(packed);
    ++revision_;
    return static_cast<int>(x_.size()) - 1;
}

void SampleStore::Clear()
{
    x_.clear();
    x_.shrink_to_fit();
    for (int c = 0; c < kChannelCount; ++c) {
        y_[static_cast<size_t>(c)].clear();
        y_[static_cast<size_t>(c)].shrink_to_fit();
        segments_[static_cast<size_t>(c)].clear();
    }
    marks_.clear();
    marks_.shrink_to_fit();
    dropped_ = 0;
    ++revision_;
}

double SampleStore::X(int point) const
{
    if (point < 0 || point >= Size())
        return 0.0;
    return x_[static_cast<size_t>(point)];
}

double SampleStore::Y(int channel, int point) const
{
    if (channel < 0 || channel >= kChannelCount || point < 0 || point >= Size())
        return kNaN;
    return y_[static_cast<size_t>(channel)][static_cast<size_t>(point)];
}

SampleMark SampleStore::Mark(int channel, int point) const
{
    if (channel < 0 || channel >= kChannelCount || point < 0 || point >= Size())
        return SampleMark::Missing;
    return static_cast<SampleMark>((marks_[static_cast<size_t>(point)] >> (2 * channel)) & 3u);
}

const SampleSource& SampleStore::Source(int channel, int point) const
{
    if (channel < 0 || channel >= kChannelCount || point < 0 || point >= Size())
        return NoSource();
    const auto& segs = segments_[static_cast<size_t>(channel)];
    const int64_t absolute = dropped_ + point;
    auto it = std::upper_bound(segs.begin(), segs.end(), absolute,
                               [](int64_t a, const Segment& s) { return a < s.from; });
    if (it == segs.begin())
        return NoSource();
    return std::prev(it)->source;
}

double SampleStore::Value(int channel, int point) const
{
    const double y = Y(channel, point);
    if (!std::isfinite(y))
        return kNaN;
    const SampleSource& s = Source(channel, point);
    return (y - kOffsets.at(static_cast<size_t>(s.offsetIndex))) *
           kDivisions.at(static_cast<size_t>(s.divisionIndex));
}

const SampleSource& SampleStore::LastSource(int channel) const
{
    if (channel < 0 || channel >= kChannelCount)
        return NoSource();
    const auto& segs = segments_[static_cast<size_t>(channel)];
    return segs.empty() ? next_[static_cast<size_t>(channel)] : segs.back().source;
}

bool SampleStore::OneSource(int channel) const
{
    return channel >= 0 && channel < kChannelCount && segments_[static_cast<size_t>(channel)].size() <= 1;
}

}  // namespace vm::scope
