// The graph monitor logic's picture: what a scope file stores of the samples, loading one back,
// and the cursor read-out through each sample's own source.

#include "scope/ScopeLogic.h"

#include "catalogue/Models.h"

#include <cmath>
#include <limits>

namespace vm::scope {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

}  // namespace

// ---- the picture ------------------------------------------------------------------------------

ScopePicture ScopeLogic::TakePicture(int elapsed, int spanIndex, double yMax, double yMin) const
{
    ScopePicture p;
    p.elapsed = elapsed;
    p.spanIndex = spanIndex;
    p.yMax = yMax;
    p.yMin = yMin;
    const int n = store_.Size();
    p.x = store_.Xs();
    for (int i = 0; i < kChannelCount; ++i) {
        // An empty picture stores the setup; otherwise what the newest samples were taken with.
        const SampleSource src = store_.Empty() ? SourceOf(i) : store_.LastSource(i);
        const ScopeChannel& c = Channel(i);
        ScopeFileChannel& f = p.channels[static_cast<size_t>(i)];
        f.on = src.on ? 1 : 0;
        f.station = src.on ? src.station : c.station;
        f.model = src.on ? src.model : kNoModel;
        f.version = src.on ? src.version : 0;
        f.address = src.on ? src.address : c.address;
        f.addressIndex = src.on ? src.addressIndex : c.addressIndex;
        f.offsetIndex = src.offsetIndex;
        f.divisionIndex = src.divisionIndex;
        auto& ys = p.y[static_cast<size_t>(i)];
        ys.resize(static_cast<size_t>(n));
        const bool same = store_.OneSource(i);
        for (int k = 0; k < n; ++k) {
            double y = store_.Y(i, k);
            if (!same) {
                const SampleSource& s = store_.Source(i, k);
                if (s.station != src.station || s.address != src.address || s.model != src.model)
                    y = src.on ? kNaN : 0.0;
                else if (std::isfinite(y))
                    y = PlotValue(store_.Value(i, k), src.offsetIndex, src.divisionIndex);
            }
            ys[static_cast<size_t>(k)] = y;
        }
    }
    NormaliseModels(p);
    return p;
}

void ScopeLogic::LoadPicture(const ScopePicture& p)
{
    monitoring_ = false;
    StopRecord();
    trigger_.Disarm();
    trigger_.Reset();
    for (int i = 0; i < kChannelCount; ++i) {
        const ScopeFileChannel& f = p.channels[static_cast<size_t>(i)];
        ScopeChannel& c = Ch(i);
        c.on = f.on != 0;
        c.station = f.station;
        c.model = f.model;
        c.version = f.version;
        c.address = f.address;
        c.addressIndex = f.addressIndex;
        c.offsetIndex = f.offsetIndex;
        c.divisionIndex = f.divisionIndex;
        c.items =
            c.model != kNoModel ? BuildItemSet(c.model, c.version, kSetGraph) : std::vector<MonitorItem>{};
        SampleSource s = Picked(c);
        if (c.on && c.model != kNoModel) {
            s.modelName = ModelName(c.model);
            // The item at the stored address, whatever list position it has in this version.
            for (const MonitorItem& item : c.items)
                if (item.address == c.address) {
                    s.item = LegendName(item.name);
                    s.unit = item.unit;
                    break;
                }
        }
        store_.SetSource(i, s);
        live_[static_cast<size_t>(i)] = Live{};
        seen_[static_cast<size_t>(i)] = false;
    }
    store_.Clear();
    for (size_t k = 0; k < p.x.size(); ++k) {
        std::array<SampleStore::Sample, kChannelCount> samples;
        for (int i = 0; i < kChannelCount; ++i) {
            const double y = p.y[static_cast<size_t>(i)][k];
            samples[static_cast<size_t>(i)] = {y, std::isnan(y) ? SampleMark::Missing : SampleMark::Fresh};
        }
        store_.Append(p.x[k], samples);
    }
    fromFile_ = true;
}

std::string ScopeLogic::CursorLabel(int i, int point) const
{
    const SampleSource& s = store_.Source(i, point);
    if (!s.on)
        return {};
    const double v = store_.Value(i, point);
    if (std::isnan(v))
        return {};
    return ValueLabel(v, s.unit);
}

}  // namespace vm::scope
