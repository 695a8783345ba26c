// The strip chart drawn into images and checked by pixels, its exports and cursors, and the
// lines a channel is drawn as.

#include "scope/ChartTrace.h"
#include "scope/StripChart.h"

#include <QApplication>
#include <QDir>
#include <QImageReader>
#include <QMouseEvent>
#include <QPainter>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>

using namespace vm::scope;

namespace {

constexpr double kSecond = 1.0 / 86400.0;

using Values = std::function<double(int channel, int point)>;

// `n` samples `step` days apart from day 46000, all fresh.
void Fill(SampleStore& store, int n, double step, const Values& value)
{
    store.Clear();
    for (int i = 0; i < n; ++i) {
        std::array<SampleStore::Sample, 4> s;
        for (int c = 0; c < 4; ++c)
            s[static_cast<size_t>(c)] = {value(c, i), SampleMark::Fresh};
        store.Append(46000.0 + i * step, s);
    }
}

// 61 points one second apart, `channel` flat at `value`, span 60 s, fixed Y 0-100.
void FillFlat(SampleStore& store, StripChart& chart, int channel, double value)
{
    chart.SetStore(&store);
    chart.SetAutoScale(false);
    chart.SetYRange(0.0, 100.0);
    chart.SetSpan(60 * kSecond);
    Fill(store, 61, kSecond, [&](int c, int) { return c == channel ? value : 0.0; });
}

int RowFor(const QRect& plot, double value, double lo, double hi)
{
    return static_cast<int>(std::lround(plot.bottom() - (value - lo) * (plot.height() - 1) / (hi - lo)));
}

// Pixels of a colour in one row of the plot, well inside it.
int CountInRow(const QImage& image, const QRect& plot, int row, QRgb colour)
{
    int n = 0;
    for (int x = plot.left() + 5; x < plot.right() - 5; ++x)
        if ((image.pixel(x, row) & 0xFFFFFF) == (colour & 0xFFFFFF))
            ++n;
    return n;
}

}  // namespace

TEST(StripChartPixels, backgroundAndALineAtTheRowForFifty)
{
    SampleStore store;
    StripChart chart;
    chart.SetShowGrid(false);
    chart.SetChannel(0, "Ch1", QColor(255, 0, 0), 1);
    FillFlat(store, chart, 0, 50.0);
    for (int c = 1; c < 4; ++c)
        chart.SetChannelVisible(c, false);
    const QSize size(600, 300);
    const QImage image = chart.ToImage(size);
    const QRect plot = chart.PlotArea(QRect(QPoint(0, 0), size));
    const int row = RowFor(plot, 50.0, 0.0, 100.0);
    EXPECT_GT(CountInRow(image, plot, row, qRgb(255, 0, 0)), plot.width() - 20);
    EXPECT_EQ(CountInRow(image, plot, row - 3, qRgb(255, 0, 0)), 0);
    EXPECT_EQ(image.pixel(plot.left() + 10, row - 10) & 0xFFFFFF, 0u);  // black background
}

TEST(StripChartPixels, aHiddenChannelIsNotDrawn)
{
    SampleStore store;
    StripChart chart;
    chart.SetShowGrid(false);
    chart.SetChannel(1, "Ch2", QColor(0, 0, 255), 2);
    FillFlat(store, chart, 1, 30.0);
    const QSize size(600, 300);
    const QRect plot = chart.PlotArea(QRect(QPoint(0, 0), size));
    const int row = RowFor(plot, 30.0, 0.0, 100.0);
    EXPECT_GT(CountInRow(chart.ToImage(size), plot, row, qRgb(0, 0, 255)), 100);
    chart.SetChannelVisible(1, false);
    EXPECT_EQ(CountInRow(chart.ToImage(size), plot, row, qRgb(0, 0, 255)), 0);
}

