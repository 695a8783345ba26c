#include "scope/ScopeView.h"

#include "catalogue/Models.h"
#include "frames/FloatFrame.h"
#include "frames/ToolHost.h"
#include "paramdb/MessageSink.h"
#include "platform/ProgramFolders.h"
#include "platform/Settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QLCDNumber>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace vm::scope {

namespace {

QColor Colour(uint32_t rgb)
{
    return QColor::fromRgb(static_cast<QRgb>(rgb));
}

void Lamp(QLabel* lamp, bool lit, const QColor& colour)
{
    const QColor c = lit ? colour : colour.darker(300);
    lamp->setStyleSheet(
        QStringLiteral("background-color: %1; border-radius: 6px; border: 1px solid #444;").arg(c.name()));
}

QString Elapsed(int seconds)
{
    return QString::asprintf("%02d:%02d:%02d", (seconds / 3600) % 24, (seconds / 60) % 60, seconds % 60);
}

}  // namespace

CScopeView::CScopeView(ToolHost& host, QWidget* parent)
    : QWidget(parent), host_(host), logic_([&host](int s) -> const StationRecord& {
          return host.Record(std::clamp(s, 0, kStationRecordCount - 1));
      })
{
    clock_.start();
    form_.Build(this);
    form_.chart->SetStore(&logic_.Store());
    sampleTimer_ = new QTimer(this);
    sampleTimer_->setTimerType(Qt::PreciseTimer);
    connect(sampleTimer_, &QTimer::timeout, this, &CScopeView::SampleTick);
    secondTimer_ = new QTimer(this);
    secondTimer_->setInterval(1000);
    connect(secondTimer_, &QTimer::timeout, this, &CScopeView::ClockTick);
    recordTimer_ = new QTimer(this);
    recordTimer_->setTimerType(Qt::PreciseTimer);
    connect(recordTimer_, &QTimer::timeout, this, &CScopeView::RecordTick);
    blinkTimer_ = new QTimer(this);
    blinkTimer_->setInterval(500);
    connect(blinkTimer_, &QTimer::timeout, this, [this] {
        blink_ = !blink_;
        UpdateLamps();
    });
    Connect();
}

CScopeView::~CScopeView()
{
    Shutdown();
    // The chart is a child and outlives the logic's store by a moment.
    form_.chart->SetStore(nullptr);
}

// ---- opening and closing -----------------------------------------------------------------------

