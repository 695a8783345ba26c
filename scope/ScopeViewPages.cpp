// The graph monitor view's wiring, display settings, its Trigger & Record page and its files: what the
// chart is told, and where pictures and records go.

#include "scope/ScopeView.h"

#include "frames/FloatFrame.h"

#include "frames/ToolHost.h"
#include "paramdb/MessageSink.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDate>
#include <QFileDialog>
#include <QFileInfo>
#include <QLCDNumber>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPagedPaintDevice>
#include <QPushButton>
#include <QSpinBox>

#include <algorithm>

namespace vm::scope {

namespace {

constexpr double kSecondsPerDay = 86400.0;

QColor Colour(uint32_t rgb)
{
    return QColor::fromRgb(static_cast<QRgb>(rgb));
}
uint32_t Rgb(const QColor& c)
{
    return static_cast<uint32_t>(c.rgb()) & 0xFFFFFF;
}

QString FolderOf(const QString& path)
{
    QFileInfo info(path);
    if (info.isDir())
        return path;
    return QFileInfo(info.path()).isDir() ? info.path() : QString();
}

QString Number(double v)
{
    return QString::number(v, 'g', 8);
}

}  // namespace

// ---- wiring and settings shown ---------------------------------------------------------------

void CScopeView::Connect()
{
    connect(form_.span, &QComboBox::activated, this, &CScopeView::ChooseSpan);
    connect(form_.scan, &QComboBox::activated, this, &CScopeView::ChooseScan);
    connect(form_.recordPeriod, &QComboBox::activated, this,
            [this](int row) { ChooseRecordPeriod(RecordIndexOfRow(row)); });
    for (int i = 0; i < kChannelCount; ++i) {
        const ScopeForm::Row& r = form_.rows[static_cast<size_t>(i)];
        connect(r.on, &QCheckBox::clicked, this, [this, i](bool on) { SetChannelOn(i, on); });
        connect(r.station, &QComboBox::activated, this, [this, i](int index) {
            ChooseStation(i, form_.rows[static_cast<size_t>(i)].station->itemData(index).toInt());
        });
        connect(r.address, &QComboBox::activated, this, [this, i](int index) { ChooseAddress(i, index); });
        connect(r.offset, &QComboBox::activated, this, [this, i](int index) { ChooseOffset(i, index); });
        connect(r.division, &QComboBox::activated, this, [this, i](int index) { ChooseDivision(i, index); });
        connect(r.colour, &QPushButton::clicked, this, [this, i] { ChooseColour(4 + i); });
        connect(r.width, &QComboBox::activated, this, [this, i](int index) { SetLineWidthIndex(i, index); });
    }
    for (int k = 0; k < 4; ++k)
        connect(form_.otherColours[static_cast<size_t>(k)], &QPushButton::clicked, this,
                [this, k] { ChooseColour(k); });
    connect(form_.autoScale, &QCheckBox::clicked, this, &CScopeView::SetAutoScale);
    connect(form_.showGrid, &QCheckBox::clicked, this, &CScopeView::SetShowGrid);
    connect(form_.showLegend, &QCheckBox::clicked, this, &CScopeView::SetShowLegend);
    connect(form_.cursorList, &QComboBox::activated, this, &CScopeView::SetCursorChannel);
    connect(form_.secondCursor, &QCheckBox::clicked, this, &CScopeView::SetSecondCursor);
    connect(form_.elapsedAxis, &QCheckBox::clicked, this, &CScopeView::SetElapsedAxis);
    connect(form_.triggerChannel, &QComboBox::activated, this, &CScopeView::SetTriggerChannel);
    connect(form_.edge, &QComboBox::activated, this, &CScopeView::SetTriggerEdge);
    connect(form_.saveImage, &QCheckBox::clicked, this, &CScopeView::SetSnapshot);
    connect(form_.preTrigger, &QComboBox::activated, this,
            [this](int index) { SetPreTriggerShare(index * 10); });
    connect(form_.postTrigger, &QSpinBox::valueChanged, this, [this](int n) {
        if (!building_)
            SetPostTriggerSamples(n);
    });
    connect(form_.timeStamps, &QCheckBox::clicked, this, &CScopeView::SetRecordTimeStamps);
    connect(form_.recordPathButton, &QPushButton::clicked, this, &CScopeView::ChooseRecordFile);
    connect(form_.snapshotPathButton, &QPushButton::clicked, this, &CScopeView::ChooseSnapshotFile);
    connect(form_.chart, &StripChart::CursorMoved, this, [this](int) { CursorReadout(); });
    connect(form_.chart, &StripChart::CursorChannelChanged, this, [this](int channel) {
        if (logic_.Monitoring() || form_.chart->ScreenMode() != StripChart::Mode::Cursor)
            return;
        if (channel != settings_.cursorChannel) {
            settings_.cursorChannel = channel;
            form_.cursorList->setCurrentIndex(channel);
            emit StateChanged();
        }
    });
}

void CScopeView::ShowSettings()
{
    building_ = true;
    form_.span->setCurrentIndex(settings_.spanIndex);
    form_.scan->setCurrentIndex(settings_.scanIndex);
    form_.recordPeriod->setCurrentIndex(RecordListRow(settings_.recordIndex));
    form_.triggerChannel->setCurrentIndex(settings_.triggerChannel);
    form_.edge->setCurrentIndex(settings_.triggerEdge);
    form_.saveImage->setChecked(settings_.snapshot);
    form_.preTrigger->setCurrentIndex(settings_.preTriggerShare / 10);
    form_.postTrigger->setValue(settings_.postTrigger);
    form_.triggerValue->setText(QString::number(settings_.triggerLevel, 'f', 2));
    form_.recordPathField->setText(settings_.recordPath);
    form_.snapshotPathField->setText(settings_.snapshotPath);
    form_.timeStamps->setChecked(settings_.recordTimeStamps);
    form_.autoScale->setChecked(settings_.autoScale);
    form_.yMin->setText(QString::number(settings_.yMin, 'g', 8));
    form_.yMax->setText(QString::number(settings_.yMax, 'g', 8));
    form_.showGrid->setChecked(settings_.showGrid);
    form_.showLegend->setChecked(settings_.showLegend);
    form_.cursorList->setCurrentIndex(settings_.cursorChannel);
    form_.secondCursor->setChecked(settings_.secondCursor);
    form_.elapsedAxis->setChecked(settings_.elapsedAxis);
    for (int i = 0; i < kChannelCount; ++i) {
        const ScopeForm::Row& r = form_.rows[static_cast<size_t>(i)];
        const ScopeChannel& c = logic_.Channel(i);
        r.offset->setCurrentIndex(c.offsetIndex);
        r.division->setCurrentIndex(c.divisionIndex);
        r.width->setCurrentIndex(c.widthIndex);
    }
    building_ = false;
}

// ---- chart set-up ------------------------------------------------------------------------------

void CScopeView::SetUpChart()
{
    StripChart& chart = *form_.chart;
    chart.BeginUpdate();
    chart.SetDrawingEnabled(false);
    StripChart::Look look = chart.CurrentLook();
    look.background = Colour(settings_.background);
    look.text = Colour(settings_.text);
    look.grid = Colour(settings_.grid);
    look.cursor = look.cursor2 = Colour(settings_.cursor);
    look.showGrid = settings_.showGrid;
    look.showLegend = settings_.showLegend;
    look.elapsedAxis = settings_.elapsedAxis;
    look.title.clear();
    chart.SetLook(look);
    for (int i = 0; i < kChannelCount; ++i)
        ShowChannel(i);
    chart.SetAutoScale(settings_.autoScale);
    chart.SetYRange(settings_.yMin, settings_.yMax);
    chart.SetCursorChannel(settings_.cursorChannel);
    chart.SetSecondCursorEnabled(settings_.secondCursor);
    ApplySpan();
    chart.SetDrawingEnabled(true);
    chart.EndUpdate();
}

void CScopeView::ApplySpan()
{
    form_.chart->SetSpan(kSpanSeconds[static_cast<size_t>(settings_.spanIndex)] / kSecondsPerDay);
}

void CScopeView::ReadYAxisFields()
{
    double lo = settings_.yMin, hi = settings_.yMax;
    bool ok = false;
    const QString a = form_.yMin->text().trimmed();
    const QString b = form_.yMax->text().trimmed();
    if (!a.isEmpty()) {
        const double v = QLocale::c().toDouble(a, &ok);
        if (ok && std::isfinite(v))
            lo = v;
    }
    if (!b.isEmpty()) {
        const double v = QLocale::c().toDouble(b, &ok);
        if (ok && std::isfinite(v))
            hi = v;
    }
    if (lo > hi)
        std::swap(lo, hi);
    settings_.yMin = lo;
    settings_.yMax = hi;
    form_.yMin->setText(Number(lo));
    form_.yMax->setText(Number(hi));
}

void CScopeView::ResetChart()
{
    ReadYAxisFields();
    form_.chart->SetYRange(settings_.yMin, settings_.yMax);
    form_.chart->Viewport().ResetValues();
    ApplySpan();
}

void CScopeView::BuildOfflineView()
{
    building_ = true;
    for (int i = 0; i < kChannelCount; ++i) {
        const ScopeForm::Row& r = form_.rows[static_cast<size_t>(i)];
        r.station->clear();
        r.address->clear();
        r.station->setEnabled(false);
        r.address->setEnabled(false);
        r.on->setChecked(false);
        r.on->setEnabled(false);
        form_.chart->SetChannelVisible(i, logic_.Channel(i).on);
        ShowChannel(i);
    }
    building_ = false;
}

// ---- trigger & record page --------------------------------------------------------------------

void CScopeView::SetTriggerChannel(int channel)
{
    settings_.triggerChannel = std::clamp(channel, 0, kChannelCount - 1);
    form_.triggerChannel->setCurrentIndex(settings_.triggerChannel);
}

void CScopeView::SetTriggerEdge(int edge)
{
    settings_.triggerEdge = std::clamp(edge, 0, 1);
    form_.edge->setCurrentIndex(settings_.triggerEdge);
}

void CScopeView::SetTriggerLevelText(const QString& text)
{
    form_.triggerValue->setText(text);
}

void CScopeView::SetSnapshot(bool on)
{
    settings_.snapshot = on;
    form_.saveImage->setChecked(on);
}

void CScopeView::SetRecordPath(const QString& path)
{
    if (path.isEmpty() || logic_.Recording())
        return;
    settings_.recordPath = path;
    form_.recordPathField->setText(path);
}

void CScopeView::SetSnapshotPath(const QString& path, int formatIndex)
{
    if (path.isEmpty() || path == settings_.snapshotPath)
        return;
    if (QFileInfo::exists(path) &&
        !CFloatFrame::MessagesFor(this, host_)
             .AskYesNo(QString::asprintf("%s file is already exist\nDo you want to over-write ?",
                                         path.toLocal8Bit().constData())
                           .toStdString(),
                       kCaption))
        return;
    settings_.snapshotPath = path;
    settings_.snapshotFormat = formatIndex >= 1 && formatIndex <= 3 ? formatIndex : 3;
    form_.snapshotPathField->setText(path);
}

void CScopeView::SetPreTriggerShare(int percent)
{
    settings_.preTriggerShare = std::clamp(percent / 10 * 10, 0, 90);
    form_.preTrigger->setCurrentIndex(settings_.preTriggerShare / 10);
}

void CScopeView::SetPostTriggerSamples(int samples)
{
    settings_.postTrigger = std::clamp(samples, 1, kMaxPostTriggerSamples);
    form_.postTrigger->setValue(settings_.postTrigger);
}

void CScopeView::SetRecordTimeStamps(bool on)
{
    settings_.recordTimeStamps = on;
    form_.timeStamps->setChecked(on);
}

void CScopeView::ChooseRecordFile()
{
    // An existing file is never overwritten: recording continues in a numbered file beside it.
    // The dialog proposes the current name.
    const QString path =
        CFloatFrame::SaveFileName(this, QStringLiteral("Scope File Path"), settings_.recordPath,
                                  QStringLiteral("Record File (*.csv)"), nullptr, false);
    if (path.isEmpty())
        return;
    SetRecordPath(QFileInfo(path).suffix().isEmpty() ? path + QStringLiteral(".csv") : path);
}

void CScopeView::ChooseSnapshotFile()
{
    const QStringList filters{QStringLiteral("SVG File, in place of Meta File (*.svg)"),
                              QStringLiteral("JPEG File (*.jpg)"), QStringLiteral("BMP File (*.bmp)")};
    QString selected = filters.value(std::clamp(settings_.snapshotFormat, 1, 3) - 1);
    const QString start =
        QFileInfo(settings_.snapshotPath).isDir() ? FolderOf(settings_.snapshotPath) : settings_.snapshotPath;
    const QString path = CFloatFrame::SaveFileName(this, QStringLiteral("Trigger Screen Image File Path"),
                                                   start, filters.join(";;"), &selected);
    if (path.isEmpty())
        return;
    const int index = static_cast<int>(filters.indexOf(selected)) + 1;
    const int format = index >= 1 && index <= 3 ? index : 3;
    const char* ext[4] = {"", ".svg", ".jpg", ".bmp"};
    SetSnapshotPath(QFileInfo(path).suffix().isEmpty() ? path + QLatin1String(ext[format]) : path, format);
}

// ---- graph screen page -------------------------------------------------------------------------

void CScopeView::SetCursorChannel(int channel)
{
    settings_.cursorChannel = std::clamp(channel, 0, kChannelCount - 1);
    form_.cursorList->setCurrentIndex(settings_.cursorChannel);
    form_.chart->SetCursorChannel(settings_.cursorChannel);
    emit StateChanged();
}

void CScopeView::SetScreenMode(StripChart::Mode mode)
{
    if (logic_.Monitoring())
        return;
    form_.chart->SetMode(mode);
    emit StateChanged();
}

void CScopeView::SetAutoScale(bool on)
{
    settings_.autoScale = on;
    form_.autoScale->setChecked(on);
    form_.chart->SetAutoScale(on);
    if (!on) {
        if (logic_.Monitoring() || form_.chart->PointCount() > 0) {
            ReadYAxisFields();
            form_.chart->SetYRange(settings_.yMin, settings_.yMax);
        } else {
            ResetChart();
        }
    }
    emit StateChanged();
}

void CScopeView::SetShowGrid(bool on)
{
    settings_.showGrid = on;
    form_.showGrid->setChecked(on);
    form_.chart->SetShowGrid(on);
    emit StateChanged();
}

void CScopeView::SetShowLegend(bool on)
{
    settings_.showLegend = on;
    form_.showLegend->setChecked(on);
    form_.chart->SetShowLegend(on);
    emit StateChanged();
}

void CScopeView::SetElapsedAxis(bool on)
{
    settings_.elapsedAxis = on;
    form_.elapsedAxis->setChecked(on);
    form_.chart->SetElapsedAxis(on);
}

void CScopeView::SetYAxisTexts(const QString& minimum, const QString& maximum)
{
    form_.yMin->setText(minimum);
    form_.yMax->setText(maximum);
}

void CScopeView::SetLineColour(int channel, uint32_t rgb)
{
    if (channel < 0 || channel >= kChannelCount)
        return;
    logic_.SetColour(channel, rgb);
    form_.chart->SetLineColour(channel, Colour(rgb));
    UpdateSwitchColours();
}

void CScopeView::SetLineWidthIndex(int channel, int index)
{
    if (channel < 0 || channel >= kChannelCount || index < 0 || index > 3)
        return;
    logic_.SetWidth(channel, index);
    form_.rows[static_cast<size_t>(channel)].width->setCurrentIndex(index);
    form_.chart->SetLineWidth(channel, index + 1);
}

void CScopeView::ApplyColour(uint32_t& setting, uint32_t rgb, void (StripChart::*show)(const QColor&))
{
    setting = rgb & 0xFFFFFF;
    (form_.chart->*show)(Colour(rgb));
    UpdateSwitchColours();
}

void CScopeView::SetBackgroundColour(uint32_t rgb)
{
    ApplyColour(settings_.background, rgb, &StripChart::SetBackground);
}

void CScopeView::SetTextColour(uint32_t rgb)
{
    ApplyColour(settings_.text, rgb, &StripChart::SetTextColour);
}

void CScopeView::SetGridColour(uint32_t rgb)
{
    ApplyColour(settings_.grid, rgb, &StripChart::SetGridColour);
}

void CScopeView::SetCursorColour(uint32_t rgb)
{
    ApplyColour(settings_.cursor, rgb, &StripChart::SetCursorColour);
}

void CScopeView::SetSecondCursor(bool on)
{
    settings_.secondCursor = on;
    form_.secondCursor->setChecked(on);
    form_.chart->SetSecondCursorEnabled(on);
}

void CScopeView::ChooseColour(int which)
{
    // 0-3 background, text, grid, cursor; 4-7 the line of channel 1-4.
    const uint32_t now = which >= 4   ? logic_.Channel(which - 4).colour
                         : which == 0 ? settings_.background
                         : which == 1 ? settings_.text
                         : which == 2 ? settings_.grid
                                      : settings_.cursor;
    const QColor c = CFloatFrame::ChooseColour(this, Colour(now));
    if (!c.isValid())
        return;
    if (which >= 4)
        SetLineColour(which - 4, Rgb(c));
    else if (which == 0)
        SetBackgroundColour(Rgb(c));
    else if (which == 1)
        SetTextColour(Rgb(c));
    else if (which == 2)
        SetGridColour(Rgb(c));
    else
        SetCursorColour(Rgb(c));
}

// ---- files -------------------------------------------------------------------------------------

bool CScopeView::SaveScopeFile(const QString& path)
{
    const ScopePicture picture =
        logic_.TakePicture(elapsed_, settings_.spanIndex, form_.chart->ShownYMax(), form_.chart->ShownYMin());
    if (const Result<void> saved = vm::scope::SaveScopeFile(path, picture); !saved) {
        Show(MessageKind::Error, QString::fromStdString(saved.Text()));
        return false;
    }
    logic_.SetPicturePath(QFileInfo(path).absoluteFilePath());
    Show(MessageKind::Information, QStringLiteral("Save scope file successfully"));
    emit StateChanged();
    return true;
}

bool CScopeView::OpenScopeFile(const QString& path)
{
    const Result<ScopePicture> r = LoadScopeFile(path);
    if (!r) {
        // Nothing of the file was applied; the picture on screen stays.
        Show(MessageKind::Error, QString::fromStdString(r.Text()));
        return false;
    }
    Unregister();
    const ScopePicture& p = r.Value();
    elapsed_ = p.elapsed;
    settings_.spanIndex = p.spanIndex;
    settings_.yMin = p.yMin;
    settings_.yMax = p.yMax;
    StripChart& chart = *form_.chart;
    chart.BeginUpdate();
    chart.SetDrawingEnabled(false);
    logic_.LoadPicture(p);
    for (int i = 0; i < kChannelCount; ++i) {
        const ScopeForm::Row& row = form_.rows[static_cast<size_t>(i)];
        row.offset->setCurrentIndex(p.channels[static_cast<size_t>(i)].offsetIndex);
        row.division->setCurrentIndex(p.channels[static_cast<size_t>(i)].divisionIndex);
        row.data->clear();
        row.rate->clear();
    }
    form_.yMin->setText(Number(p.yMin));
    form_.yMax->setText(Number(p.yMax));
    chart.SetYRange(p.yMin, p.yMax);
    chart.SetMode(StripChart::Mode::Normal);
    ApplySpan();
    form_.span->setCurrentIndex(p.spanIndex);
    form_.counter->display(0);
    form_.elapsedText->setText(
        QString::asprintf("%02d:%02d:%02d", (elapsed_ / 3600) % 24, (elapsed_ / 60) % 60, elapsed_ % 60));
    blink_ = false;
    UpdateLamps();
    if (logic_.AnyConnected()) {
        RebuildStationLists();
        logic_.SetFromFile(true);
    } else {
        BuildOfflineView();
    }
    ShowLegends();
    chart.SetDrawingEnabled(true);
    chart.EndUpdate();
    chart.SetMode(StripChart::Mode::Cursor);
    logic_.SetPicturePath(QFileInfo(path).absoluteFilePath());
    Show(MessageKind::Information, QStringLiteral("Open scope file successfully"));
    emit StateChanged();
    return true;
}

bool CScopeView::ExportPicture(const QString& path, StripChart::PictureFormat format)
{
    const Result<> saved = form_.chart->SavePicture(path, format);
    if (!saved)
        Show(MessageKind::Error, QStringLiteral("%1\n%2").arg(path, QString::fromStdString(saved.Text())));
    return saved.Ok();
}

void CScopeView::CopyToClipboard()
{
    form_.chart->CopyToClipboard();
}

StripChart::Look CScopeView::PrintLook(const StripChart::Look& user, const QDate& date)
{
    StripChart::Look look = user;
    look.text = Qt::black;
    look.grid = Qt::black;
    look.background = Qt::white;
    look.cursor = Qt::black;
    look.cursor2 = Qt::white;
    look.showLegend = true;
    look.showGrid = true;
    look.lines.fill(Qt::black);
    look.dashes = true;
    look.title = QLocale::c().toString(date, QStringLiteral("dddd, MMMM dd, yyyy"));
    return look;
}

bool CScopeView::PrintTo(QPagedPaintDevice& device)
{
    StripChart& chart = *form_.chart;
    chart.BeginUpdate();
    const StripChart::Look user = chart.CurrentLook();
    chart.SetLook(PrintLook(user, QDate::currentDate()));
    const bool ok = chart.Print(device);
    chart.SetLook(user);
    chart.EndUpdate();
    return ok;
}

}  // namespace vm::scope