TEST(StripChartPixels, printColoursAreBlackOnWhite)
{
    SampleStore store;
    StripChart chart;
    FillFlat(store, chart, 2, 70.0);
    StripChart::Look look = chart.CurrentLook();
    look.background = Qt::white;
    look.text = look.grid = look.cursor = Qt::black;
    look.cursor2 = Qt::white;
    look.lines.fill(Qt::black);
    look.title = "Wednesday, December 09, 2026";
    chart.SetLook(look);
    const QSize size(600, 300);
    const QImage image = chart.ToImage(size);
    const QRect plot = chart.PlotArea(QRect(QPoint(0, 0), size));
    EXPECT_EQ(image.pixel(2, 2) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_GT(CountInRow(image, plot, RowFor(plot, 70.0, 0.0, 100.0), qRgb(0, 0, 0)), plot.width() - 20);
    // Nothing but black, white and the grey of anti-aliased text.
    for (int y = 0; y < image.height(); y += 3)
        for (int x = 0; x < image.width(); x += 3) {
            const QRgb p = image.pixel(x, y);
            ASSERT_TRUE(qRed(p) == qGreen(p) && qGreen(p) == qBlue(p)) << x << "," << y;
        }
}

TEST(StripChartPixels, decimationKeepsASingleSpikeAmongAnHourOfPoints)
{
    SampleStore store;
    StripChart chart;
    chart.SetStore(&store);
    chart.SetShowGrid(false);
    chart.SetAutoScale(false);
    chart.SetYRange(0.0, 100.0);
    chart.SetSpan(3600 * kSecond);
    chart.SetChannel(0, "Ch1", QColor(0, 255, 0), 1);
    // One sample among 36,000.
    Fill(store, 36000, 0.1 * kSecond, [](int c, int i) { return c == 0 && i == 20000 ? 90.0 : 0.0; });
    const QSize size(1200, 600);
    const QImage image = chart.ToImage(size);
    const QRect plot = chart.PlotArea(QRect(QPoint(0, 0), size));
    EXPECT_GE(CountInRow(image, plot, RowFor(plot, 90.0, 0.0, 100.0), qRgb(0, 255, 0)), 1);
}

TEST(StripChartScale, equalMinimumAndMaximumStillGiveARange)
{
    StripChart chart;
    chart.SetAutoScale(false);
    chart.SetYRange(5.0, 5.0);
    EXPECT_LT(chart.ShownYMin(), chart.ShownYMax());
    chart.SetAutoScale(true);
    SampleStore store;
    FillFlat(store, chart, 0, 42.0);
    chart.SetAutoScale(true);
    EXPECT_LT(chart.ShownYMin(), 42.0);
    EXPECT_GT(chart.ShownYMax(), 42.0);
    EXPECT_FALSE(chart.ToImage(QSize(300, 200)).isNull());
}

TEST(StripChartExport, svgLoadsBackAndRasterFormatsAreReadable)
{
    SampleStore store;
    StripChart chart;
    FillFlat(store, chart, 0, 50.0);
    QTemporaryDir dir;
    const vm::Result<> svgSaved = chart.SavePicture(dir.filePath("p.svg"), StripChart::PictureFormat::Svg);
    ASSERT_TRUE(svgSaved) << svgSaved.Text();
    QSvgRenderer svg(dir.filePath("p.svg"));
    EXPECT_TRUE(svg.isValid());
    EXPECT_EQ(svg.viewBox(), QRect(0, 0, 1200, 600));
    for (auto [name, format, kind] : {std::tuple{"p.jpg", StripChart::PictureFormat::Jpeg, "jpeg"},
                                      std::tuple{"p.bmp", StripChart::PictureFormat::Bmp, "bmp"},
                                      std::tuple{"p.png", StripChart::PictureFormat::Png, "png"}}) {
        const vm::Result<> saved = chart.SavePicture(dir.filePath(name), format);
        ASSERT_TRUE(saved) << name << ": " << saved.Text();
        QImageReader reader(dir.filePath(name));
        EXPECT_EQ(reader.format(), QByteArray(kind));
        EXPECT_EQ(reader.size(), QSize(1200, 600));
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 4);
}

TEST(StripChartExport, aFailedExportIsReportedAndLeavesNothingBehind)
{
    StripChart chart;
    QTemporaryDir dir;
    const vm::Result<> noFolder =
        chart.SavePicture(dir.filePath("none/p.bmp"), StripChart::PictureFormat::Bmp);
    EXPECT_FALSE(noFolder);
    EXPECT_FALSE(noFolder.Text().empty());
    // A folder in the way of the name: the export fails and the folder is untouched.
    QDir().mkpath(dir.filePath("taken.png/inside"));
    const vm::Result<> folderInTheWay =
        chart.SavePicture(dir.filePath("taken.png"), StripChart::PictureFormat::Png);
    EXPECT_FALSE(folderInTheWay);
    EXPECT_FALSE(folderInTheWay.Text().empty());
    EXPECT_TRUE(QFileInfo(dir.filePath("taken.png/inside")).isDir());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 0);
}

