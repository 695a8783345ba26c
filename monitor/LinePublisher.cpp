#include "monitor/LinePublisher.h"

#include "monitor/MqttSetupDialog.h"
#include "platform/Settings.h"

#include <QDateTime>
#include <QLabel>
#include <QSettings>

namespace vm {
namespace {

int64_t NowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

}  // namespace

LinePublisher::LinePublisher(QObject* parent) : QObject(parent)
{
    tick_.setInterval(100);
    connect(&tick_, &QTimer::timeout, this, &LinePublisher::Tick);
}

LinePublisher::~LinePublisher()
{
    publisher_.Stop();
}

Result<void> LinePublisher::Start(const QString& portName)
{
    QSettings s(kCompanyKey, kApplicationKey);
    settings_ = LoadMqttSettings(s);
    return PortChanged(portName);
}

Result<void> LinePublisher::PortChanged(const QString& portName)
{
    if (const Result<void> applied = Apply(settings_, portName); !applied)
        return Failure{applied.Code(), "MQTT: " + applied.Text()};
    return {};
}

Result<void> LinePublisher::RunSetup(QWidget* parent, const QString& portName)
{
    MqttSetupDialog dialog(settings_, portName, parent);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    settings_ = dialog.Result();
    {
        QSettings s(kCompanyKey, kApplicationKey);
        SaveMqttSettings(s, settings_);
    }
    return PortChanged(portName);
}

QLabel* LinePublisher::StatusPane(QWidget* parent)
{
    auto* pane = new QLabel(parent);
    pane->setObjectName(QStringLiteral("MqttPane"));
    pane->setToolTip(
        QStringLiteral("MQTT Publisher: connection and messages dropped while the broker was away"));
    pane->setText(StatusText());
    connect(this, &LinePublisher::statusChanged, pane, &QLabel::setText);
    return pane;
}

void LinePublisher::AddFault(const StationRecord& record, const QString& deviceName)
{
    if (history_)
        history_->AddFault(record, deviceName);
    FaultRecorded(record, deviceName);
}

Result<void> LinePublisher::Apply(const MqttSettings& settings, const QString& portName)
{
    tick_.stop();
    publisher_.Stop();
    feed_.reset();
    Result<void> result;
    if (settings.enabled) {
        const Result<MqttOptions> options = ToMqttOptions(settings, portName);
        result = options ? publisher_.Start(options.Value()) : Result<void>(options.Why());
        if (result) {
            feed_ = std::make_unique<DriveFeed>(publisher_, options.Value().line, options.Value().intervalMs);
            tick_.start();
        }
    }
    Tick();
    return result;
}

void LinePublisher::StationChanged(const StationRecord& record, const QString& deviceName)
{
    if (feed_)
        feed_->StationUpdated(record, deviceName.toStdString(), NowMs());
}

void LinePublisher::EventLine(const QString& line)
{
    if (feed_)
        feed_->EventLine(line.toStdString());
}

void LinePublisher::FaultRecorded(const StationRecord& record, const QString& deviceName)
{
    if (feed_)
        feed_->FaultRecorded(record, deviceName.toStdString(), NowMs());
}

QString LinePublisher::StatusText() const
{
    if (!feed_)
        return {};
    const PublisherStats s = publisher_.Stats();
    return QStringLiteral("MQTT: %1, %2 dropped")
        .arg(s.connected ? QStringLiteral("connected") : QStringLiteral("not connected"))
        .arg(s.dropped);
}

void LinePublisher::Tick()
{
    if (feed_)
        feed_->Tick(NowMs());
    const QString text = StatusText();
    if (text != shown_) {
        shown_ = text;
        emit statusChanged(text);
    }
}

}  // namespace vm
