#pragma once
// The graph monitor's samples, free of widgets: one time stamp per sample shared by the four
// channels, each channel's plotted value and mark (fresh, repeated or missing), and where each
// sample came from (station, model, item, unit, offset and division). The chart draws it, the
// cursor reads it, the scope file is written from it. A change of channel setup applies to the
// samples appended after it; stored samples keep the source they were taken with.

#include "scope/ScopeTables.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vm::scope {

// What a channel's samples were taken with.
struct SampleSource {
    bool on = false;
    int station = 0;
    int model = kNoModel;
    int version = 0;
    uint16_t address = kNoAddress;
    int addressIndex = 0;
    int offsetIndex = kDefaultOffsetIndex;
    int divisionIndex = kDefaultDivisionIndex;
    std::string item;  // legend name of the item
    std::string unit;
    std::string modelName;

    bool operator==(const SampleSource&) const = default;
    // "1:QM-A20 Output Freq."; the item alone when there is no station.
    std::string Legend() const;
};

enum class SampleMark : uint8_t {
    Fresh = 0,     // a value the drive sent since the previous sample
    Repeated = 1,  // the last value again: nothing new arrived in time
    Missing = 2,   // no value: no reading yet, the drive silent or disconnected
};

class SampleStore {
public:
    // One hour at 0.1 s is 36,000 samples; beyond ten hours the oldest tenth goes.
    static constexpr int kMaxPoints = 360000;

    struct Sample {
        double plotted = 0.0;
        SampleMark mark = SampleMark::Missing;
    };

    int Size() const { return static_cast<int>(x_.size()); }
    bool Empty() const { return x_.empty(); }

    // The source of the channel's samples appended from now on.
    void SetSource(int channel, const SampleSource& source);
    // Appends one sample of all channels at `xDays`; returns its index. A missing sample's
    // plotted value is stored as NaN whatever was passed.
    int Append(double xDays, const std::array<Sample, kChannelCount>& samples);
    void Clear();

    double X(int point) const;
    // NaN for a missing sample or an index outside the store.
    double Y(int channel, int point) const;
    SampleMark Mark(int channel, int point) const;
    const SampleSource& Source(int channel, int point) const;
    // The converted value (the inverse of the plotting rule through the sample's own source).
    double Value(int channel, int point) const;
    // The source of the newest sample, or the one set for the next when the store is empty.
    const SampleSource& LastSource(int channel) const;
    // True when every sample of the channel has the same source.
    bool OneSource(int channel) const;

    const std::vector<double>& Xs() const { return x_; }
    const std::vector<double>& Ys(int channel) const { return y_.at(static_cast<size_t>(channel)); }
    // Two bits a channel (channel c at bit 2c), one byte a sample.
    const std::vector<uint8_t>& PackedMarks() const { return marks_; }

    // Samples dropped from the front since the last Clear.
    int64_t Dropped() const { return dropped_; }
    // Changes on every append or clear, so a painter knows its picture is stale.
    uint64_t Revision() const { return revision_; }

private:
    struct Segment {
        int64_t from = 0;  // absolute index: Dropped() + point
        SampleSource source;
    };
    void DropOldest();
    void Grow();

    std::vector<double> x_;
    std::array<std::vector<double>, kChannelCount> y_;
    std::vector<uint8_t> marks_;
    std::array<std::vector<Segment>, kChannelCount> segments_;
    std::array<SampleSource, kChannelCount> next_;
    int64_t dropped_ = 0;
    uint64_t revision_ = 0;
};

}  // namespace vm::scope