void CScopeView::InitialUpdate()
{
    QSettings s(kCompanyKey, kApplicationKey);
    settings_.Read(s, host_.Folders().temp);
    logic_.Restore(settings_.channels);
    ShowSettings();
    SetUpChart();
    RebuildStationLists();
    UpdateSwitchColours();
    form_.chart->SetMode(StripChart::Mode::Normal);
    UpdateLamps();

    if (settings_.monitorRun) {
        const bool resumeTrigger = settings_.triggerRun;
        const bool resumeRecord = settings_.recordRun;
        if (StartMonitor()) {
            double level = 0.0;
            if (resumeTrigger && logic_.ArmTrigger(settings_.triggerChannel,
                                                   static_cast<LevelTrigger::Edge>(settings_.triggerEdge),
                                                   settings_.triggerLevel, &level, settings_.postTrigger))
                EnableTriggerControls(false);
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
    recordTimer_->stop();
    blinkTimer_->stop();
    sampleTimer_->stop();
    secondTimer_->stop();
    Unregister();
    settings_.monitorRun = logic_.Monitoring();
    settings_.recordRun = logic_.Recording();
    settings_.triggerRun = logic_.Trigger().Running();
    settings_.channels = logic_.Settings();
    {
        QSettings s(kCompanyKey, kApplicationKey);
        settings_.Write(s);
    }
    logic_.StopRecord();
    if (host_.GraphWatch())
        host_.SetGraphWatch(false);
}

// ---- station and address lists ----------------------------------------------------------------

void CScopeView::RebuildStationLists()
{
    Unregister();
    logic_.StationsChanged();
    building_ = true;
    const bool any = logic_.AnyConnected();
    for (int i = 0; i < kChannelCount; ++i) {
        const ScopeForm::Row& r = form_.rows[static_cast<size_t>(i)];
        const ScopeChannel& c = logic_.Channel(i);
        r.station->clear();
        r.address->clear();
        for (int s = 1; s < 256; ++s)
            if (logic_.Connected(s))
                r.station->addItem(QString::asprintf("%d:%s", s, ModelName(host_.Record(s).model)), s);
        // A channel waiting for its station keeps it in the list.
        if (c.station != 0 && !logic_.Connected(c.station))
            r.station->addItem(QString::asprintf("%d:%s (no connection)", c.station, ModelName(c.model)),
                               c.station);
        r.station->setCurrentIndex(r.station->findData(c.station));
        if (c.station != 0) {
            for (const MonitorItem& item : c.items)
                r.address->addItem(QString::fromStdString(LegendName(item.name)),
                                   static_cast<int>(item.address));
            r.address->setCurrentIndex(c.Item() && c.Item()->address == c.address ? c.addressIndex : -1);
        }
        if (!c.on)
            r.data->clear();
        r.on->setChecked(c.on);
        form_.chart->SetChannelVisible(i, c.on);
        r.station->setEnabled(c.on);
        r.address->setEnabled(c.on);
        r.on->setEnabled(any);
        ShowChannel(i);
    }
    building_ = false;
    ShowLegends();
    Register();
    StopMonitorIfAllOff();
    emit StateChanged();
}

void CScopeView::ShowChannel(int i)
{
    const ScopeChannel& c = logic_.Channel(i);
    form_.chart->SetChannel(i, QStringLiteral("Ch%1").arg(i + 1), Colour(c.colour), c.widthIndex + 1);
    form_.chart->SetValueScale(i, kDivisions[static_cast<size_t>(c.divisionIndex)],
                               QString::fromStdString(logic_.Unit(i)));
}

void CScopeView::ShowLegends()
{
    for (int i = 0; i < kChannelCount; ++i)
        form_.chart->SetLegendText(i, QString::fromStdString(logic_.Legend(i)));
}

void CScopeView::UpdateSwitchColours()
{
    const auto paint = [](QPushButton* button, uint32_t rgb) {
        button->setStyleSheet(
            QStringLiteral("background-color: #%1; min-width: 40px;").arg(rgb, 6, 16, QLatin1Char('0')));
    };
    for (int i = 0; i < kChannelCount; ++i) {
        const ScopeChannel& c = logic_.Channel(i);
        Lamp(form_.rows[static_cast<size_t>(i)].lamp, c.on, Colour(c.colour));
        paint(form_.rows[static_cast<size_t>(i)].colour, c.colour);
    }
    paint(form_.otherColours[0], settings_.background);
    paint(form_.otherColours[1], settings_.text);
    paint(form_.otherColours[2], settings_.grid);
    paint(form_.otherColours[3], settings_.cursor);
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
    if (logic_.Monitoring() && !logic_.AnyOn())
        StopMonitor();
}

// ---- channel page ------------------------------------------------------------------------------

void CScopeView::SetChannelOn(int i, bool on)
{
    if (building_ || i < 0 || i >= kChannelCount)
        return;
    Unregister();
    logic_.SetOn(i, on);
    const ScopeForm::Row& r = form_.rows[static_cast<size_t>(i)];
    r.on->setChecked(on);
    if (!on)
        r.data->clear();
    form_.chart->SetChannelVisible(i, on);
    r.station->setEnabled(on);
    r.address->setEnabled(on);
    Lamp(r.lamp, on, Colour(logic_.Channel(i).colour));
    ShowLegends();
    Register();
    StopMonitorIfAllOff();
    emit StateChanged();
}

void CScopeView::ChooseStation(int i, int station)
{
    if (building_ || i < 0 || i >= kChannelCount)
        return;
    Unregister();
    logic_.SetStation(i, station);
    const ScopeChannel& c = logic_.Channel(i);
    const ScopeForm::Row& r = form_.rows[static_cast<size_t>(i)];
    building_ = true;
    r.station->setCurrentIndex(r.station->findData(c.station));
    r.address->clear();
    for (const MonitorItem& item : c.items)
        r.address->addItem(QString::fromStdString(LegendName(item.name)), static_cast<int>(item.address));
    r.address->setCurrentIndex(c.Item() ? c.addressIndex : -1);
    building_ = false;
    if (!c.Item())
        r.data->clear();
    ShowChannel(i);
    ShowLegends();
    Register();
    emit StateChanged();
}

void CScopeView::ChooseAddress(int i, int listIndex)
{
    if (building_ || i < 0 || i >= kChannelCount)
        return;
    Unregister();
    logic_.SetAddressIndex(i, listIndex);
    building_ = true;
    form_.rows[static_cast<size_t>(i)].address->setCurrentIndex(logic_.Channel(i).addressIndex);
    building_ = false;
    ShowChannel(i);
    ShowLegends();
    Register();
    emit StateChanged();
}

void CScopeView::ChooseOffset(int i, int index)
{
    if (i < 0 || i >= kChannelCount)
        return;
    logic_.SetOffset(i, index);
    form_.rows[static_cast<size_t>(i)].offset->setCurrentIndex(logic_.Channel(i).offsetIndex);
}

void CScopeView::ChooseDivision(int i, int index)
{
    if (i < 0 || i >= kChannelCount)
        return;
    logic_.SetDivision(i, index);
    form_.rows[static_cast<size_t>(i)].division->setCurrentIndex(logic_.Channel(i).divisionIndex);
    ShowChannel(i);
}

// ---- status strip lists ------------------------------------------------------------------------

void CScopeView::ChooseSpan(int index)
{
    if (!InRange(index, static_cast<int>(kSpanSeconds.size())))
        return;
    settings_.spanIndex = index;
    form_.span->setCurrentIndex(index);
    if (logic_.Monitoring() || form_.chart->PointCount() > 0)
        ApplySpan();
    else
        ResetChart();
}

void CScopeView::ChooseScan(int index)
{
    if (!InRange(index, static_cast<int>(kScanMs.size())))
        return;
    settings_.scanIndex = index;
    form_.scan->setCurrentIndex(index);
    if (logic_.Monitoring())
        sampleTimer_->start(kScanMs[static_cast<size_t>(index)]);
}

void CScopeView::ChooseRecordPeriod(int index)
{
    if (!InRange(index, kRecordChoices))
        return;
    settings_.recordIndex = index;
    form_.recordPeriod->setCurrentIndex(RecordListRow(index));
    logic_.SetRecordEachSample(index == kRecordEachSample);
    if (logic_.Monitoring() && logic_.Recording())
        StartRecordTimer();
}

void CScopeView::StartRecordTimer()
{
    // At the sampling period the sample tick writes the lines.
    if (settings_.recordIndex == kRecordEachSample)
        recordTimer_->stop();
    else
        recordTimer_->start(RecordPeriodMs(settings_.recordIndex));
}

// ---- run states --------------------------------------------------------------------------------

bool CScopeView::StartMonitor()
{
    Unregister();
    if (!logic_.StartMonitor(DaysFromDateTime(QDateTime::currentDateTime()), NowMs())) {
        Show(MessageKind::Information, QStringLiteral("Select one more channel to monitor"));
        return false;
    }
    if (settings_.graphWatch)
        SetGraphWatchState(true);
    recordTimer_->stop();
    blinkTimer_->stop();
    form_.counter->display(0);
    elapsed_ = 0;
    form_.elapsedText->setText(Elapsed(0));
    blink_ = false;
    for (const ScopeForm::Row& r : form_.rows) {
        r.data->clear();
        r.rate->clear();
    }
    form_.chart->SetMode(StripChart::Mode::Normal);
    ResetChart();
    UpdateLamps();
    sampleTimer_->start(kScanMs[static_cast<size_t>(settings_.scanIndex)]);
    secondTimer_->start();
    QMetaObject::invokeMethod(this, &CScopeView::SampleTick, Qt::QueuedConnection);
    Register();
    ShowLegends();
    emit StateChanged();
    return true;
}

void CScopeView::StopMonitor()
{
    Unregister();
    logic_.StopMonitor();
    recordTimer_->stop();
    blinkTimer_->stop();
    sampleTimer_->stop();
    secondTimer_->stop();
    form_.recordPathButton->setEnabled(true);
    form_.recordPathField->setText(settings_.recordPath);
    EnableTriggerControls(true);
    form_.chart->SetMode(StripChart::Mode::Cursor);
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
        if (logic_.Monitoring() && host_.GraphWatch())
            SetGraphWatchState(false);
    } else {
        const bool yes =
            CFloatFrame::MessagesFor(this, host_)
                .AskYesNo(
                    "In graph watch mode, Online and Data Monitoring action isn't activated in\nMain Window, "
                    "KeyPad "
                    "and "
                    "Parameter Editor when start monitor\n\nDo you want to use graph watch mode ?",
                    kCaption);
        if (yes) {
            settings_.graphWatch = true;
            if (logic_.Monitoring())
                SetGraphWatchState(true);
        } else if (logic_.Monitoring() && host_.GraphWatch()) {
            SetGraphWatchState(false);
        }
    }
    emit StateChanged();
}

bool CScopeView::StartRecord()
{
    if (!logic_.Monitoring() || logic_.Recording())
        return false;
    if (!logic_.StartRecord(settings_.recordPath, settings_.recordTimeStamps, NowMs())) {
        Show(MessageKind::Error, QStringLiteral("Fail to open record file"));
        return false;
    }
    form_.counter->display(0);
    blink_ = false;
    form_.recordPathButton->setEnabled(false);
    form_.recordPathField->setText(logic_.RecordPath());
    logic_.SetRecordEachSample(settings_.recordIndex == kRecordEachSample);
    StartRecordTimer();
    blinkTimer_->start();
    if (!logic_.RecordEachSample())
        QMetaObject::invokeMethod(this, &CScopeView::RecordTick, Qt::QueuedConnection);
    UpdateLamps();
    emit StateChanged();
    return true;
}

void CScopeView::StopRecord()
{
    recordTimer_->stop();
    blinkTimer_->stop();
    logic_.StopRecord();
    form_.recordPathButton->setEnabled(true);
    UpdateLamps();
    emit StateChanged();
}

bool CScopeView::StartTrigger()
{
    const QString text = form_.triggerValue->text().trimmed();
    bool ok = false;
    const double typed = QLocale::c().toDouble(text, &ok);
    if (text.isEmpty() || !ok || !std::isfinite(typed)) {
        Show(MessageKind::Information, QStringLiteral("Trigger level data input is wrong"));
        return false;
    }
    double level = typed;
    if (!logic_.ArmTrigger(settings_.triggerChannel, static_cast<LevelTrigger::Edge>(settings_.triggerEdge),
                           typed, &level, settings_.postTrigger)) {
        Show(MessageKind::Information,
             QStringLiteral("Selected trigger channel is not activated for monitoring"));
        return false;
    }
    if (level != typed)
        form_.triggerValue->setText(QString::number(level, 'f', 2));
    settings_.triggerLevel = level;
    EnableTriggerControls(false);
    UpdateLamps();
    emit StateChanged();
    return true;
}

void CScopeView::StopTrigger()
{
    logic_.Trigger().Disarm();
    EnableTriggerControls(true);
    emit StateChanged();
}

void CScopeView::EnableTriggerControls(bool on)
{
    form_.triggerChannel->setEnabled(on);
    form_.triggerValue->setEnabled(on);
    form_.edge->setEnabled(on);
    form_.saveImage->setEnabled(on);
    form_.preTrigger->setEnabled(on);
    form_.postTrigger->setEnabled(on);
    form_.snapshotPathButton->setEnabled(on);
}

void CScopeView::UpdateLamps()
{
    Lamp(form_.recordLamp, logic_.Recording() && blink_, QColor(255, 0, 0));
    Lamp(form_.triggerLamp, logic_.Trigger().Occurred(), QColor(255, 0, 0));
}

// ---- ticks and notifications -------------------------------------------------------------------

void CScopeView::ClockTick()
{
    if (!logic_.Monitoring())
        return;
    ++elapsed_;
    form_.elapsedText->setText(Elapsed(elapsed_));
}

QString CScopeView::DataLabel(int channel) const
{
    return form_.rows.at(static_cast<size_t>(channel)).data->text();
}

QString CScopeView::RateText(int channel) const
{
    return form_.rows.at(static_cast<size_t>(channel)).rate->text();
}

QString CScopeView::ElapsedText() const
{
    return form_.elapsedText->text();
}

// ---- messages ----------------------------------------------------------------------------------

void CScopeView::Show(MessageKind kind, const QString& text)
{
    CFloatFrame::MessagesFor(this, host_).Show(kind, text.toStdString(), kCaption);
}

void CScopeView::ShowLater(MessageKind kind, const QString& text)
{
    CFloatFrame* frame = CFloatFrame::Of(this);
    (frame ? frame->LaterMessages() : host_.LaterMessages()).Show(kind, text.toStdString(), kCaption);
}

}  // namespace vm::scope
