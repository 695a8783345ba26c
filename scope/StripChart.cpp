#include "scope/StripChart.h"

#include "scope/ChartTrace.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QImageWriter>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPainterPath>
#include <QSaveFile>
#include <QSvgGenerator>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <limits>

namespace vm::scope {

namespace {

constexpr double kSecondsPerDay = 86400.0;
constexpr int kGridY = 10;

QString TimeOfDay(double days, bool tenths = false)
{
    double secs = std::fmod(days, 1.0) * kSecondsPerDay;
    if (secs < 0)
        secs += kSecondsPerDay;
    const int whole = static_cast<int>(std::floor(secs + (tenths ? 0.0 : 0.5)));
    QString t = QString::asprintf("%02d:%02d:%02d", (whole / 3600) % 24, (whole / 60) % 60, whole % 60);
    if (tenths)
        t += QString::asprintf(".%d", static_cast<int>((secs - whole) * 10) % 10);
    return t;
}

// A round step between time ticks for a window of `seconds`: at most about ten ticks.
double TickStep(double seconds)
{
    static const double steps[] = {0.1, 0.2, 0.5, 1,    2,    5,    10,    15,    30,    60,   120,
                                   300, 600, 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400};
    for (double s : steps)
        if (seconds / s <= 10)
            return s;
    return std::ceil(seconds / 10 / 86400) * 86400;
}

QString NumberText(double v)
{
    if (std::fabs(v) < 1e-9)
        v = 0.0;
    return QString::number(v, 'g', 6);
}

}  // namespace

double DaysFromDateTime(const QDateTime& time)
{
    // The wall clock as shown, not shifted by the zone.
    static const QDateTime epoch(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC);
    const QDateTime wall(time.date(), time.time(), Qt::UTC);
    return static_cast<double>(epoch.msecsTo(wall)) / (kSecondsPerDay * 1000.0);
}

StripChart::StripChart(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(200, 120);
    setAttribute(Qt::WA_OpaquePaintEvent);
    for (int i = 0; i < kChannels; ++i)
        channels_[static_cast<size_t>(i)].name = QStringLiteral("Ch%1").arg(i + 1);
    look_.lines = {QColor(231, 255, 181), QColor(148, 255, 222), QColor(255, 105, 255),
                   QColor(214, 215, 214)};
    repaint_ = new QTimer(this);
    repaint_->setInterval(kRepaintMs);
    connect(repaint_, &QTimer::timeout, this, &StripChart::OnRepaintTimer);
    repaint_->start();
}

StripChart::~StripChart() = default;

void StripChart::Dirty()
{
    dirty_ = true;
}

void StripChart::OnRepaintTimer()
{
    if (store_ && store_->Revision() != drawnRevision_)
        dirty_ = true;
    if (dirty_ && drawingEnabled_ && updateDepth_ == 0) {
        dirty_ = false;
        drawnRevision_ = store_ ? store_->Revision() : 0;
        update();
    }
}

void StripChart::SetStore(const SampleStore* store)
{
    store_ = store;
    Dirty();
}

double StripChart::Y(int channel, int point) const
{
    return store_ ? store_->Y(channel, point) : std::numeric_limits<double>::quiet_NaN();
}

double StripChart::X(int point) const
{
    return store_ ? store_->X(point) : 0.0;
}

void StripChart::SetSpan(double days)
{
    viewport_.SetSpan(days);
    Dirty();
}

void StripChart::SetYRange(double minimum, double maximum)
{
    if (!std::isfinite(minimum) || !std::isfinite(maximum))
        return;
    if (minimum > maximum)
        std::swap(minimum, maximum);
    yMin_ = minimum;
    yMax_ = maximum;
    Dirty();
}

void StripChart::SetAutoScale(bool on)
{
    autoScale_ = on;
    Dirty();
}

double StripChart::ViewSpan() const
{
    return viewport_.Width();
}

double StripChart::ViewStart() const
{
    static const std::vector<double> none;
    return viewport_.Start(store_ ? store_->Xs() : none);
}

void StripChart::ShowAll()
{
    if (mode_ == Mode::Normal || !store_)
        viewport_.Follow();
    else
        viewport_.ShowAll(store_->Xs());
    Dirty();
}

void StripChart::ComputeAutoRange(double& lo, double& hi) const
{
    lo = std::numeric_limits<double>::infinity();
    hi = -lo;
    if (const auto& zoomed = viewport_.ValueRange()) {
        lo = zoomed->first;
        hi = zoomed->second;
        return;
    }
    if (store_) {
        const double x0 = ViewStart();
        const double x1 = x0 + ViewSpan();
        const auto& xs = store_->Xs();
        const auto b = std::lower_bound(xs.begin(), xs.end(), x0);
        const auto e = std::upper_bound(b, xs.end(), x1);
        const size_t from = static_cast<size_t>(b - xs.begin());
        const size_t to = static_cast<size_t>(e - xs.begin());
        for (int c = 0; c < kChannels; ++c) {
            if (!channels_[static_cast<size_t>(c)].visible)
                continue;
            const auto& ys = store_->Ys(c);
            // Missing samples are NaN and far values would swallow the range: both are passed over.
            for (size_t i = from; i < to && i < ys.size(); ++i) {
                if (!std::isfinite(ys[i]) || std::fabs(ys[i]) > 1e12)
                    continue;
                lo = std::min(lo, ys[i]);
                hi = std::max(hi, ys[i]);
            }
        }
    }
    if (!std::isfinite(lo) || !std::isfinite(hi)) {
        lo = yMin_;
        hi = yMax_;
    }
    // Ten grid divisions of a round step, so the labels read as round numbers.
    if (hi - lo < 1e-9) {
        // A flat line sits in the middle.
        const double half = std::max(std::fabs(hi) * 0.1, 1.0) / 2;
        lo -= half;
        hi += half;
    }
    const double range = hi - lo;
    double step = std::pow(10.0, std::floor(std::log10(range / kGridY)));
    const double factors[] = {1, 2, 2.5, 5, 10};
    for (int guard = 0; guard < 40; ++guard) {
        bool fits = false;
        for (double f : factors) {
            const double s = step * f;
            double base = std::floor(lo / s) * s;
            if (base + kGridY * s >= hi) {
                // Centre the data in the spare room.
                const double centred = std::floor((lo - (kGridY * s - (hi - lo)) / 2) / s) * s;
                if (centred + kGridY * s >= hi)
                    base = centred;
                lo = base;
                hi = base + kGridY * s;
                fits = true;
                break;
            }
        }
        if (fits)
            break;
        step *= 10;
    }
}

double StripChart::ShownYMin() const
{
    double lo = yMin_, hi = yMax_;
    if (autoScale_ || viewport_.ValueRange())
        ComputeAutoRange(lo, hi);
    // An empty range would divide by zero: widen it around the value.
    if (hi - lo < 1e-12)
        return lo - (std::fabs(lo) > 1 ? std::fabs(lo) * 0.1 : 1.0);
    return lo;
}

double StripChart::ShownYMax() const
{
    double lo = yMin_, hi = yMax_;
    if (autoScale_ || viewport_.ValueRange())
        ComputeAutoRange(lo, hi);
    if (hi - lo < 1e-12)
        return hi + (std::fabs(hi) > 1 ? std::fabs(hi) * 0.1 : 1.0);
    return hi;
}

void StripChart::SetChannel(int channel, const QString& name, const QColor& colour, int widthPx)
{
    if (channel < 0 || channel >= kChannels)
        return;
    channels_[static_cast<size_t>(channel)].name = name;
    look_.lines[static_cast<size_t>(channel)] = colour;
    channels_[static_cast<size_t>(channel)].width = std::clamp(widthPx, 1, 4);
    Dirty();
}

void StripChart::SetLegendText(int channel, const QString& text)
{
    if (channel >= 0 && channel < kChannels && channels_[static_cast<size_t>(channel)].legend != text) {
        channels_[static_cast<size_t>(channel)].legend = text;
        Dirty();
    }
}

void StripChart::SetChannelVisible(int channel, bool visible)
{
    if (channel >= 0 && channel < kChannels) {
        channels_[static_cast<size_t>(channel)].visible = visible;
        Dirty();
    }
}

void StripChart::SetLineColour(int channel, const QColor& colour)
{
    if (channel >= 0 && channel < kChannels) {
        look_.lines[static_cast<size_t>(channel)] = colour;
        Dirty();
    }
}

void StripChart::SetLineWidth(int channel, int px)
{
    if (channel >= 0 && channel < kChannels) {
        channels_[static_cast<size_t>(channel)].width = std::clamp(px, 1, 4);
        Dirty();
    }
}

StripChart::Look StripChart::CurrentLook() const
{
    return look_;
}

void StripChart::SetLook(const Look& look)
{
    look_ = look;
    Dirty();
}

void StripChart::SetValueScale(int channel, double factor, const QString& unit)
{
    if (channel >= 0 && channel < kChannels) {
        channels_[static_cast<size_t>(channel)].valueScale = factor;
        channels_[static_cast<size_t>(channel)].unit = unit;
        Dirty();
    }
}

void StripChart::SetMode(Mode mode)
{
    mode_ = mode;
    if (mode == Mode::Normal)
        viewport_.Follow();
    else if (mode != Mode::Cursor && store_)
        viewport_.Freeze(store_->Xs());
    if (mode == Mode::Cursor && PointCount() > 0)
        cursorPoint_ = std::clamp(cursorPoint_, 0, PointCount() - 1);
    Dirty();
}

void StripChart::SetCursorChannel(int channel)
{
    cursorChannel_ = std::clamp(channel, 0, kChannels - 1);
    Dirty();
}

void StripChart::SetCursorPoint(int point)
{
    cursorPoint_ = PointCount() > 0 ? std::clamp(point, 0, PointCount() - 1) : 0;
    Dirty();
}

void StripChart::SetSecondCursorEnabled(bool on)
{
    secondEnabled_ = on;
    if (!on)
        secondPoint_ = -1;
    Dirty();
}

void StripChart::SetSecondCursorPoint(int point)
{
    secondPoint_ = PointCount() > 0 ? std::clamp(point, 0, PointCount() - 1) : -1;
    Dirty();
}

std::optional<StripChart::Deltas> StripChart::CursorDeltas() const
{
    if (!secondEnabled_ || secondPoint_ < 0 || secondPoint_ >= PointCount())
        return std::nullopt;
    Deltas d;
    d.seconds = (X(secondPoint_) - X(cursorPoint_)) * kSecondsPerDay;
    for (int c = 0; c < kChannels; ++c)
        d.values[static_cast<size_t>(c)] =
            (Y(c, secondPoint_) - Y(c, cursorPoint_)) * channels_[static_cast<size_t>(c)].valueScale;
    return d;
}

void StripChart::BeginUpdate()
{
    ++updateDepth_;
}

void StripChart::EndUpdate()
{
    if (updateDepth_ > 0 && --updateDepth_ == 0)
        Dirty();
}

void StripChart::SetDrawingEnabled(bool on)
{
    drawingEnabled_ = on;
    if (on)
        Dirty();
}

QRect StripChart::PlotArea(const QRect& area) const
{
    const int top = 8 + (look_.title.isEmpty() ? 0 : 22) + (look_.showLegend ? 20 : 0);
    const int left = 64;
    const int right = 12;
    const int bottom = 24;
    return QRect(area.left() + left, area.top() + top, std::max(10, area.width() - left - right),
                 std::max(10, area.height() - top - bottom));
}

void StripChart::Render(QPainter& p, const QRect& area) const
{
    p.save();
    p.setClipRect(area);
    p.fillRect(area, look_.background);
    QFont font = p.font();
    font.setPixelSize(11);
    p.setFont(font);
    const QRect plot = PlotArea(area);
    const double x0 = ViewStart();
    const double x1 = x0 + ViewSpan();
    const double lo = ShownYMin();
    const double hi = ShownYMax();

    int y = area.top() + 4;
    if (!look_.title.isEmpty()) {
        QFont tf = font;
        tf.setPixelSize(15);
        tf.setBold(true);
        p.setFont(tf);
        p.setPen(look_.text);
        p.drawText(QRect(area.left(), y, area.width(), 20), Qt::AlignCenter, look_.title);
        p.setFont(font);
        y += 22;
    }
    if (look_.showLegend) {
        int x = plot.left();
        for (int c = 0; c < kChannels; ++c) {
            const Channel& ch = channels_[static_cast<size_t>(c)];
            if (!ch.visible)
                continue;
            const QString text = ch.legend.isEmpty() ? ch.name : ch.name + QStringLiteral(": ") + ch.legend;
            QPen sample = SeriesPen(c);
            sample.setWidth(std::max(2, sample.width()));
            p.setPen(sample);
            p.drawLine(x, y + 8, x + 22, y + 8);
            p.setPen(look_.text);
            const int w = p.fontMetrics().horizontalAdvance(text);
            p.drawText(QRect(x + 26, y, w + 2, 16), Qt::AlignVCenter | Qt::AlignLeft, text);
            x += 26 + w + 16;
        }
    }

    if (look_.showGrid) {
        p.setPen(QPen(look_.grid, 1, Qt::DotLine));
        for (int i = 1; i < kGridY; ++i) {
            const int gy = plot.top() + plot.height() * i / kGridY;
            p.drawLine(plot.left(), gy, plot.right(), gy);
        }
    }
    p.setPen(look_.text);
    for (int i = 0; i <= kGridY; i += 2) {
        const int gy = plot.bottom() - (plot.height() - 1) * i / kGridY;
        const double v = lo + (hi - lo) * i / kGridY;
        p.drawText(QRect(area.left(), gy - 8, plot.left() - area.left() - 4, 16),
                   Qt::AlignRight | Qt::AlignVCenter, NumberText(v));
    }
    DrawTimeAxis(p, plot, x0, x1);
    p.setPen(look_.text);
    p.setBrush(Qt::NoBrush);
    p.drawRect(plot.adjusted(-1, -1, 0, 0));

    p.save();
    p.setClipRect(plot);
    for (int c = 0; c < kChannels; ++c)
        if (channels_[static_cast<size_t>(c)].visible)
            DrawSeries(p, plot, c, x0, x1, lo, hi);
    if (mode_ == Mode::Cursor && PointCount() > 0) {
        DrawCursor(p, plot, cursorPoint_, look_.cursor, x0, x1, lo, hi);
        if (secondEnabled_ && secondPoint_ >= 0)
            DrawCursor(p, plot, secondPoint_, look_.cursor2, x0, x1, lo, hi);
    }
    if (dragStartPx_ >= 0 && mode_ == Mode::Zoom) {
        const int a = std::min(dragStartPx_, dragNowPx_), b = std::max(dragStartPx_, dragNowPx_);
        p.setPen(QPen(look_.cursor, 1, Qt::DashLine));
        p.drawRect(QRect(a, plot.top(), b - a, plot.height() - 1));
    }
    p.restore();
    if (mode_ == Mode::Cursor && PointCount() > 0)
        DrawReadout(p, plot);
    p.restore();
}

void StripChart::DrawSeries(QPainter& p, const QRect& plot, int channel, double x0, double x1, double lo,
                            double hi) const
{
    if (!store_)
        return;
    TraceInput in;
    in.xs = &store_->Xs();
    in.ys = &store_->Ys(channel);
    in.marks = &store_->PackedMarks();
    in.markShift = 2 * channel;
    in.x0 = x0;
    in.x1 = x1;
    in.lo = lo;
    in.hi = hi;
    in.plot = QRectF(plot);
    const Trace trace = BuildTrace(in);
    QPen pen = SeriesPen(channel);
    // Unscaled thin lines take the rasteriser's fast path; the printer's scaled lines keep their width.
    if (pen.width() == 1 && p.transform().type() <= QTransform::TxTranslate)
        pen.setCosmetic(true);
    p.setPen(pen);
    for (const QPolygonF& line : trace.lines) {
        if (line.size() == 1)
            p.drawPoint(line.front());
        else
            p.drawPolyline(line);
    }
    // Samples the drive sent, so that repeated ones (a flat step between marks) show as such.
    if (!trace.fresh.empty()) {
        p.setPen(QPen(look_.lines[static_cast<size_t>(channel)], 1));
        p.setBrush(Qt::NoBrush);
        QList<QRectF> boxes;
        boxes.reserve(static_cast<qsizetype>(trace.fresh.size()));
        for (const QPointF& f : trace.fresh)
            boxes.append(QRectF(f.x() - 2, f.y() - 2, 4, 4));
        p.drawRects(boxes.constData(), static_cast<int>(boxes.size()));
    }
}

QPen StripChart::SeriesPen(int channel) const
{
    QPen pen(look_.lines[static_cast<size_t>(channel)], channels_[static_cast<size_t>(channel)].width);
    pen.setCapStyle(Qt::FlatCap);
    pen.setJoinStyle(Qt::BevelJoin);
    if (look_.dashes) {
        static const Qt::PenStyle styles[kChannels] = {Qt::SolidLine, Qt::DashLine, Qt::DotLine,
                                                       Qt::DashDotLine};
        pen.setStyle(styles[channel]);
    }
    return pen;
}

void StripChart::DrawCursor(QPainter& p, const QRect& plot, int point, const QColor& colour, double x0,
                            double x1, double lo, double hi) const
{
    if (point < 0 || point >= PointCount() || x1 <= x0)
        return;
    const double x = X(point);
    if (x < x0 || x > x1)
        return;
    const double cx = plot.left() + (x - x0) * (plot.width() - 1) / (x1 - x0);
    p.setPen(QPen(colour, 1));
    p.drawLine(QPointF(cx, plot.top()), QPointF(cx, plot.bottom()));
    const double y = Y(cursorChannel_, point);
    if (!std::isfinite(y) || y < lo || y > hi)
        return;
    const double cy = plot.bottom() - (y - lo) * (plot.height() - 1) / (hi - lo);
    p.drawEllipse(QPointF(cx, cy), 3.5, 3.5);
}

void StripChart::DrawTimeAxis(QPainter& p, const QRect& plot, double x0, double x1) const
{
    if (!(x1 > x0))
        return;
    const double origin = look_.elapsedAxis && PointCount() > 0 ? X(0) : 0.0;
    const double a = (x0 - origin) * kSecondsPerDay;
    const double b = (x1 - origin) * kSecondsPerDay;
    const double step = TickStep(b - a);
    const double first = std::ceil(a / step - 1e-9) * step;
    const int labelWidth = look_.elapsedAxis ? 70 : 80;
    int lastRight = std::numeric_limits<int>::min();
    for (int k = 0; k < 200; ++k) {
        const double t = first + k * step;
        if (t > b + 1e-9)
            break;
        const int gx = plot.left() + static_cast<int>(std::lround((t - a) / (b - a) * (plot.width() - 1)));
        if (look_.showGrid) {
            p.setPen(QPen(look_.grid, 1, Qt::DotLine));
            p.drawLine(gx, plot.top(), gx, plot.bottom());
        }
        const QRect box(gx - labelWidth / 2, plot.bottom() + 4, labelWidth, 16);
        if (box.left() <= lastRight || box.right() > plot.right() + 30)
            continue;
        p.setPen(look_.text);
        const QString text = look_.elapsedAxis ? QStringLiteral("%1 s").arg(NumberText(t))
                                               : TimeOfDay(origin + t / kSecondsPerDay + 1e-9, step < 1.0);
        p.drawText(box, Qt::AlignCenter, text);
        lastRight = box.right();
    }
}

void StripChart::DrawReadout(QPainter& p, const QRect& plot) const
{
    QStringList lines;
    // The sample's own station, item and unit: what it was taken with, not today's setup.
    const SampleSource& source = store_->Source(cursorChannel_, cursorPoint_);
    const double value = store_->Value(cursorChannel_, cursorPoint_);
    const QString reading =
        source.on && std::isfinite(value)
            ? QStringLiteral("%1 %2 %3")
                  .arg(QString::fromStdString(source.Legend()), QString::number(value, 'f', 2),
                       QString::fromStdString(source.unit))
            : QString::fromStdString(source.Legend()) + QStringLiteral(" ---");
    lines << QStringLiteral("%1  Ch%2 %3")
                 .arg(TimeOfDay(X(cursorPoint_), true))
                 .arg(cursorChannel_ + 1)
                 .arg(reading);
    if (const auto d = CursorDeltas()) {
        lines << QStringLiteral("dt %1 s").arg(QString::number(d->seconds, 'f', 1));
        for (int c = 0; c < kChannels; ++c) {
            const Channel& ch = channels_[static_cast<size_t>(c)];
            if (ch.visible)
                lines << QStringLiteral("%1 d %2 %3")
                             .arg(ch.name, QString::number(d->values[static_cast<size_t>(c)], 'f', 2),
                                  ch.unit);
        }
    }
    const QFontMetrics fm = p.fontMetrics();
    int w = 0;
    for (const QString& l : lines)
        w = std::max(w, fm.horizontalAdvance(l));
    const QRect box(plot.right() - w - 12, plot.top() + 4, w + 8,
                    fm.height() * static_cast<int>(lines.size()) + 4);
    p.fillRect(box, look_.background);
    p.setPen(look_.cursor);
    p.drawRect(box);
    p.setPen(look_.text);
    for (int i = 0; i < lines.size(); ++i)
        p.drawText(box.left() + 4, box.top() + 2 + fm.ascent() + i * fm.height(), lines[i]);
}

void StripChart::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    Render(p, rect());
}

}  // namespace vm::scope
