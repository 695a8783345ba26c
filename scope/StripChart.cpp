#include "scope/StripChart.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
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
constexpr int kGridX = 10;
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
    look_.lines = {QColor(231, 255, 181), QColor(148, 255, 222), QColor(255, 105, 255), QColor(214, 215, 214)};
    repaint_ = new QTimer(this);
    repaint_->setInterval(kRepaintMs);
    connect(repaint_, &QTimer::timeout, this, &StripChart::OnRepaintTimer);
    repaint_->start();
}

StripChart::~StripChart() = default;

void StripChart::Dirty() { dirty_ = true; }

void StripChart::OnRepaintTimer()
{
    if (dirty_ && drawingEnabled_ && updateDepth_ == 0) {
        dirty_ = false;
        update();
    }
}

int StripChart::AppendPoint(double xDays)
{
    if (static_cast<int>(x_.size()) >= kMaxPoints) {
        const size_t drop = kMaxPoints / 10;
        x_.erase(x_.begin(), x_.begin() + static_cast<std::ptrdiff_t>(drop));
        for (auto& ys : y_)
            ys.erase(ys.begin(), ys.begin() + static_cast<std::ptrdiff_t>(drop));
        dropped_ += static_cast<int64_t>(drop);
        cursorPoint_ = std::max(0, cursorPoint_ - static_cast<int>(drop));
    }
    x_.push_back(xDays);
    for (auto& ys : y_)
        ys.push_back(0.0);
    Dirty();
    return static_cast<int>(x_.size()) - 1;
}

int StripChart::AppendNow()
{
    if (!monotonic_.isValid()) {
        clockBase_ = DaysFromDateTime(QDateTime::currentDateTime());
        monotonic_.start();
    }
    return AppendPoint(clockBase_ + static_cast<double>(monotonic_.nsecsElapsed()) / (kSecondsPerDay * 1e9));
}

void StripChart::SetY(int channel, int point, double y)
{
    if (channel < 0 || channel >= kChannels || point < 0 || point >= PointCount())
        return;
    y_[static_cast<size_t>(channel)][static_cast<size_t>(point)] = y;
    Dirty();
}

double StripChart::Y(int channel, int point) const
{
    if (channel < 0 || channel >= kChannels || point < 0 || point >= PointCount())
        return 0.0;
    return y_[static_cast<size_t>(channel)][static_cast<size_t>(point)];
}

double StripChart::X(int point) const
{
    if (point < 0 || point >= PointCount())
        return 0.0;
    return x_[static_cast<size_t>(point)];
}

void StripChart::Clear()
{
    x_.clear();
    x_.shrink_to_fit();
    for (auto& ys : y_) {
        ys.clear();
        ys.shrink_to_fit();
    }
    dropped_ = 0;
    cursorPoint_ = 0;
    secondPoint_ = -1;
    fixedView_ = false;
    monotonic_.invalidate();
    Dirty();
}

