#include "scope/ChartTrace.h"

#include <algorithm>
#include <cmath>

namespace vm::scope {

namespace {

struct Point {
    double x = 0.0;
    double y = 0.0;
    bool valid = false;
};

}  // namespace

Trace BuildTrace(const TraceInput& in)
{
    Trace t;
    if (!in.xs || !in.ys || !std::isfinite(in.x0) || !std::isfinite(in.x1) || !(in.x1 > in.x0) ||
        !std::isfinite(in.lo) || !std::isfinite(in.hi) || !(in.hi > in.lo) || in.plot.width() < 2 ||
        in.plot.height() < 2)
        return t;
    const std::vector<double>& xs = *in.xs;
    const std::vector<double>& ys = *in.ys;
    const size_t n = std::min(xs.size(), ys.size());
    if (n == 0)
        return t;
    const auto end = xs.begin() + static_cast<std::ptrdiff_t>(n);
    const auto b = std::lower_bound(xs.begin(), end, in.x0);
    const auto e = std::upper_bound(b, end, in.x1);
    const size_t from = static_cast<size_t>(b - xs.begin());
    const size_t to = static_cast<size_t>(e - xs.begin());
    // One neighbour on each side, moved onto the edge, so the line reaches it.
    const size_t first = from > 0 ? from - 1 : from;
    const size_t last = to < n ? to + 1 : to;
    if (first >= last)
        return t;

    const QRectF& plot = in.plot;
    const double sx = (plot.width() - 1) / (in.x1 - in.x0);
    const double sy = (plot.height() - 1) / (in.hi - in.lo);
    const double band = plot.height() * 4;
    // The bottom pixel row, as QRect counts it.
    const double bottom = plot.top() + plot.height() - 1;
    const auto px = [&](double x) { return plot.left() + (std::clamp(x, in.x0, in.x1) - in.x0) * sx; };
    // Whole pixel rows, so a flat line lies on one row; far values stop a few heights away.
    const auto py = [&](double y) {
        const double v = bottom - (y - in.lo) * sy;
        return std::clamp(std::round(std::clamp(v, -1e9, 1e9)), plot.top() - band, bottom + band);
    };
    const auto at = [&](size_t i) -> Point {
        const double x = xs[i], y = ys[i];
        if (!std::isfinite(x) || !std::isfinite(y))
            return {};
        if (i < from || i >= to) {
            const size_t inner = i < from ? from : to - 1;
            if (inner >= n || inner < from || inner >= to)
                return {};
            const double xi = xs[inner], yi = ys[inner];
            if (!std::isfinite(xi) || !std::isfinite(yi))
                return {};
            const double edge = i < from ? in.x0 : in.x1;
            const double dx = xi - x;
            const double y2 = std::fabs(dx) > 0 ? y + (yi - y) * (edge - x) / dx : yi;
            return {edge, std::isfinite(y2) ? y2 : yi, true};
        }
        return {x, y, true};
    };

    QPolygonF line;
    const auto flush = [&] {
        if (!line.isEmpty())
            t.lines.push_back(std::move(line));
        line = QPolygonF();
    };
    const size_t count = last - first;
    if (count <= static_cast<size_t>(plot.width()) * 2) {
        for (size_t i = first; i < last; ++i) {
            const Point p = at(i);
            if (!p.valid) {
                flush();
                continue;
            }
            line.append(QPointF(px(p.x), py(p.y)));
        }
        flush();
        // Marks only tell something where repeated samples lie among the fresh ones.
        static const std::vector<uint8_t> none;
        const std::vector<uint8_t>& marks = in.marks ? *in.marks : none;
        const auto mark = [&](size_t i) { return (marks[i] >> in.markShift) & 3u; };
        bool anyRepeated = false;
        if (marks.size() >= n)
            for (size_t i = from; i < to && !anyRepeated; ++i)
                anyRepeated = mark(i) == 1;
        if (anyRepeated && to - from <= static_cast<size_t>(plot.width()) / 4)
            for (size_t i = from; i < to; ++i)
                if (mark(i) == 0 && std::isfinite(ys[i]))
                    t.fresh.emplace_back(px(xs[i]), py(ys[i]));
        return t;
    }
    // Minimum and maximum per pixel column, entered and left at the column's first and last value.
    size_t i = first;
    while (i < last) {
        const Point p = at(i);
        if (!p.valid) {
            flush();
            ++i;
            continue;
        }
        const int col = static_cast<int>(std::floor(px(p.x)));
        double mn = p.y, mx = p.y, lastY = p.y;
        size_t j = i + 1;
        while (j < last) {
            const Point q = at(j);
            if (!q.valid || static_cast<int>(std::floor(px(q.x))) != col)
                break;
            lastY = q.y;
            mn = std::min(mn, lastY);
            mx = std::max(mx, lastY);
            ++j;
        }
        const double cx = col + 0.5;
        line.append(QPointF(cx, py(p.y)));
        if (mn != mx) {
            line.append(QPointF(cx, py(mn)));
            line.append(QPointF(cx, py(mx)));
        }
        line.append(QPointF(cx, py(lastY)));
        i = j;
    }
    flush();
    return t;
}

}  // namespace vm::scope
