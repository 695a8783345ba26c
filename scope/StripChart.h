#pragma once
// The strip chart the graph monitor draws on. It paints a sample store it does not own (one
// shared X axis of time stamps in days and four Y series with gaps for missing samples) with
// axes at round times, grid, legend, a data cursor (and an optional second one), and turns the
// mouse into cursor moves, zoom and scroll. A display-rate timer repaints when the store
// changed; each pixel column is drawn from the minimum and maximum of its points, so an hour of
// 0.1 s samples draws smoothly. The same painting serves the screen, images, SVG, the clipboard
// and the printer.

#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>

#include "base/Result.h"
#include "scope/ChartViewport.h"
#include "scope/SampleStore.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

class QPainter;
class QPen;
class QPagedPaintDevice;
class QTimer;

namespace vm::scope {

class StripChart : public QWidget {
    Q_OBJECT
public:
    static constexpr int kChannels = 4;
    static constexpr int kRepaintMs = 40;

    enum class Mode : int { Normal = 0, Scroll = 3, Cursor = 4, Zoom = 8 };
    enum class PictureFormat { Svg, Jpeg, Bmp, Png };

    struct Look {
        QColor background{0, 0, 0};
        QColor text{255, 255, 255};
        QColor grid{0, 128, 0};
        QColor cursor{255, 255, 0};
        QColor cursor2{255, 255, 0};
        bool showLegend = true;
        bool showGrid = true;
        std::array<QColor, kChannels> lines;
        QString title;
        bool dashes = false;       // each channel its own dash pattern, for black and white
        bool elapsedAxis = false;  // time axis in seconds from the first sample
    };

    explicit StripChart(QWidget* parent = nullptr);
    ~StripChart() override;

    // Data: drawn, never owned. The store must outlive the chart or be taken away first.
    void SetStore(const SampleStore* store);
    int PointCount() const { return store_ ? store_->Size() : 0; }

    // Axes.
    void SetSpan(double days);
    double Span() const { return viewport_.Span(); }
    ChartViewport& Viewport() { return viewport_; }
    void SetYRange(double minimum, double maximum);
    void SetAutoScale(bool on);
    bool AutoScale() const { return autoScale_; }
    // The range as drawn (auto scaled or set; never empty).
    double ShownYMin() const;
    double ShownYMax() const;

    // Appearance.
    void SetChannel(int channel, const QString& name, const QColor& colour, int widthPx);
    void SetLegendText(int channel, const QString& text);
    QString LegendText(int channel) const { return channels_.at(static_cast<size_t>(channel)).legend; }
    void SetChannelVisible(int channel, bool visible);
    bool ChannelVisible(int channel) const { return channels_.at(static_cast<size_t>(channel)).visible; }
    void SetLineColour(int channel, const QColor& colour);
    void SetLineWidth(int channel, int px);
    int LineWidth(int channel) const { return channels_.at(static_cast<size_t>(channel)).width; }
    Look CurrentLook() const;
    void SetLook(const Look& look);
    void SetBackground(const QColor& c)
    {
        look_.background = c;
        Dirty();
    }
    void SetTextColour(const QColor& c)
    {
        look_.text = c;
        Dirty();
    }
    void SetGridColour(const QColor& c)
    {
        look_.grid = c;
        Dirty();
    }
    void SetCursorColour(const QColor& c)
    {
        look_.cursor = c;
        look_.cursor2 = c;
        Dirty();
    }
    void SetShowGrid(bool on)
    {
        look_.showGrid = on;
        Dirty();
    }
    void SetShowLegend(bool on)
    {
        look_.showLegend = on;
        Dirty();
    }
    void SetElapsedAxis(bool on)
    {
        look_.elapsedAxis = on;
        Dirty();
    }
    void SetTitle(const QString& title)
    {
        look_.title = title;
        Dirty();
    }
    // Factor from a plotted difference to a value difference, for the second cursor's read-out.
    void SetValueScale(int channel, double factor, const QString& unit);

    // Screen modes and cursors.
    void SetMode(Mode mode);
    Mode ScreenMode() const { return mode_; }
    void SetCursorChannel(int channel);
    int CursorChannel() const { return cursorChannel_; }
    void SetCursorPoint(int point);
    int CursorPoint() const { return cursorPoint_; }
    void SetSecondCursorEnabled(bool on);
    bool SecondCursorEnabled() const { return secondEnabled_; }
    void SetSecondCursorPoint(int point);
    int SecondCursorPoint() const { return secondPoint_; }
    // Second cursor minus first: seconds, and each channel's value difference (plotted
    // difference times the channel's value scale). Empty when the second cursor is not set.
    struct Deltas {
        double seconds = 0.0;
        std::array<double, kChannels> values{};
    };
    std::optional<Deltas> CursorDeltas() const;

    // Bulk changes: drawing waits until the outermost bracket closes.
    void BeginUpdate();
    void EndUpdate();
    void SetDrawingEnabled(bool on);

    // Output. The picture is the widget's size, or 1200 x 600 while it has none.
    QSize PictureSize() const;
    void Render(QPainter& painter, const QRect& area) const;
    QImage ToImage(const QSize& size) const;
    // Written through a temporary file; false with `error` set.
    Result<> SavePicture(const QString& path, PictureFormat format) const;
    void CopyToClipboard() const;
    bool Print(QPagedPaintDevice& device) const;

    // Geometry of the plot inside an area, for tests and the mouse.
    QRect PlotArea(const QRect& area) const;
    // The first and last visible X.
    double ViewStart() const;
    double ViewEnd() const { return ViewStart() + ViewSpan(); }
    // Back to following the newest samples (normal) or showing all of them (zoom, scroll).
    void ShowAll();

signals:
    void CursorChannelChanged(int channel);  // the user picked another cursor channel
    void CursorMoved(int point);             // the user moved the cursor

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    struct Channel {
        QString name;
        QString legend;
        int width = 1;
        bool visible = true;
        double valueScale = 1.0;
        QString unit;
    };

    void Dirty();
    void OnRepaintTimer();
    double ViewSpan() const;
    void ComputeAutoRange(double& lo, double& hi) const;
    double Y(int channel, int point) const;
    double X(int point) const;
    int NearestPoint(double x) const;
    double XAt(const QRect& plot, int px) const;
    void DrawSeries(QPainter& p, const QRect& plot, int channel, double x0, double x1, double lo,
                    double hi) const;
    void DrawCursor(QPainter& p, const QRect& plot, int point, const QColor& colour, double x0, double x1,
                    double lo, double hi) const;
    QPen SeriesPen(int channel) const;
    void DrawTimeAxis(QPainter& p, const QRect& plot, double x0, double x1) const;
    void DrawReadout(QPainter& p, const QRect& plot) const;

    const SampleStore* store_ = nullptr;
    uint64_t drawnRevision_ = 0;
    std::array<Channel, kChannels> channels_;
    Look look_;
    double yMin_ = 0.0;
    double yMax_ = 100.0;
    bool autoScale_ = true;
    Mode mode_ = Mode::Normal;
    int cursorChannel_ = 0;
    int cursorPoint_ = 0;
    bool secondEnabled_ = false;
    int secondPoint_ = -1;
    ChartViewport viewport_;
    int dragStartPx_ = -1;
    int dragNowPx_ = -1;
    double dragViewStart_ = 0.0;

    int updateDepth_ = 0;
    bool drawingEnabled_ = true;
    bool dirty_ = false;
    QTimer* repaint_ = nullptr;
};

// Days since 1899-12-30 of a local date and time, as the chart keeps X values.
double DaysFromDateTime(const class QDateTime& time);

}  // namespace vm::scope
