#include "scope/CScopeView.h"

#include "catalogue/Models.h"
#include "catalogue/Registers.h"
#include "frames/FloatFrame.h"
#include "frames/ToolHost.h"
#include "paramdb/MessageSink.h"
#include "platform/ProgramFolders.h"
#include "platform/Settings.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDate>
#include <QDoubleValidator>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLCDNumber>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPagedPaintDevice>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace vm::scope {

namespace {

constexpr double kSecondsPerDay = 86400.0;

QColor Colour(uint32_t rgb) { return QColor::fromRgb(static_cast<QRgb>(rgb)); }
uint32_t Rgb(const QColor& c) { return static_cast<uint32_t>(c.rgb()) & 0xFFFFFF; }

void Paint(QPushButton* button, uint32_t rgb)
{
    button->setStyleSheet(QStringLiteral("background-color: #%1; min-width: 40px;").arg(rgb, 6, 16, QLatin1Char('0')));
}

void Lamp(QLabel* lamp, bool lit, const QColor& colour)
{
    const QColor c = lit ? colour : colour.darker(300);
    lamp->setStyleSheet(QStringLiteral("background-color: %1; border-radius: 6px; border: 1px solid #444;").arg(c.name()));
}

QString Elapsed(int seconds)
{
    return QString::asprintf("%02d:%02d:%02d", (seconds / 3600) % 24, (seconds / 60) % 60, seconds % 60);
}

QString FolderOf(const QString& path)
{
    QFileInfo info(path);
    if (info.isDir())
        return path;
    return QFileInfo(info.path()).isDir() ? info.path() : QString();
}

}  // namespace

CScopeView::CScopeView(ToolHost& host, QWidget* parent)
    : QWidget(parent), host_(host), logic_([&host](int s) -> const StationRecord& { return host.Record(s); })
{
    BuildForm();
    sampleTimer_ = new QTimer(this);
    sampleTimer_->setTimerType(Qt::PreciseTimer);
    connect(sampleTimer_, &QTimer::timeout, this, &CScopeView::SampleTick);
    clock_ = new QTimer(this);
    clock_->setInterval(1000);
    connect(clock_, &QTimer::timeout, this, &CScopeView::ClockTick);
    recordTimer_ = new QTimer(this);
    recordTimer_->setTimerType(Qt::PreciseTimer);
    connect(recordTimer_, &QTimer::timeout, this, &CScopeView::RecordTick);
    blinkTimer_ = new QTimer(this);
    blinkTimer_->setInterval(500);
    connect(blinkTimer_, &QTimer::timeout, this, [this] {
        blink_ = !blink_;
        UpdateLamps();
    });
}

CScopeView::~CScopeView() { Shutdown(); }

const StationRecord& CScopeView::Record(int station) const
{
    return host_.Record(std::clamp(station, 0, kStationRecordCount - 1));
}

// ---- form --------------------------------------------------------------------------------------

void CScopeView::BuildForm()
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    chart_ = new StripChart(this);
    chart_->setMinimumSize(600, 300);
    layout->addWidget(chart_, 1);

    auto* strip = new QHBoxLayout;
    recordLamp_ = new QLabel(this);
    recordLamp_->setFixedSize(12, 12);
    triggerLamp_ = new QLabel(this);
    triggerLamp_->setFixedSize(12, 12);
    strip->addWidget(recordLamp_);
    strip->addWidget(new QLabel(QStringLiteral("Recording..."), this));
    strip->addWidget(triggerLamp_);
    strip->addWidget(new QLabel(QStringLiteral("Triggering..."), this));
    strip->addSpacing(12);
    strip->addWidget(new QLabel(QStringLiteral("Elapsed Time"), this));
    elapsedText_ = new QLabel(QStringLiteral("00:00:00"), this);
    elapsedText_->setFrameShape(QFrame::Panel);
    elapsedText_->setFrameShadow(QFrame::Sunken);
    strip->addWidget(elapsedText_);
    strip->addWidget(new QLabel(QStringLiteral("Record Counter"), this));
    counter_ = new QLCDNumber(7, this);
    counter_->setSegmentStyle(QLCDNumber::Filled);
    counter_->setFixedSize(120, 26);
    counter_->setStyleSheet(QStringLiteral("QLCDNumber { background: black; color: #40ff40; }"));
    strip->addWidget(counter_);
    const auto addList = [&](const char* caption, const char* const* texts, int count, void (CScopeView::*slot)(int)) {
        strip->addWidget(new QLabel(QString::fromLatin1(caption), this));
        auto* box = new QComboBox(this);
        for (int i = 0; i < count; ++i)
            box->addItem(QString::fromLatin1(texts[i]));
        connect(box, &QComboBox::activated, this, slot);
        strip->addWidget(box);
        return box;
    };
    span_ = addList("X-Axis Time", kSpanTexts, 16, &CScopeView::ChooseSpan);
    scan_ = addList("Monitor Time", kScanTexts, 8, &CScopeView::ChooseScan);
    recordPeriod_ = addList("Record Time", kRecordTexts, 19, &CScopeView::ChooseRecordPeriod);
    strip->addStretch(1);
    layout->addLayout(strip);

    tabs_ = new QTabWidget(this);
    tabs_->addTab(BuildChannelPage(), QStringLiteral("Channel Setup"));
    tabs_->addTab(BuildScreenPage(), QStringLiteral("Graph Screen Setup"));
    tabs_->addTab(BuildTriggerPage(), QStringLiteral("Trigger && Record Setup"));
    layout->addWidget(tabs_);

    connect(chart_, &StripChart::CursorMoved, this, [this](int) { CursorReadout(); });
    connect(chart_, &StripChart::CursorChannelChanged, this, [this](int channel) {
        if (logic_.monitoring || chart_->ScreenMode() != StripChart::Mode::kCursor)
            return;
        if (channel != settings_.cursorChannel) {
            settings_.cursorChannel = channel;
            cursorList_->setCurrentIndex(channel);
            emit StateChanged();
        }
    });
}

