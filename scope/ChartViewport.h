#pragma once
// Which part of the samples the chart shows, free of widgets: the newest span while following,
// or a window the user fixed by zooming, scrolling or "show all". Zooming keeps the point under
// the mouse where it is, on the time axis and on the value axis.

#include <optional>
#include <utility>
#include <vector>

namespace vm::scope {

class ChartViewport {
public:
    // The span shown while following the newest samples, in days.
    void SetSpan(double days);
    double Span() const { return span_; }

    // Following: the last `span` days of `xs` (from the first sample while they fit).
    bool Following() const { return !fixed_; }
    void Follow();
    // Freezes what is shown now, so that later samples do not move it.
    void Freeze(const std::vector<double>& xs);
    // Everything from the first to the last sample (at least the span).
    void ShowAll(const std::vector<double>& xs);
    // Zooms the time axis by `factor` (< 1 in) keeping `anchor` at its place.
    void ZoomTime(const std::vector<double>& xs, double anchor, double factor);
    void ZoomTo(double start, double end);
    // One span with `x` at `share` (0-1) of its width: the pre-trigger part of a triggered picture.
    void PlaceAt(double x, double share);
    // Moves the fixed window by `days`.
    void ScrollBy(const std::vector<double>& xs, double days);

    double Start(const std::vector<double>& xs) const;
    double Width() const { return fixed_ ? width_ : span_; }

    // A value range the user zoomed to; nothing while the chart scales by itself.
    const std::optional<std::pair<double, double>>& ValueRange() const { return values_; }
    // Zooms the value axis of the shown range [lo, hi] by `factor` around `anchor`.
    void ZoomValues(double lo, double hi, double anchor, double factor);
    void ResetValues() { values_.reset(); }

private:
    double span_ = 60.0 / 86400.0;
    bool fixed_ = false;
    double start_ = 0.0;
    double width_ = 0.0;
    std::optional<std::pair<double, double>> values_;
};

}  // namespace vm::scope
