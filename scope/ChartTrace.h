#pragma once
// The lines one channel is drawn as, in pixels of a plot rectangle: broken at missing samples,
// reduced to the minimum and maximum of each pixel column when there are more samples than
// columns, and cut at the window's edges, so that every coordinate handed to the painter is
// finite and near the plot whatever the samples hold (points far outside the window or huge
// values once overflowed the pixel arithmetic while painting).

#include <QPolygonF>
#include <QRectF>

#include <cstdint>
#include <vector>

namespace vm::scope {

struct TraceInput {
    const std::vector<double>* xs = nullptr;
    const std::vector<double>* ys = nullptr;      // NaN = missing
    const std::vector<uint8_t>* marks = nullptr;  // packed SampleMarks per sample, or nothing
    int markShift = 0;                            // the channel's two bits
    double x0 = 0.0, x1 = 1.0;                    // the window
    double lo = 0.0, hi = 1.0;                    // the value range
    QRectF plot;  // pixel rows top to top + height - 1, as a QRect of the same numbers
};

struct Trace {
    std::vector<QPolygonF> lines;
    // Samples a drive sent (not repeated), when few enough to tell apart.
    std::vector<QPointF> fresh;
};

Trace BuildTrace(const TraceInput& in);

}  // namespace vm::scope
