// The strip chart's mouse and keys: the data cursor, zoom around the pointer, scroll and show all.

#include "scope/StripChart.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace vm::scope {

double StripChart::XAt(const QRect& plot, int px) const
{
    return ViewStart() + (px - plot.left()) * ViewSpan() / std::max(1, plot.width() - 1);
}

int StripChart::NearestPoint(double x) const
{
    if (PointCount() == 0)
        return 0;
    const auto& xs = store_->Xs();
    auto it = std::lower_bound(xs.begin(), xs.end(), x);
    if (it == xs.end())
        return PointCount() - 1;
    if (it != xs.begin() && x - *(it - 1) < *it - x)
        --it;
    return static_cast<int>(it - xs.begin());
}

void StripChart::mousePressEvent(QMouseEvent* event)
{
    const QRect plot = PlotArea(rect());
    const int px = static_cast<int>(event->position().x());
    if (mode_ == Mode::Cursor && PointCount() > 0) {
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
    if (mode_ == Mode::Zoom || mode_ == Mode::Scroll) {
        if (event->button() == Qt::RightButton) {
            ShowAll();
            return;
        }
        dragStartPx_ = dragNowPx_ = px;
        dragViewStart_ = ViewStart();
    }
}

void StripChart::mouseMoveEvent(QMouseEvent* event)
{
    if (dragStartPx_ < 0) {
        if (mode_ == Mode::Cursor && (event->buttons() & Qt::LeftButton) && PointCount() > 0) {
            SetCursorPoint(NearestPoint(XAt(PlotArea(rect()), static_cast<int>(event->position().x()))));
            emit CursorMoved(cursorPoint_);
        }
        return;
    }
    dragNowPx_ = static_cast<int>(event->position().x());
    if (mode_ == Mode::Scroll && store_) {
        const QRect plot = PlotArea(rect());
        const double target =
            dragViewStart_ - (dragNowPx_ - dragStartPx_) * ViewSpan() / std::max(1, plot.width() - 1);
        viewport_.ScrollBy(store_->Xs(), target - ViewStart());
    }
    Dirty();
}

void StripChart::mouseReleaseEvent(QMouseEvent*)
{
    if (dragStartPx_ >= 0 && mode_ == Mode::Zoom && std::abs(dragNowPx_ - dragStartPx_) > 3) {
        const QRect plot = PlotArea(rect());
        const double a = XAt(plot, std::min(dragStartPx_, dragNowPx_));
        const double b = XAt(plot, std::max(dragStartPx_, dragNowPx_));
        viewport_.ZoomTo(a, b);
    }
    dragStartPx_ = dragNowPx_ = -1;
    Dirty();
}

void StripChart::keyPressEvent(QKeyEvent* event)
{
    if (mode_ == Mode::Cursor && PointCount() > 0 &&
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
    if (!store_ || event->angleDelta().y() == 0)
        return;
    // Around the pointer: the time axis, or with Ctrl the value axis. While monitoring this stops
    // following the newest samples until a right click.
    const double factor = event->angleDelta().y() > 0 ? 0.8 : 1.25;
    const QRect plot = PlotArea(rect());
    if (event->modifiers() & Qt::ControlModifier) {
        const double lo = ShownYMin(), hi = ShownYMax();
        const double share = (plot.bottom() - event->position().y()) / std::max(1, plot.height() - 1);
        viewport_.ZoomValues(lo, hi, lo + std::clamp(share, 0.0, 1.0) * (hi - lo), factor);
    } else {
        viewport_.ZoomTime(store_->Xs(), XAt(plot, static_cast<int>(event->position().x())), factor);
    }
    Dirty();
}

void StripChart::contextMenuEvent(QContextMenuEvent* event)
{
    // Outside zoom and scroll the right button returns to following the newest samples.
    if (mode_ == Mode::Normal) {
        ShowAll();
        event->accept();
    }
}

}  // namespace vm::scope
