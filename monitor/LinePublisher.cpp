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

QString LinePublisher::Start(const QString& portName)
{
    QSettings s(kCompanyKey, kApplicationKey);
    settings_ = LoadMqttSettings(s);
    return PortChanged(portName);
}

QString LinePublisher::PortChanged(const QString& portName)
{
    QString error;
    if (!Apply(settings_, portName, &error))
        return QStringLiteral("MQTT: %1").arg(error);
    return {};
}

QString LinePublisher::RunSetup(QWidget* parent, const QString& portName)
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

bool LinePublisher::Apply(const MqttSettings& settings, const QString& portName, QString* error)
{
    tick_.stop();
    publisher_.Stop();
    feed_.reset();
    if (settings.enabled) {
        const std::optional<MqttOptions> options = ToMqttOptions(settings, portName, error);
        std::string why;
        if (!options) {
            Tick();
            return false;
        }
        if (!publisher_.Start(*options, &why)) {
            if (error)
                *error = QString::fromStdString(why);
            Tick();
            return false;
        }
        feed_ = std::make_unique<DriveFeed>(publisher_, options->line, options->intervalMs);
        tick_.start();
    }
    Tick();
    return true;
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