QWidget* CScopeView::BuildChannelPage()
{
    auto* page = new QWidget(this);
    auto* grid = new QGridLayout(page);
    grid->addWidget(new QLabel(QStringLiteral("Monitoring Channel")), 0, 0, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Data")), 0, 3);
    grid->addWidget(new QLabel(QStringLiteral("Offset")), 0, 4);
    grid->addWidget(new QLabel(QStringLiteral("Val/Div")), 0, 5);
    for (int i = 0; i < kChannelCount; ++i) {
        Row& r = rows_[static_cast<size_t>(i)];
        auto* sw = new QHBoxLayout;
        r.lamp = new QLabel(page);
        r.lamp->setFixedSize(12, 12);
        r.on = new QCheckBox(QStringLiteral("CH%1").arg(i + 1), page);
        sw->addWidget(r.lamp);
        sw->addWidget(r.on);
        grid->addLayout(sw, i + 1, 0);
        r.station = new QComboBox(page);
        r.station->setMinimumWidth(110);
        r.address = new QComboBox(page);
        r.address->setMinimumWidth(160);
        r.data = new QLabel(page);
        r.data->setMinimumWidth(110);
        r.data->setFrameShape(QFrame::Panel);
        r.data->setFrameShadow(QFrame::Sunken);
        r.offset = new QComboBox(page);
        for (double o : kOffsets)
            r.offset->addItem(QString::number(o));
        r.division = new QComboBox(page);
        for (double d : kDivisions)
            r.division->addItem(QString::number(d));
        grid->addWidget(r.station, i + 1, 1);
        grid->addWidget(r.address, i + 1, 2);
        grid->addWidget(r.data, i + 1, 3);
        grid->addWidget(r.offset, i + 1, 4);
        grid->addWidget(r.division, i + 1, 5);
        connect(r.on, &QCheckBox::clicked, this, [this, i](bool on) { SetChannelOn(i, on); });
        connect(r.station, &QComboBox::activated, this, [this, i](int index) {
            ChooseStation(i, rows_[static_cast<size_t>(i)].station->itemData(index).toInt());
        });
        connect(r.address, &QComboBox::activated, this, [this, i](int index) { ChooseAddress(i, index); });
        connect(r.offset, &QComboBox::activated, this, [this, i](int index) { ChooseOffset(i, index); });
        connect(r.division, &QComboBox::activated, this, [this, i](int index) { ChooseDivision(i, index); });
    }
    grid->setColumnStretch(6, 1);
    return page;
}

QWidget* CScopeView::BuildScreenPage()
{
    auto* page = new QWidget(this);
    auto* grid = new QGridLayout(page);
    grid->addWidget(new QLabel(QStringLiteral("Line Color")), 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Line Width")), 0, 2);
    for (int i = 0; i < kChannelCount; ++i) {
        Row& r = rows_[static_cast<size_t>(i)];
        grid->addWidget(new QLabel(QStringLiteral("CH%1").arg(i + 1)), i + 1, 0);
        r.colour = new QPushButton(page);
        r.width = new QComboBox(page);
        for (int w = 1; w <= 4; ++w)
            r.width->addItem(QString::number(w));
        grid->addWidget(r.colour, i + 1, 1);
        grid->addWidget(r.width, i + 1, 2);
        connect(r.colour, &QPushButton::clicked, this, [this, i] {
            const QColor c = CFloatFrame::ChooseColour(this, Colour(settings_.channels[static_cast<size_t>(i)].colour));
            if (c.isValid())
                SetLineColour(i, Rgb(c));
        });
        connect(r.width, &QComboBox::activated, this, [this, i](int index) { SetLineWidthIndex(i, index); });
    }
    autoScale_ = new QCheckBox(QStringLiteral("Y-Axis Auto Scale"), page);
    yMin_ = new QLineEdit(page);
    yMax_ = new QLineEdit(page);
    for (QLineEdit* e : {yMin_, yMax_}) {
        e->setValidator(new QIntValidator(-99999, 99999, e));
        e->setMaximumWidth(80);
    }
    grid->addWidget(autoScale_, 0, 4, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Y-Axis Min")), 1, 4);
    grid->addWidget(yMin_, 1, 5);
    grid->addWidget(new QLabel(QStringLiteral("Y-Axis Max")), 2, 4);
    grid->addWidget(yMax_, 2, 5);
    connect(autoScale_, &QCheckBox::clicked, this, &CScopeView::SetAutoScale);

    grid->addWidget(new QLabel(QStringLiteral("Other Color Setting")), 0, 7, 1, 2);
    const char* names[4] = {"Background", "Text", "Grid", "Cursor"};
    for (int k = 0; k < 4; ++k) {
        grid->addWidget(new QLabel(QString::fromLatin1(names[k])), k + 1, 7);
        otherColours_[static_cast<size_t>(k)] = new QPushButton(page);
        grid->addWidget(otherColours_[static_cast<size_t>(k)], k + 1, 8);
        connect(otherColours_[static_cast<size_t>(k)], &QPushButton::clicked, this, [this, k] {
            const uint32_t now[4] = {settings_.background, settings_.text, settings_.grid, settings_.cursor};
            const QColor c = CFloatFrame::ChooseColour(this, Colour(now[k]));
            if (!c.isValid())
                return;
            if (k == 0)
                SetBackgroundColour(Rgb(c));
            else if (k == 1)
                SetTextColour(Rgb(c));
            else if (k == 2)
                SetGridColour(Rgb(c));
            else
                SetCursorColour(Rgb(c));
        });
    }
    showGrid_ = new QCheckBox(QStringLiteral("Show Grid"), page);
    showLegend_ = new QCheckBox(QStringLiteral("Show Lable"), page);
    cursorList_ = new QComboBox(page);
    for (int i = 0; i < kChannelCount; ++i)
        cursorList_->addItem(QStringLiteral("CH%1").arg(i + 1));
    secondCursor_ = new QCheckBox(QStringLiteral("Second Cursor (Shift+Click)"), page);
    grid->addWidget(showGrid_, 3, 4, 1, 2);
    grid->addWidget(showLegend_, 4, 4, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Cursor")), 0, 10);
    grid->addWidget(cursorList_, 1, 10);
    grid->addWidget(secondCursor_, 2, 10);
    connect(showGrid_, &QCheckBox::clicked, this, &CScopeView::SetShowGrid);
    connect(showLegend_, &QCheckBox::clicked, this, &CScopeView::SetShowLegend);
    connect(cursorList_, &QComboBox::activated, this, &CScopeView::SetCursorChannel);
    connect(secondCursor_, &QCheckBox::clicked, this, &CScopeView::SetSecondCursor);
    grid->setColumnStretch(11, 1);
    return page;
}

QWidget* CScopeView::BuildTriggerPage()
{
    auto* page = new QWidget(this);
    auto* grid = new QGridLayout(page);
    triggerChannel_ = new QComboBox(page);
    for (int i = 0; i < kChannelCount; ++i)
        triggerChannel_->addItem(QStringLiteral("CH%1").arg(i + 1));
    triggerValue_ = new QLineEdit(page);
    auto* validator = new QDoubleValidator(-99999.99, 99999.99, 2, triggerValue_);
    validator->setNotation(QDoubleValidator::StandardNotation);
    validator->setLocale(QLocale::c());
    triggerValue_->setValidator(validator);
    triggerValue_->setMaximumWidth(100);
    edge_ = new QComboBox(page);
    edge_->addItems({QStringLiteral("Rising"), QStringLiteral("Falling")});
    saveImage_ = new QCheckBox(QStringLiteral("Save Image"), page);
    grid->addWidget(new QLabel(QStringLiteral("Trigger Channel")), 0, 0);
    grid->addWidget(triggerChannel_, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Trigger Value")), 0, 2);
    grid->addWidget(triggerValue_, 0, 3);
    grid->addWidget(new QLabel(QStringLiteral("Edge Trigger")), 0, 4);
    grid->addWidget(edge_, 0, 5);
    grid->addWidget(saveImage_, 0, 6);
    connect(triggerChannel_, &QComboBox::activated, this, &CScopeView::SetTriggerChannel);
    connect(edge_, &QComboBox::activated, this, &CScopeView::SetTriggerEdge);
    connect(saveImage_, &QCheckBox::clicked, this, &CScopeView::SetSnapshot);

    recordPathField_ = new QLineEdit(page);
    recordPathField_->setReadOnly(true);
    snapshotPathField_ = new QLineEdit(page);
    snapshotPathField_->setReadOnly(true);
    recordPathButton_ = new QPushButton(QStringLiteral("..."), page);
    snapshotPathButton_ = new QPushButton(QStringLiteral("..."), page);
    timeStamps_ = new QCheckBox(QStringLiteral("with time stamps and a header"), page);
    grid->addWidget(new QLabel(QStringLiteral("Record File Path")), 1, 0);
    grid->addWidget(recordPathField_, 1, 1, 1, 5);
    grid->addWidget(recordPathButton_, 1, 6);
    grid->addWidget(timeStamps_, 1, 7);
    grid->addWidget(new QLabel(QStringLiteral("Trigger Graph Image File Path")), 2, 0);
    grid->addWidget(snapshotPathField_, 2, 1, 1, 5);
    grid->addWidget(snapshotPathButton_, 2, 6);
    grid->setColumnStretch(1, 1);
    connect(timeStamps_, &QCheckBox::clicked, this, &CScopeView::SetRecordTimeStamps);
    connect(recordPathButton_, &QPushButton::clicked, this, [this] {
        // An existing file is never overwritten: recording continues in a numbered file beside it.
        const QString path = CFloatFrame::SaveFileName(this, QStringLiteral("Scope File Path"),
                                                          FolderOf(settings_.recordPath),
                                                          QStringLiteral("Record File (*.csv)"), nullptr, false);
        if (path.isEmpty())
            return;
        SetRecordPath(QFileInfo(path).suffix().isEmpty() ? path + QStringLiteral(".csv") : path);
    });
    connect(snapshotPathButton_, &QPushButton::clicked, this, [this] {
        const QStringList filters{QStringLiteral("SVG File, in place of Meta File (*.svg)"),
                                  QStringLiteral("JPEG File (*.jpg)"), QStringLiteral("BMP File (*.bmp)")};
        QString selected = filters.value(std::clamp(settings_.snapshotFormat, 1, 3) - 1);
        const QString path = CFloatFrame::SaveFileName(this, QStringLiteral("Trigger Screen Image File Path"),
                                                          FolderOf(settings_.snapshotPath), filters.join(";;"),
                                                          &selected);
        if (path.isEmpty())
            return;
        const int index = static_cast<int>(filters.indexOf(selected)) + 1;
        const int format = index >= 1 && index <= 3 ? index : 3;
        const char* ext[4] = {"", ".svg", ".jpg", ".bmp"};
        SetSnapshotPath(QFileInfo(path).suffix().isEmpty() ? path + QLatin1String(ext[format]) : path, format);
    });
    return page;
}

// ---- opening and closing -----------------------------------------------------------------------

void CScopeView::InitialUpdate()
{
    QSettings s(kCompanyKey, kApplicationKey);
    settings_.Read(s, host_.Folders().temp);
    for (int i = 0; i < kChannelCount; ++i) {
        const ChannelSettings& cs = settings_.channels[static_cast<size_t>(i)];
        ScopeChannel& c = logic_.channels[static_cast<size_t>(i)];
        static_cast<ChannelSettings&>(c) = cs;
        c.model = kNoModel;
        c.version = 0;
    }
    building_ = true;
    span_->setCurrentIndex(settings_.spanIndex);
    scan_->setCurrentIndex(settings_.scanIndex);
    recordPeriod_->setCurrentIndex(settings_.recordIndex);
    triggerChannel_->setCurrentIndex(settings_.triggerChannel);
    edge_->setCurrentIndex(settings_.triggerEdge);
    saveImage_->setChecked(settings_.snapshot);
    triggerValue_->setText(QString::number(settings_.triggerLevel, 'f', 2));
    recordPathField_->setText(settings_.recordPath);
    snapshotPathField_->setText(settings_.snapshotPath);
    timeStamps_->setChecked(settings_.recordTimeStamps);
    autoScale_->setChecked(settings_.autoScale);
    yMin_->setText(QString::number(settings_.yMin, 'f', 0));
    yMax_->setText(QString::number(settings_.yMax, 'f', 0));
    showGrid_->setChecked(settings_.showGrid);
    showLegend_->setChecked(settings_.showLegend);
    cursorList_->setCurrentIndex(settings_.cursorChannel);
    secondCursor_->setChecked(settings_.secondCursor);
    for (int i = 0; i < kChannelCount; ++i) {
        Row& r = rows_[static_cast<size_t>(i)];
        const ScopeChannel& c = logic_.channels[static_cast<size_t>(i)];
        r.offset->setCurrentIndex(c.offsetIndex);
        r.division->setCurrentIndex(c.divisionIndex);
        r.width->setCurrentIndex(c.widthIndex);
    }
    building_ = false;
    SetUpChart();
    RebuildStationLists();
    UpdateSwitchColours();
    chart_->SetMode(StripChart::Mode::kNormal);
    UpdateLamps();

    if (settings_.monitorRun) {
        const int t = settings_.triggerChannel;
        const ScopeChannel& tc = logic_.channels[static_cast<size_t>(t)];
        const bool resumeTrigger = settings_.triggerRun && tc.on && tc.station != 0 && tc.address != kNoAddress;
        const bool resumeRecord = settings_.recordRun;
        if (StartMonitor()) {
            if (resumeTrigger) {
                logic_.trigger.Arm(t, static_cast<LevelTrigger::Edge>(settings_.triggerEdge),
                                   ForcedLevel(tc.Item(), tc.address, settings_.triggerLevel));
                EnableTriggerControls(false);
            }
            if (resumeRecord)
                StartRecord();
        }
    }
    emit StateChanged();
}

void CScopeView::Shutdown()
{
    if (shutDown_)
        return;
    shutDown_ = true;
    if (recording_) {
        recordTimer_->stop();
        blinkTimer_->stop();
    }
    sampleTimer_->stop();
    clock_->stop();
    Unregister();
    settings_.monitorRun = logic_.monitoring;
    settings_.recordRun = recording_;
    settings_.triggerRun = logic_.trigger.Running();
    for (int i = 0; i < kChannelCount; ++i) {
        const ScopeChannel& c = logic_.channels[static_cast<size_t>(i)];
        ChannelSettings& cs = settings_.channels[static_cast<size_t>(i)];
        cs = c;  // the page choices only
    }
    {
        QSettings s(kCompanyKey, kApplicationKey);
        settings_.Write(s);
    }
    CloseRecordFile();
    if (host_.GraphWatch())
        host_.SetGraphWatch(false);
}

// ---- chart set-up ------------------------------------------------------------------------------

void CScopeView::SetUpChart()
{
    chart_->BeginUpdate();
    chart_->SetDrawingEnabled(false);
    chart_->Clear();
    StripChart::Look look = chart_->CurrentLook();
    look.background = Colour(settings_.background);
    look.text = Colour(settings_.text);
    look.grid = Colour(settings_.grid);
    look.cursor = look.cursor2 = Colour(settings_.cursor);
    look.showGrid = settings_.showGrid;
    look.showLegend = settings_.showLegend;
    look.title.clear();
    chart_->SetLook(look);
    for (int i = 0; i < kChannelCount; ++i)
        ApplyChannelToChart(i);
    chart_->SetAutoScale(settings_.autoScale);
    chart_->SetYRange(settings_.yMin, settings_.yMax);
    chart_->SetCursorChannel(settings_.cursorChannel);
    chart_->SetSecondCursorEnabled(settings_.secondCursor);
    ApplySpan();
    chart_->SetDrawingEnabled(true);
    chart_->EndUpdate();
}

void CScopeView::ApplyChannelToChart(int i)
{
    const ScopeChannel& c = logic_.channels[static_cast<size_t>(i)];
    chart_->SetChannel(i, QStringLiteral("Ch%1").arg(i + 1), Colour(c.colour), c.widthIndex + 1);
    chart_->SetValueScale(i, kDivisions[static_cast<size_t>(c.divisionIndex)], QString::fromStdString(logic_.Unit(i)));
}

void CScopeView::ApplySpan()
{
    chart_->SetSpan(kSpanSeconds[static_cast<size_t>(settings_.spanIndex)] / kSecondsPerDay);
}

void CScopeView::ReadYAxisFields()
{
    const QString a = yMin_->text().trimmed();
    const QString b = yMax_->text().trimmed();
    bool ok = false;
    double lo = settings_.yMin, hi = settings_.yMax;
    if (!a.isEmpty()) {
        const double v = QLocale::c().toDouble(a, &ok);
        if (ok)
            lo = v;
    }
    if (!b.isEmpty()) {
        const double v = QLocale::c().toDouble(b, &ok);
        if (ok)
            hi = v;
    }
    if (lo > hi)
        std::swap(lo, hi);
    settings_.yMin = lo;
    settings_.yMax = hi;
    yMin_->setText(QString::number(lo, 'f', 0));
    yMax_->setText(QString::number(hi, 'f', 0));
}

void CScopeView::ResetChart()
{
    chart_->Clear();
    ReadYAxisFields();
    chart_->SetYRange(settings_.yMin, settings_.yMax);
    ApplySpan();
}

// ---- station and address lists ----------------------------------------------------------------

bool CScopeView::AnyConnected() const
{
    for (int s = 1; s < 256; ++s)
        if (Record(s).connected)
            return true;
    return false;
}

void CScopeView::FillAddressList(int i)
{
    Row& r = rows_[static_cast<size_t>(i)];
    ScopeChannel& c = logic_.channels[static_cast<size_t>(i)];
    r.address->clear();
    const StationRecord& rec = Record(c.station);
    c.items = BuildItemSet(rec.model, rec.version, kSetGraph);
    c.model = rec.model;
    c.version = rec.version;
    for (const MonitorItem& item : c.items)
        r.address->addItem(QString::fromStdString(LegendName(item.name)), static_cast<int>(item.address));
    if (c.items.empty())
        return;
    if (c.addressIndex < 0 || static_cast<size_t>(c.addressIndex) >= c.items.size()) {
        c.addressIndex = 0;
        c.address = c.items[0].address;
    }
    if (c.address == c.items[static_cast<size_t>(c.addressIndex)].address)
        r.address->setCurrentIndex(c.addressIndex);
    else
        r.address->setCurrentIndex(-1);
}

void CScopeView::RebuildStationLists()
{
    Unregister();
    building_ = true;
    const bool any = AnyConnected();
    for (int i = 0; i < kChannelCount; ++i) {
        Row& r = rows_[static_cast<size_t>(i)];
        ScopeChannel& c = logic_.channels[static_cast<size_t>(i)];
        r.station->clear();
        r.address->clear();
        for (int s = 1; s < 256; ++s) {
            const StationRecord& rec = Record(s);
            if (rec.connected)
                r.station->addItem(QString::asprintf("%d:%s", s, ModelName(rec.model)), s);
        }
        const int at = r.station->findData(c.station);
        r.station->setCurrentIndex(at);
        if (at >= 0)
            FillAddressList(i);
        if (r.station->currentIndex() < 0 || r.address->currentIndex() < 0) {
            r.station->setCurrentIndex(-1);
            r.address->setCurrentIndex(-1);
            c.on = false;
            c.station = 0;
            c.address = kNoAddress;
            r.data->clear();
            chart_->SetLegendText(i, QString());
        } else {
            chart_->SetLegendText(i, r.address->currentText());
        }
        r.on->setChecked(c.on);
        chart_->SetChannelVisible(i, c.on);
        r.station->setEnabled(c.on);
        r.address->setEnabled(c.on);
        r.on->setEnabled(any);
        ApplyChannelToChart(i);
    }
    building_ = false;
    fromFile_ = false;
    Register();
    StopMonitorIfAllOff();
    emit StateChanged();
}

void CScopeView::BuildOfflineView()
{
    building_ = true;
    for (int i = 0; i < kChannelCount; ++i) {
        Row& r = rows_[static_cast<size_t>(i)];
        ScopeChannel& c = logic_.channels[static_cast<size_t>(i)];
        r.station->clear();
        r.address->clear();
        r.station->setEnabled(false);
        r.address->setEnabled(false);
        r.on->setChecked(false);
        r.on->setEnabled(false);
        chart_->SetChannelVisible(i, c.on);
        c.items = c.model != kNoModel ? BuildItemSet(c.model, c.version, kSetGraph) : std::vector<MonitorItem>{};
        QString legend;
        if (c.on)
            for (const MonitorItem& item : c.items)
                if (item.address == c.address) {
                    legend = QString::fromStdString(LegendName(item.name));
                    break;
                }
        chart_->SetLegendText(i, legend);
        ApplyChannelToChart(i);
    }
    building_ = false;
}

void CScopeView::UpdateSwitchColours()
{
    for (int i = 0; i < kChannelCount; ++i) {
        const ScopeChannel& c = logic_.channels[static_cast<size_t>(i)];
        Lamp(rows_[static_cast<size_t>(i)].lamp, c.on, Colour(c.colour));
        Paint(rows_[static_cast<size_t>(i)].colour, c.colour);
    }
    Paint(otherColours_[0], settings_.background);
    Paint(otherColours_[1], settings_.text);
    Paint(otherColours_[2], settings_.grid);
    Paint(otherColours_[3], settings_.cursor);
}

// ---- registration ------------------------------------------------------------------------------

void CScopeView::Register()
{
    Unregister();
    registered_ = logic_.Registrations();
    for (const auto& [station, addresses] : registered_) {
        host_.Comm().AddMonitor(station, addresses);
        host_.Comm().AddListener(station, this);
    }
}

void CScopeView::Unregister()
{
    for (const auto& [station, addresses] : registered_) {
        host_.Comm().RemoveMonitor(station, addresses);
        host_.Comm().RemoveListener(station, this);
    }
    registered_.clear();
}

void CScopeView::StopMonitorIfAllOff()
{
    if (!logic_.monitoring)
        return;
    if (std::none_of(logic_.channels.begin(), logic_.channels.end(), [](const ScopeChannel& c) { return c.on; }))
        StopMonitor();
}

// ---- channel page ------------------------------------------------------------------------------

void CScopeView::SetChannelOn(int i, bool on)
{
    if (building_ || i < 0 || i >= kChannelCount)
        return;
    Unregister();
    Row& r = rows_[static_cast<size_t>(i)];
    ScopeChannel& c = logic_.channels[static_cast<size_t>(i)];
    c.on = on;
    r.on->setChecked(on);
    if (on && r.address->currentIndex() >= 0) {
        chart_->SetLegendText(i, r.address->currentText());
    } else {
        chart_->SetLegendText(i, QString());
        r.data->clear();
    }
    chart_->SetChannelVisible(i, on);
    r.station->setEnabled(on);
    r.address->setEnabled(on);
    Lamp(r.lamp, on, Colour(c.colour));
    Register();
    StopMonitorIfAllOff();
    emit StateChanged();
}

void CScopeView::ChooseStation(int i, int station)
{
    if (building_ || i < 0 || i >= kChannelCount)
        return;
    Unregister();
    Row& r = rows_[static_cast<size_t>(i)];
    ScopeChannel& c = logic_.channels[static_cast<size_t>(i)];
    c.station = std::clamp(station, 0, 255);
    const int at = r.station->findData(c.station);
    building_ = true;
    r.station->setCurrentIndex(at);
    if (Record(c.station).connected)
        FillAddressList(i);
    building_ = false;
    if (r.address->currentIndex() >= 0) {
        chart_->SetLegendText(i, r.address->currentText());
    } else {
        chart_->SetLegendText(i, QString());
        r.data->clear();
    }
    ApplyChannelToChart(i);
    Register();
    emit StateChanged();
}

void CScopeView::ChooseAddress(int i, int listIndex)
{
    if (building_ || i < 0 || i >= kChannelCount)
        return;
    Row& r = rows_[static_cast<size_t>(i)];
    ScopeChannel& c = logic_.channels[static_cast<size_t>(i)];
    if (listIndex < 0 || listIndex >= r.address->count())
        return;
    Unregister();
    c.address = static_cast<uint16_t>(r.address->itemData(listIndex).toInt());
    c.addressIndex = listIndex;
    building_ = true;
    r.address->setCurrentIndex(listIndex);
    building_ = false;
    chart_->SetLegendText(i, r.address->currentText());
    c.fresh = false;
    ApplyChannelToChart(i);
    Register();
    emit StateChanged();
}

void CScopeView::ChooseOffset(int i, int index)
{
    if (i >= 0 && i < kChannelCount && InRange(index, static_cast<int>(kOffsets.size()))) {
        logic_.channels[static_cast<size_t>(i)].offsetIndex = index;
        rows_[static_cast<size_t>(i)].offset->setCurrentIndex(index);
    }
}

void CScopeView::ChooseDivision(int i, int index)
{
    if (i >= 0 && i < kChannelCount && InRange(index, static_cast<int>(kDivisions.size()))) {
        logic_.channels[static_cast<size_t>(i)].divisionIndex = index;
        rows_[static_cast<size_t>(i)].division->setCurrentIndex(index);
        ApplyChannelToChart(i);
    }
}

// ---- status strip lists ------------------------------------------------------------------------

void CScopeView::ChooseSpan(int index)
{
    if (!InRange(index, static_cast<int>(kSpanSeconds.size())))
        return;
    settings_.spanIndex = index;
    span_->setCurrentIndex(index);
    if (logic_.monitoring || chart_->PointCount() > 0)
        ApplySpan();
    else
        ResetChart();
}

void CScopeView::ChooseScan(int index)
{
    if (!InRange(index, static_cast<int>(kScanMs.size())))
        return;
    settings_.scanIndex = index;
    scan_->setCurrentIndex(index);
    if (logic_.monitoring)
        sampleTimer_->start(kScanMs[static_cast<size_t>(index)]);
}

void CScopeView::ChooseRecordPeriod(int index)
{
    if (!InRange(index, static_cast<int>(kRecordSeconds.size())))
        return;
    settings_.recordIndex = index;
    recordPeriod_->setCurrentIndex(index);
    if (logic_.monitoring && recording_)
        recordTimer_->start(kRecordSeconds[static_cast<size_t>(index)] * 1000);
}

// ---- run states --------------------------------------------------------------------------------

bool CScopeView::StartMonitor()
{
    Unregister();
    bool any = false;
    for (const ScopeChannel& c : logic_.channels)
        any = any || (c.on && c.station != 0 && c.address != kNoAddress);
    if (!any) {
        Show(MessageKind::Information, QStringLiteral("Select one more channel to monitor"));
        return false;
    }
    logic_.monitoring = true;
    if (settings_.graphWatch)
        SetGraphWatchState(true);
    logic_.trigger.Disarm();
    logic_.trigger.Reset();
    recording_ = false;
    recordCounter_ = 0;
    counter_->display(0);
    elapsed_ = 0;
    elapsedText_->setText(Elapsed(0));
    blink_ = false;
    logic_.ResetValues();
    for (Row& r : rows_)
        r.data->clear();
    chart_->SetMode(StripChart::Mode::kNormal);
    ResetChart();
    UpdateLamps();
    sampleTimer_->start(kScanMs[static_cast<size_t>(settings_.scanIndex)]);
    clock_->start();
    QMetaObject::invokeMethod(this, &CScopeView::SampleTick, Qt::QueuedConnection);
    Register();
    emit StateChanged();
    return true;
}

void CScopeView::StopMonitor()
{
    Unregister();
    logic_.monitoring = false;
    if (recording_) {
        recordTimer_->stop();
        blinkTimer_->stop();
    }
    sampleTimer_->stop();
    clock_->stop();
    CloseRecordFile();
    recording_ = false;
    logic_.trigger.Disarm();
    recordPathButton_->setEnabled(true);
    recordPathField_->setText(settings_.recordPath);
    EnableTriggerControls(true);
    chart_->SetMode(StripChart::Mode::kCursor);
    if (host_.GraphWatch())
        SetGraphWatchState(false);
    UpdateLamps();
    emit StateChanged();
}

void CScopeView::SetGraphWatchState(bool on)
{
    if (host_.GraphWatch() != on)
        host_.SetGraphWatch(on);
}

void CScopeView::ToggleGraphWatchMode()
{
    if (settings_.graphWatch) {
        settings_.graphWatch = false;
        if (logic_.monitoring && host_.GraphWatch())
            SetGraphWatchState(false);
    } else {
        const bool yes = CFloatFrame::MessagesFor(this, host_).AskYesNo(
            "In graph watch mode, Online and Data Monitoring action isn't activated in\nMain Window, KeyPad and "
            "Parameter Editor when start monitor\n\nDo you want to use graph watch mode ?",
            kCaption);
        if (yes) {
            settings_.graphWatch = true;
            if (logic_.monitoring)
                SetGraphWatchState(true);
        } else if (logic_.monitoring && host_.GraphWatch()) {
            SetGraphWatchState(false);
        }
    }
    emit StateChanged();
}

bool CScopeView::OpenRecordFile()
{
    if (record_.IsOpen())
        return true;
    if (!record_.Open(settings_.recordPath))
        return false;
    if (settings_.recordTimeStamps && !record_.WriteHeader(RecordColumns())) {
        record_.Close();
        return false;
    }
    return true;
}

void CScopeView::CloseRecordFile() { record_.Close(); }

std::array<RecordFile::Column, kChannelCount> CScopeView::RecordColumns() const
{
    std::array<RecordFile::Column, kChannelCount> cols;
    for (int i = 0; i < kChannelCount; ++i) {
        const ScopeChannel& c = logic_.channels[static_cast<size_t>(i)];
        if (!c.on || !c.Item())
            continue;
        cols[static_cast<size_t>(i)].name = LegendName(c.Item()->name);
        cols[static_cast<size_t>(i)].unit = logic_.Unit(i);
    }
    return cols;
}

bool CScopeView::StartRecord()
{
    if (!logic_.monitoring || recording_)
        return false;
    if (!OpenRecordFile()) {
        Show(MessageKind::Error, QStringLiteral("Fail to open record file"));
        return false;
    }
    recording_ = true;
    recordCounter_ = 0;
    counter_->display(0);
    blink_ = false;
    recordPathButton_->setEnabled(false);
    recordPathField_->setText(record_.Path());
    recordTimer_->start(kRecordSeconds[static_cast<size_t>(settings_.recordIndex)] * 1000);
    blinkTimer_->start();
    QMetaObject::invokeMethod(this, &CScopeView::RecordTick, Qt::QueuedConnection);
    UpdateLamps();
    emit StateChanged();
    return true;
}

void CScopeView::StopRecord()
{
    recordTimer_->stop();
    blinkTimer_->stop();
    CloseRecordFile();
    recording_ = false;
    recordPathButton_->setEnabled(true);
    UpdateLamps();
    emit StateChanged();
}

bool CScopeView::StartTrigger()
{
    const QString text = triggerValue_->text().trimmed();
    bool ok = false;
    const double typed = QLocale::c().toDouble(text, &ok);
    if (text.isEmpty() || !ok || !std::isfinite(typed)) {
        Show(MessageKind::Information, QStringLiteral("Trigger level data input is wrong"));
        return false;
    }
    const int t = settings_.triggerChannel;
    const ScopeChannel& c = logic_.channels[static_cast<size_t>(t)];
    if (!c.on || c.station == 0 || c.address == kNoAddress) {
        Show(MessageKind::Information, QStringLiteral("Selected trigger channel is not activated for monitoring"));
        return false;
    }
    const double level = ForcedLevel(c.Item(), c.address, typed);
    if (level != typed)
        triggerValue_->setText(QString::number(level, 'f', 2));
    settings_.triggerLevel = level;
    logic_.trigger.Arm(t, static_cast<LevelTrigger::Edge>(settings_.triggerEdge), level);
    EnableTriggerControls(false);
    UpdateLamps();
    emit StateChanged();
    return true;
}

void CScopeView::StopTrigger()
{
    logic_.trigger.Disarm();
    EnableTriggerControls(true);
    emit StateChanged();
}

void CScopeView::EnableTriggerControls(bool on)
{
    triggerChannel_->setEnabled(on);
    triggerValue_->setEnabled(on);
    edge_->setEnabled(on);
    saveImage_->setEnabled(on);
    snapshotPathButton_->setEnabled(on);
}

void CScopeView::UpdateLamps()
{
    Lamp(recordLamp_, recording_ && blink_, QColor(255, 0, 0));
    Lamp(triggerLamp_, logic_.trigger.Occurred(), QColor(255, 0, 0));
}

// ---- ticks and notifications -------------------------------------------------------------------

void CScopeView::OnCommMonitor(int station, const CommReply& reply)
{
    // Values only; the next sample tick draws them.
    logic_.OnMonitor(station, reply);
    // A station given up has lost every registration; removing ours later would take away
    // whatever others register for it meanwhile.
    if (reply.error == kGiveUp)
        registered_.erase(station);
}

void CScopeView::SampleTick()
{
    if (!logic_.monitoring)
        return;
    const int k = chart_->AppendNow();
    const bool wasOccurred = logic_.trigger.Occurred();
    const ScopeLogic::Sample s = logic_.OnSample(k);
    for (int i = 0; i < kChannelCount; ++i) {
        chart_->SetY(i, k, s.plotted[static_cast<size_t>(i)]);
        rows_[static_cast<size_t>(i)].data->setText(QString::fromStdString(s.labels[static_cast<size_t>(i)]));
    }
    // Point indexes shift when the chart drops its oldest points; remember where they stood.
    if (logic_.trigger.Occurred() && logic_.trigger.Point() == k)
        droppedAtTrigger_ = chart_->Dropped();
    if (!wasOccurred && logic_.trigger.Occurred()) {
        UpdateLamps();
        emit StateChanged();
    }
    if (s.trigger == LevelTrigger::Step::kStop)
        FinishTrigger();
}

void CScopeView::FinishTrigger()
{
    const int point = logic_.trigger.Point() - static_cast<int>(chart_->Dropped() - droppedAtTrigger_);
    StopMonitor();
    chart_->SetCursorPoint(point);
    CursorReadout();
    if (settings_.snapshot) {
        const StripChart::PictureFormat format = settings_.snapshotFormat == 1   ? StripChart::PictureFormat::kSvg
                                                 : settings_.snapshotFormat == 2 ? StripChart::PictureFormat::kJpeg
                                                                                 : StripChart::PictureFormat::kBmp;
        QString error;
        if (!chart_->SavePicture(settings_.snapshotPath, format, &error))
            ShowLater(MessageKind::Error, QStringLiteral("%1\n%2").arg(settings_.snapshotPath, error));
    }
}

void CScopeView::RecordTick()
{
    if (!recording_)
        return;
    const auto values = logic_.RecordValues();
    const bool ok = settings_.recordTimeStamps
                        ? record_.WriteStampedLine(QDateTime::currentDateTime(), elapsed_, values)
                        : record_.WriteLine(values);
    if (!ok) {
        StopRecord();
        ShowLater(MessageKind::Error, QStringLiteral("Fail to write data to record file"));
        return;
    }
    ++recordCounter_;
    counter_->display(recordCounter_);
}

void CScopeView::ClockTick()
{
    if (!logic_.monitoring)
        return;
    ++elapsed_;
    elapsedText_->setText(Elapsed(elapsed_));
}

QString CScopeView::DataLabel(int channel) const { return rows_.at(static_cast<size_t>(channel)).data->text(); }

QString CScopeView::ElapsedText() const { return elapsedText_->text(); }

void CScopeView::CursorReadout()
{
    if (logic_.monitoring || chart_->ScreenMode() != StripChart::Mode::kCursor)
        return;
    const int point = chart_->CursorPoint();
    const bool live = !fromFile_ || AnyConnected();
    for (int i = 0; i < kChannelCount; ++i) {
        const ScopeChannel& c = logic_.channels[static_cast<size_t>(i)];
        QLabel* label = rows_[static_cast<size_t>(i)].data;
        const bool show = live ? (c.on && c.station != 0 && c.address != kNoAddress)
                               : (c.on && c.model != kNoModel && c.address != kNoAddress);
        if (!show || chart_->PointCount() == 0) {
            label->clear();
            continue;
        }
        const double v = CursorValue(chart_->Y(i, point), c.offsetIndex, c.divisionIndex);
        const std::string unit = live ? logic_.Unit(i) : (c.Item() ? c.Item()->unit : std::string());
        label->setText(QString::fromStdString(ValueLabel(v, unit)));
    }
}

// ---- trigger & record page --------------------------------------------------------------------

void CScopeView::SetTriggerChannel(int channel)
{
    settings_.triggerChannel = std::clamp(channel, 0, kChannelCount - 1);
    triggerChannel_->setCurrentIndex(settings_.triggerChannel);
}

void CScopeView::SetTriggerEdge(int edge)
{
    settings_.triggerEdge = std::clamp(edge, 0, 1);
    edge_->setCurrentIndex(settings_.triggerEdge);
}

void CScopeView::SetTriggerLevelText(const QString& text) { triggerValue_->setText(text); }

void CScopeView::SetSnapshot(bool on)
{
    settings_.snapshot = on;
    saveImage_->setChecked(on);
}

void CScopeView::SetRecordPath(const QString& path)
{
    if (path.isEmpty() || recording_)
        return;
    settings_.recordPath = path;
    recordPathField_->setText(path);
}

void CScopeView::SetSnapshotPath(const QString& path, int formatIndex)
{
    if (path.isEmpty() || path == settings_.snapshotPath)
        return;
    if (QFileInfo::exists(path) &&
        !CFloatFrame::MessagesFor(this, host_).AskYesNo(
            QString::asprintf("%s file is already exist\nDo you want to over-write ?", path.toLocal8Bit().constData())
                .toStdString(),
            kCaption))
        return;
    settings_.snapshotPath = path;
    settings_.snapshotFormat = formatIndex >= 1 && formatIndex <= 3 ? formatIndex : 3;
    snapshotPathField_->setText(path);
}

void CScopeView::SetRecordTimeStamps(bool on)
{
    settings_.recordTimeStamps = on;
    timeStamps_->setChecked(on);
}

// ---- graph screen page -------------------------------------------------------------------------

void CScopeView::SetCursorChannel(int channel)
{
    settings_.cursorChannel = std::clamp(channel, 0, kChannelCount - 1);
    cursorList_->setCurrentIndex(settings_.cursorChannel);
    chart_->SetCursorChannel(settings_.cursorChannel);
    emit StateChanged();
}

void CScopeView::SetScreenMode(StripChart::Mode mode)
{
    if (logic_.monitoring)
        return;
    chart_->SetMode(mode);
    emit StateChanged();
}

void CScopeView::SetAutoScale(bool on)
{
    settings_.autoScale = on;
    autoScale_->setChecked(on);
    chart_->SetAutoScale(on);
    if (!on) {
        if (logic_.monitoring || chart_->PointCount() > 0) {
            ReadYAxisFields();
            chart_->SetYRange(settings_.yMin, settings_.yMax);
        } else {
            ResetChart();
        }
    }
    emit StateChanged();
}

void CScopeView::SetShowGrid(bool on)
{
    settings_.showGrid = on;
    showGrid_->setChecked(on);
    chart_->SetShowGrid(on);
    emit StateChanged();
}

void CScopeView::SetShowLegend(bool on)
{
    settings_.showLegend = on;
    showLegend_->setChecked(on);
    chart_->SetShowLegend(on);
    emit StateChanged();
}

void CScopeView::SetYAxisTexts(const QString& minimum, const QString& maximum)
{
    yMin_->setText(minimum);
    yMax_->setText(maximum);
}

void CScopeView::SetLineColour(int channel, uint32_t rgb)
{
    if (channel < 0 || channel >= kChannelCount)
        return;
    logic_.channels[static_cast<size_t>(channel)].colour = rgb & 0xFFFFFF;
    chart_->SetLineColour(channel, Colour(rgb));
    UpdateSwitchColours();
}

void CScopeView::SetLineWidthIndex(int channel, int index)
{
    if (channel < 0 || channel >= kChannelCount || index < 0 || index > 3)
        return;
    logic_.channels[static_cast<size_t>(channel)].widthIndex = index;
    rows_[static_cast<size_t>(channel)].width->setCurrentIndex(index);
    chart_->SetLineWidth(channel, index + 1);
}

void CScopeView::SetBackgroundColour(uint32_t rgb)
{
    settings_.background = rgb & 0xFFFFFF;
    chart_->SetBackground(Colour(rgb));
    UpdateSwitchColours();
}

void CScopeView::SetTextColour(uint32_t rgb)
{
    settings_.text = rgb & 0xFFFFFF;
    chart_->SetTextColour(Colour(rgb));
    UpdateSwitchColours();
}

void CScopeView::SetGridColour(uint32_t rgb)
{
    settings_.grid = rgb & 0xFFFFFF;
    chart_->SetGridColour(Colour(rgb));
    UpdateSwitchColours();
}

void CScopeView::SetCursorColour(uint32_t rgb)
{
    settings_.cursor = rgb & 0xFFFFFF;
    chart_->SetCursorColour(Colour(rgb));
    UpdateSwitchColours();
}

void CScopeView::SetSecondCursor(bool on)
{
    settings_.secondCursor = on;
    secondCursor_->setChecked(on);
    chart_->SetSecondCursorEnabled(on);
}

// ---- files -------------------------------------------------------------------------------------

ScopePicture CScopeView::TakePicture() const
{
    ScopePicture p;
    p.elapsed = elapsed_;
    p.spanIndex = settings_.spanIndex;
    p.yMax = chart_->ShownYMax();
    p.yMin = chart_->ShownYMin();
    for (int i = 0; i < kChannelCount; ++i) {
        const ScopeChannel& c = logic_.channels[static_cast<size_t>(i)];
        ScopeFileChannel& f = p.channels[static_cast<size_t>(i)];
        f.on = c.on ? 1 : 0;
        f.station = c.station;
        // A connected station tells its model; otherwise the model the channel was set up with.
        const StationRecord& rec = Record(c.station);
        if (c.station != 0 && rec.connected) {
            f.model = rec.model;
            f.version = rec.version;
        } else {
            f.model = c.model;
            f.version = c.version;
        }
        f.address = c.address;
        f.addressIndex = c.addressIndex;
        f.offsetIndex = c.offsetIndex;
        f.divisionIndex = c.divisionIndex;
    }
    NormaliseModels(p);
    const int n = chart_->PointCount();
    p.x.resize(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k)
        p.x[static_cast<size_t>(k)] = chart_->X(k);
    for (int i = 0; i < kChannelCount; ++i) {
        auto& ys = p.y[static_cast<size_t>(i)];
        ys.resize(static_cast<size_t>(n));
        for (int k = 0; k < n; ++k)
            ys[static_cast<size_t>(k)] = chart_->Y(i, k);
    }
    return p;
}

bool CScopeView::SaveScopeFile(const QString& path)
{
    std::string message;
    if (!vm::scope::SaveScopeFile(path, TakePicture(), &message)) {
        Show(MessageKind::Error, QString::fromStdString(message));
        return false;
    }
    scopePath_ = QFileInfo(path).absoluteFilePath();
    Show(MessageKind::Information, QStringLiteral("Save scope file successfully"));
    emit StateChanged();
    return true;
}

bool CScopeView::OpenScopeFile(const QString& path)
{
    std::string message;
    ScopeFileResult r = LoadScopeFile(path, &message);
    if (!r.ok()) {
        // Nothing of the file was applied; the picture on screen stays.
        Show(MessageKind::Error, QString::fromStdString(message));
        return false;
    }
    Unregister();
    ScopePicture& p = r.picture;
    elapsed_ = p.elapsed;
    settings_.spanIndex = p.spanIndex;
    settings_.yMin = p.yMin;
    settings_.yMax = p.yMax;
    for (int i = 0; i < kChannelCount; ++i) {
        const ScopeFileChannel& f = p.channels[static_cast<size_t>(i)];
        ScopeChannel& c = logic_.channels[static_cast<size_t>(i)];
        c.on = f.on != 0;
        c.station = f.station;
        c.model = f.model;
        c.version = f.version;
        c.address = f.address;
        c.addressIndex = f.addressIndex;
        c.offsetIndex = f.offsetIndex;
        c.divisionIndex = f.divisionIndex;
        c.value = 0.0;
        Row& row = rows_[static_cast<size_t>(i)];
        row.offset->setCurrentIndex(f.offsetIndex);
        row.division->setCurrentIndex(f.divisionIndex);
        row.data->clear();
    }
    fromFile_ = true;
    chart_->BeginUpdate();
    chart_->SetDrawingEnabled(false);
    chart_->Clear();
    yMin_->setText(QString::number(p.yMin, 'f', 0));
    yMax_->setText(QString::number(p.yMax, 'f', 0));
    chart_->SetYRange(p.yMin, p.yMax);
    chart_->SetMode(StripChart::Mode::kNormal);
    ApplySpan();
    span_->setCurrentIndex(p.spanIndex);
    recordCounter_ = 0;
    counter_->display(0);
    elapsedText_->setText(Elapsed(elapsed_));
    blink_ = false;
    logic_.trigger.Reset();
    UpdateLamps();
    if (AnyConnected()) {
        RebuildStationLists();
        fromFile_ = true;
    } else {
        BuildOfflineView();
    }
    for (double x : p.x)
        chart_->AppendPoint(x);
    for (int i = 0; i < kChannelCount; ++i)
        for (size_t k = 0; k < p.x.size(); ++k)
            chart_->SetY(i, static_cast<int>(k), p.y[static_cast<size_t>(i)][k]);
    chart_->SetDrawingEnabled(true);
    chart_->EndUpdate();
    chart_->SetMode(StripChart::Mode::kCursor);
    scopePath_ = QFileInfo(path).absoluteFilePath();
    Show(MessageKind::Information, QStringLiteral("Open scope file successfully"));
    emit StateChanged();
    return true;
}

bool CScopeView::ExportPicture(const QString& path, StripChart::PictureFormat format)
{
    QString error;
    if (!chart_->SavePicture(path, format, &error)) {
        Show(MessageKind::Error, QStringLiteral("%1\n%2").arg(path, error));
        return false;
    }
    return true;
}

void CScopeView::CopyToClipboard() { chart_->CopyToClipboard(); }

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
    look.title = QLocale::c().toString(date, QStringLiteral("dddd, MMMM dd, yyyy"));
    return look;
}

bool CScopeView::PrintTo(QPagedPaintDevice& device)
{
    chart_->BeginUpdate();
    const StripChart::Look user = chart_->CurrentLook();
    chart_->SetLook(PrintLook(user, QDate::currentDate()));
    const bool ok = chart_->Print(device);
    chart_->SetLook(user);
    chart_->EndUpdate();
    return ok;
}

// ---- messages ----------------------------------------------------------------------------------

void CScopeView::Show(MessageKind kind, const QString& text)
{
    CFloatFrame::MessagesFor(this, host_).Show(kind, text.toStdString(), kCaption);
}

void CScopeView::ShowLater(MessageKind kind, const QString& text)
{
    QTimer::singleShot(0, this, [this, kind, text] { Show(kind, text); });
}

}  // namespace vm::scope