void StripChart::SetSpan(double days)
{
    if (std::isfinite(days) && days > 0)
        span_ = days;
    fixedView_ = false;
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

double StripChart::ViewSpan() const { return fixedView_ ? viewSpan_ : span_; }

double StripChart::ViewStart() const
{
    if (fixedView_)
        return viewStart_;
    if (x_.empty())
        return 0.0;
    const double last = x_.back();
    const double first = x_.front();
    return last - first < span_ ? first : last - span_;
}

void StripChart::ComputeAutoRange(double& lo, double& hi) const
{
    lo = std::numeric_limits<double>::infinity();
    hi = -lo;
    const double x0 = ViewStart();
    const double x1 = x0 + ViewSpan();
    const auto b = std::lower_bound(x_.begin(), x_.end(), x0);
    const auto e = std::upper_bound(b, x_.end(), x1);
    const size_t from = static_cast<size_t>(b - x_.begin());
    const size_t to = static_cast<size_t>(e - x_.begin());
    for (int c = 0; c < kChannels; ++c) {
        if (!channels_[static_cast<size_t>(c)].visible)
            continue;
        const auto& ys = y_[static_cast<size_t>(c)];
        for (size_t i = from; i < to; ++i) {
            lo = std::min(lo, ys[i]);
            hi = std::max(hi, ys[i]);
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
    if (autoScale_)
        ComputeAutoRange(lo, hi);
    // An empty range would divide by zero: widen it around the value.
    if (hi - lo < 1e-12)
        return lo - (std::fabs(lo) > 1 ? std::fabs(lo) * 0.1 : 1.0);
    return lo;
}

double StripChart::ShownYMax() const
{
    double lo = yMin_, hi = yMax_;
    if (autoScale_)
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
    if (channel >= 0 && channel < kChannels) {
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

StripChart::Look StripChart::CurrentLook() const { return look_; }

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
    if (mode == Mode::kNormal)
        fixedView_ = false;
    else if (!fixedView_) {
        viewStart_ = ViewStart();
        viewSpan_ = span_;
        fixedView_ = mode != Mode::kCursor;
    }
    if (mode == Mode::kCursor && PointCount() > 0)
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

void StripChart::BeginUpdate() { ++updateDepth_; }

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
            p.fillRect(QRect(x, y + 5, 14, 4), look_.lines[static_cast<size_t>(c)]);
            p.setPen(look_.text);
            const int w = p.fontMetrics().horizontalAdvance(text);
            p.drawText(QRect(x + 18, y, w + 2, 16), Qt::AlignVCenter | Qt::AlignLeft, text);
            x += 18 + w + 16;
        }
    }

    if (look_.showGrid) {
        p.setPen(QPen(look_.grid, 1, Qt::DotLine));
        for (int i = 1; i < kGridX; ++i) {
            const int gx = plot.left() + plot.width() * i / kGridX;
            p.drawLine(gx, plot.top(), gx, plot.bottom());
        }
        for (int i = 1; i < kGridY; ++i) {
            const int gy = plot.top() + plot.height() * i / kGridY;
            p.drawLine(plot.left(), gy, plot.right(), gy);
        }
    }
    p.setPen(look_.text);
    for (int i = 0; i <= kGridY; i += 2) {
        const int gy = plot.bottom() - (plot.height() - 1) * i / kGridY;
        const double v = lo + (hi - lo) * i / kGridY;
        p.drawText(QRect(area.left(), gy - 8, plot.left() - area.left() - 4, 16), Qt::AlignRight | Qt::AlignVCenter,
                   NumberText(v));
    }
    for (int i = 0; i <= kGridX; i += 2) {
        const int gx = plot.left() + (plot.width() - 1) * i / kGridX;
        const double v = x0 + (x1 - x0) * i / kGridX;
        // The last label ends at the plot's edge instead of running off the picture.
        const QRect box = i == kGridX ? QRect(gx - 80, plot.bottom() + 4, 82, 16) : QRect(gx - 40, plot.bottom() + 4, 80, 16);
        p.drawText(box, i == kGridX ? (Qt::AlignRight | Qt::AlignVCenter) : Qt::AlignCenter, TimeOfDay(v));
    }
    p.setPen(look_.text);
    p.setBrush(Qt::NoBrush);
    p.drawRect(plot.adjusted(-1, -1, 0, 0));

    p.save();
    p.setClipRect(plot);
    for (int c = 0; c < kChannels; ++c)
        if (channels_[static_cast<size_t>(c)].visible)
            DrawSeries(p, plot, c, x0, x1, lo, hi);
    if (mode_ == Mode::kCursor && PointCount() > 0) {
        DrawCursor(p, plot, cursorPoint_, look_.cursor, x0, x1, lo, hi);
        if (secondEnabled_ && secondPoint_ >= 0)
            DrawCursor(p, plot, secondPoint_, look_.cursor2, x0, x1, lo, hi);
    }
    if (dragStartPx_ >= 0 && mode_ == Mode::kZoom) {
        const int a = std::min(dragStartPx_, dragNowPx_), b = std::max(dragStartPx_, dragNowPx_);
        p.setPen(QPen(look_.cursor, 1, Qt::DashLine));
        p.drawRect(QRect(a, plot.top(), b - a, plot.height() - 1));
    }
    p.restore();
    if (mode_ == Mode::kCursor && PointCount() > 0)
        DrawReadout(p, plot);
    p.restore();
}

void StripChart::DrawSeries(QPainter& p, const QRect& plot, int channel, double x0, double x1, double lo,
                            double hi) const
{
    if (x_.empty() || x1 <= x0)
        return;
    const auto& ys = y_[static_cast<size_t>(channel)];
    // One point before and after the window so the line reaches the edges.
    auto b = std::lower_bound(x_.begin(), x_.end(), x0);
    auto e = std::upper_bound(b, x_.end(), x1);
    if (b != x_.begin())
        --b;
    if (e != x_.end())
        ++e;
    const size_t from = static_cast<size_t>(b - x_.begin());
    const size_t to = static_cast<size_t>(e - x_.begin());
    if (from >= to)
        return;
    const double sx = (plot.width() - 1) / (x1 - x0);
    const double sy = (plot.height() - 1) / (hi - lo);
    const auto px = [&](double x) { return plot.left() + (x - x0) * sx; };
    // Whole pixel rows, so a flat line lies on one row.
    const auto py = [&](double y) { return std::round(plot.bottom() - (y - lo) * sy); };

    QPen pen(look_.lines[static_cast<size_t>(channel)], channels_[static_cast<size_t>(channel)].width);
    pen.setCapStyle(Qt::FlatCap);
    pen.setJoinStyle(Qt::BevelJoin);
    // Unscaled thin lines take the rasteriser's fast path; the printer's scaled lines keep their width.
    if (pen.width() == 1 && p.transform().type() <= QTransform::TxTranslate)
        pen.setCosmetic(true);
    p.setPen(pen);
    QPolygonF line;
    if (to - from <= static_cast<size_t>(plot.width()) * 2) {
        line.reserve(static_cast<qsizetype>(to - from));
        for (size_t i = from; i < to; ++i)
            line.append(QPointF(px(x_[i]), py(ys[i])));
    } else {
        // Minimum and maximum per pixel column, entered and left at the column's first and last value.
        line.reserve(plot.width() * 4 + 8);
        size_t i = from;
        while (i < to) {
            const int col = static_cast<int>(std::floor(px(x_[i])));
            const double first = ys[i];
            double mn = first, mx = first, last = first;
            size_t j = i + 1;
            while (j < to && static_cast<int>(std::floor(px(x_[j]))) == col) {
                last = ys[j];
                mn = std::min(mn, last);
                mx = std::max(mx, last);
                ++j;
            }
            const double cx = col + 0.5;
            line.append(QPointF(cx, py(first)));
            if (mn != mx) {
                line.append(QPointF(cx, py(mn)));
                line.append(QPointF(cx, py(mx)));
            }
            line.append(QPointF(cx, py(last)));
            i = j;
        }
    }
    if (line.size() == 1)
        p.drawPoint(line.front());
    else
        p.drawPolyline(line);
}

void StripChart::DrawCursor(QPainter& p, const QRect& plot, int point, const QColor& colour, double x0, double x1,
                            double lo, double hi) const
{
    if (point < 0 || point >= PointCount() || x1 <= x0)
        return;
    const double cx = plot.left() + (x_[static_cast<size_t>(point)] - x0) * (plot.width() - 1) / (x1 - x0);
    p.setPen(QPen(colour, 1));
    p.drawLine(QPointF(cx, plot.top()), QPointF(cx, plot.bottom()));
    const double cy = plot.bottom() - (Y(cursorChannel_, point) - lo) * (plot.height() - 1) / (hi - lo);
    p.drawEllipse(QPointF(cx, cy), 3.5, 3.5);
}

void StripChart::DrawReadout(QPainter& p, const QRect& plot) const
{
    QStringList lines;
    lines << QStringLiteral("%1  Ch%2 %3")
                 .arg(TimeOfDay(X(cursorPoint_), true))
                 .arg(cursorChannel_ + 1)
                 .arg(NumberText(Y(cursorChannel_, cursorPoint_)));
    if (const auto d = CursorDeltas()) {
        lines << QStringLiteral("dt %1 s").arg(QString::number(d->seconds, 'f', 1));
        for (int c = 0; c < kChannels; ++c) {
            const Channel& ch = channels_[static_cast<size_t>(c)];
            if (ch.visible)
                lines << QStringLiteral("%1 d %2 %3").arg(ch.name, QString::number(d->values[static_cast<size_t>(c)], 'f', 2), ch.unit);
        }
    }
    const QFontMetrics fm = p.fontMetrics();
    int w = 0;
    for (const QString& l : lines)
        w = std::max(w, fm.horizontalAdvance(l));
    const QRect box(plot.right() - w - 12, plot.top() + 4, w + 8, fm.height() * static_cast<int>(lines.size()) + 4);
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

QSize StripChart::PictureSize() const
{
    const QSize s = size();
    return (isVisible() && s.width() >= 200 && s.height() >= 120) ? s : QSize(1200, 600);
}

QImage StripChart::ToImage(const QSize& size) const
{
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    Render(p, QRect(QPoint(0, 0), size));
    p.end();
    return image;
}

bool StripChart::SavePicture(const QString& path, PictureFormat format, QString* error) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    const QSize size = PictureSize();
    bool ok = true;
    if (format == PictureFormat::kSvg) {
        QSvgGenerator svg;
        svg.setOutputDevice(&file);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setTitle(QStringLiteral("Graph Monitor"));
        QPainter p;
        ok = p.begin(&svg);
        if (ok) {
            Render(p, QRect(QPoint(0, 0), size));
            ok = p.end();
        }
    } else {
        const char* fmt = format == PictureFormat::kJpeg ? "JPEG" : format == PictureFormat::kBmp ? "BMP" : "PNG";
        QImageWriter writer(&file, fmt);
        if (format == PictureFormat::kJpeg)
            writer.setQuality(100);
        ok = writer.write(ToImage(size));
        if (!ok && error)
            *error = writer.errorString();
    }
    if (ok && file.error() != QFileDevice::NoError)
        ok = false;
    if (ok)
        ok = file.commit();
    else
        file.cancelWriting();
    if (!ok && error && error->isEmpty())
        *error = file.errorString();
    return ok;
}

void StripChart::CopyToClipboard() const
{
    if (QClipboard* clip = QApplication::clipboard())
        clip->setImage(ToImage(PictureSize()));
}

bool StripChart::Print(QPagedPaintDevice& device) const
{
    QPainter p;
    if (!p.begin(&device))
        return false;
    const QRect page = p.viewport();
    const QSize pic = PictureSize();
    // Keep the screen's proportions and scale to the page width.
    const double scale = std::min(page.width() / static_cast<double>(pic.width()),
                                  page.height() / static_cast<double>(pic.height()));
    p.scale(scale, scale);
    Render(p, QRect(QPoint(0, 0), pic));
    return p.end();
}

double StripChart::XAt(const QRect& plot, int px) const
{
    return ViewStart() + (px - plot.left()) * ViewSpan() / std::max(1, plot.width() - 1);
}

int StripChart::NearestPoint(double x) const
{
    if (x_.empty())
        return 0;
    auto it = std::lower_bound(x_.begin(), x_.end(), x);
    if (it == x_.end())
        return PointCount() - 1;
    if (it != x_.begin() && x - *(it - 1) < *it - x)
        --it;
    return static_cast<int>(it - x_.begin());
}

void StripChart::mousePressEvent(QMouseEvent* event)
{
    const QRect plot = PlotArea(rect());
    const int px = static_cast<int>(event->position().x());
    if (mode_ == Mode::kCursor && PointCount() > 0) {
        const int point = NearestPoint(XAt(plot, px));
        if (secondEnabled_ && (event->modifiers() & Qt::ShiftModifier)) {
            SetSecondCursorPoint(point);
            return;
        }
        // The channel whose line is nearest the click becomes the cursor channel.
        const double lo = ShownYMin(), hi = ShownYMax();
        int best = -1;
        double bestDist = 12.0;
        for (int c = 0; c < kChannels; ++c) {
            if (!channels_[static_cast<size_t>(c)].visible)
                continue;
            const double cy = plot.bottom() - (Y(c, point) - lo) * (plot.height() - 1) / (hi - lo);
            const double d = std::fabs(cy - event->position().y());
            if (d < bestDist) {
                bestDist = d;
                best = c;
            }
        }
        if (best >= 0 && best != cursorChannel_) {
            SetCursorChannel(best);
            emit CursorChannelChanged(best);
        }
        SetCursorPoint(point);
        emit CursorMoved(point);
        return;
    }
    if (mode_ == Mode::kZoom || mode_ == Mode::kScroll) {
        if (event->button() == Qt::RightButton) {
            viewStart_ = x_.empty() ? 0.0 : x_.front();
            viewSpan_ = span_;
            fixedView_ = true;
            Dirty();
            return;
        }
        dragStartPx_ = dragNowPx_ = px;
        dragViewStart_ = ViewStart();
    }
}

void StripChart::mouseMoveEvent(QMouseEvent* event)
{
    if (dragStartPx_ < 0) {
        if (mode_ == Mode::kCursor && (event->buttons() & Qt::LeftButton) && PointCount() > 0) {
            SetCursorPoint(NearestPoint(XAt(PlotArea(rect()), static_cast<int>(event->position().x()))));
            emit CursorMoved(cursorPoint_);
        }
        return;
    }
    dragNowPx_ = static_cast<int>(event->position().x());
    if (mode_ == Mode::kScroll) {
        const QRect plot = PlotArea(rect());
        viewStart_ = dragViewStart_ - (dragNowPx_ - dragStartPx_) * ViewSpan() / std::max(1, plot.width() - 1);
        fixedView_ = true;
    }
    Dirty();
}

void StripChart::mouseReleaseEvent(QMouseEvent*)
{
    if (dragStartPx_ >= 0 && mode_ == Mode::kZoom && std::abs(dragNowPx_ - dragStartPx_) > 3) {
        const QRect plot = PlotArea(rect());
        const double a = XAt(plot, std::min(dragStartPx_, dragNowPx_));
        const double b = XAt(plot, std::max(dragStartPx_, dragNowPx_));
        viewStart_ = a;
        viewSpan_ = b - a;
        fixedView_ = true;
    }
    dragStartPx_ = dragNowPx_ = -1;
    Dirty();
}

void StripChart::keyPressEvent(QKeyEvent* event)
{
    if (mode_ == Mode::kCursor && PointCount() > 0 &&
        (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right)) {
        const int step = (event->modifiers() & Qt::ShiftModifier) ? 10 : 1;
        SetCursorPoint(cursorPoint_ + (event->key() == Qt::Key_Left ? -step : step));
        emit CursorMoved(cursorPoint_);
        return;
    }
    QWidget::keyPressEvent(event);
}

void StripChart::wheelEvent(QWheelEvent* event)
{
    if (mode_ != Mode::kZoom && mode_ != Mode::kScroll)
        return;
    const double factor = event->angleDelta().y() > 0 ? 0.8 : 1.25;
    const double centre = ViewStart() + ViewSpan() / 2;
    viewSpan_ = std::clamp(ViewSpan() * factor, 1.0 / kSecondsPerDay, 7.0);
    viewStart_ = centre - viewSpan_ / 2;
    fixedView_ = true;
    Dirty();
}

}  // namespace vm::scope
