#include "scope/ChartViewport.h"

#include <algorithm>
#include <cmath>

namespace vm::scope {

namespace {

constexpr double kMinWidth = 0.5 / 86400.0;  // half a second
constexpr double kMaxWidth = 7.0;            // a week

}  // namespace

void ChartViewport::SetSpan(double days)
{
    if (std::isfinite(days) && days > 0)
        span_ = days;
    fixed_ = false;
}

void ChartViewport::Follow()
{
    fixed_ = false;
    values_.reset();
}

double ChartViewport::Start(const std::vector<double>& xs) const
{
    if (fixed_)
        return start_;
    if (xs.empty())
        return 0.0;
    const double first = xs.front(), last = xs.back();
    return last - first < span_ ? first : last - span_;
}

void ChartViewport::Freeze(const std::vector<double>& xs)
{
    if (fixed_)
        return;
    start_ = Start(xs);
    width_ = span_;
    fixed_ = true;
}

void ChartViewport::ShowAll(const std::vector<double>& xs)
{
    values_.reset();
    if (xs.empty()) {
        fixed_ = false;
        return;
    }
    start_ = xs.front();
    width_ = std::clamp(xs.back() - xs.front(), std::min(span_, kMaxWidth), kMaxWidth);
    fixed_ = true;
}

void ChartViewport::ZoomTime(const std::vector<double>& xs, double anchor, double factor)
{
    if (!std::isfinite(anchor) || !std::isfinite(factor) || factor <= 0)
        return;
    const double start = Start(xs), width = Width();
    const double w = std::clamp(width * factor, kMinWidth, kMaxWidth);
    const double share = width > 0 ? (anchor - start) / width : 0.5;
    start_ = anchor - share * w;
    width_ = w;
    fixed_ = true;
}

void ChartViewport::ZoomTo(double start, double end)
{
    if (!std::isfinite(start) || !std::isfinite(end))
        return;
    if (end < start)
        std::swap(start, end);
    start_ = start;
    width_ = std::clamp(end - start, kMinWidth, kMaxWidth);
    fixed_ = true;
}

void ChartViewport::PlaceAt(double x, double share)
{
    if (!std::isfinite(x) || !std::isfinite(share))
        return;
    width_ = span_;
    start_ = x - std::clamp(share, 0.0, 1.0) * span_;
    fixed_ = true;
}

void ChartViewport::ScrollBy(const std::vector<double>& xs, double days)
{
    if (!std::isfinite(days))
        return;
    Freeze(xs);
    start_ += days;
}

void ChartViewport::ZoomValues(double lo, double hi, double anchor, double factor)
{
    if (!std::isfinite(lo) || !std::isfinite(hi) || !std::isfinite(anchor) || factor <= 0 || hi <= lo)
        return;
    const double share = (anchor - lo) / (hi - lo);
    const double w = std::clamp((hi - lo) * factor, 1e-6, 1e12);
    values_ = std::make_pair(anchor - share * w, anchor - share * w + w);
}

}  // namespace vm::scope