TEST(StripChartCursor, cursorPointIsClampedAndSecondCursorIsOffByDefault)
{
    SampleStore store;
    StripChart chart;
    FillFlat(store, chart, 0, 1.0);
    Fill(store, 61, kSecond, [](int c, int i) { return c == 0 ? (i == 10 ? 4.0 : 1.0) : 0.0; });
    chart.SetMode(StripChart::Mode::Cursor);
    chart.SetCursorPoint(500);
    EXPECT_EQ(chart.CursorPoint(), 60);
    chart.SetCursorPoint(-3);
    EXPECT_EQ(chart.CursorPoint(), 0);
    EXPECT_FALSE(chart.SecondCursorEnabled());
    EXPECT_FALSE(chart.CursorDeltas().has_value());
    chart.SetSecondCursorEnabled(true);
    chart.SetSecondCursorPoint(10);
    chart.SetValueScale(0, 2.0, "Hz");  // 2 per division
    const auto d = chart.CursorDeltas();
    ASSERT_TRUE(d.has_value());
    EXPECT_NEAR(d->seconds, 10.0, 1e-6);
    EXPECT_DOUBLE_EQ(d->values[0], 6.0);  // (4 - 1) x 2
    EXPECT_DOUBLE_EQ(d->values[1], 0.0);
    chart.SetSecondCursorEnabled(false);
    EXPECT_FALSE(chart.CursorDeltas().has_value());
}

TEST(StripChartMouse, rightClickInZoomShowsEverySample)
{
    SampleStore store;
    StripChart chart;
    chart.resize(900, 400);
    chart.SetStore(&store);
    chart.SetSpan(60 * kSecond);
    Fill(store, 601, kSecond, [](int, int i) { return i % 50; });  // ten minutes
    chart.SetMode(StripChart::Mode::Zoom);
    QMouseEvent click(QEvent::MouseButtonPress, QPointF(300, 200), QPointF(300, 200), Qt::RightButton,
                      Qt::RightButton, Qt::NoModifier);
    QApplication::sendEvent(&chart, &click);
    EXPECT_DOUBLE_EQ(chart.ViewStart(), store.X(0));
    EXPECT_NEAR((chart.ViewEnd() - store.X(600)) / kSecond, 0.0, 1e-3);
}

TEST(StripChartStress, drawingWhileSamplesArriveAndChannelsSwitchStaysInBounds)
{
    // Appends with time gaps, missing and huge values, channels switched off and on, zoom and
    // scroll far from the data, pictures of every size: painting once crashed after such runs.
    std::mt19937 rng(11);
    SampleStore store;
    StripChart chart;
    chart.resize(800, 400);
    chart.SetStore(&store);
    chart.SetSpan(60 * kSecond);
    double x = 46000.0;
    const StripChart::Mode modes[4] = {StripChart::Mode::Normal, StripChart::Mode::Scroll,
                                       StripChart::Mode::Cursor, StripChart::Mode::Zoom};
    for (int round = 0; round < 150; ++round) {
        const int n = 1 + static_cast<int>(rng() % 400);
        for (int i = 0; i < n; ++i) {
            x += rng() % 300 == 0 ? 1e4 : 0.1 * kSecond;
            std::array<SampleStore::Sample, 4> s;
            for (int c = 0; c < 4; ++c) {
                const int pick = static_cast<int>(rng() % 100);
                s[static_cast<size_t>(c)] = {
                    pick == 0   ? 1e308
                    : pick == 1 ? -1e308
                                : std::sin(i * 0.01) * 40,
                    pick == 2 ? SampleMark::Missing : static_cast<SampleMark>(rng() % 2)};
            }
            store.Append(x, s);
        }
        for (int c = 0; c < 4; ++c)
            chart.SetChannelVisible(c, rng() % 3 != 0);
        chart.SetLineWidth(static_cast<int>(rng() % 4), 1 + static_cast<int>(rng() % 4));
        chart.SetAutoScale(rng() % 2);
        if (rng() % 10 == 0)
            chart.SetMode(modes[rng() % 4]);
        if (rng() % 5 == 0) {
            QWheelEvent w(QPointF(100 + rng() % 600, 200), QPointF(), QPoint(),
                          QPoint(0, rng() % 2 ? 120 : -120), Qt::NoButton,
                          rng() % 2 ? Qt::ControlModifier : Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(&chart, &w);
        }
        if (rng() % 7 == 0)
            chart.Viewport().ScrollBy(store.Xs(), (rng() % 2 ? 1.0 : -1.0) * (rng() % 1000));
        chart.SetCursorPoint(static_cast<int>(rng() % (store.Size() + 10)));
        const QImage image = chart.ToImage(QSize(20 + rng() % 1400, 20 + rng() % 800));
        ASSERT_FALSE(image.isNull());
    }
    EXPECT_GT(store.Size(), 10000);
}
