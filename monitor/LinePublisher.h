#pragma once
// The main window's publisher: station records, event-log lines and fault records in, messages to
// the broker out, on the publisher's own threads. Every call returns at once, so a broker that is
// down never slows the line. statusText says how publishing goes, drops included.

#include "catalogue/StationRecord.h"
#include "monitor/MonitorHooks.h"
#include "monitor/MqttSettings.h"
#include "publish/DriveFeed.h"
#include "publish/MqttPublisher.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class QLabel;
class QWidget;

namespace vm {

class LinePublisher : public QObject, public FaultHistoryHook {
    Q_OBJECT
public:
    explicit LinePublisher(QObject* parent = nullptr);
    ~LinePublisher() override;

    // The main window's side. Start reads section "MQTT" and publishes if it is enabled; RunSetup
    // shows the Setup dialog and applies and stores what is chosen; PortChanged follows the port's
    // name into the topics. A failure's text names the publisher.
    Result<void> Start(const QString& portName);
    Result<void> RunSetup(QWidget* parent, const QString& portName);
    Result<void> PortChanged(const QString& portName);
    // A status-bar pane that shows StatusText.
    QLabel* StatusPane(QWidget* parent);
    // Fault records go on to the history, then to the broker.
    void Attach(FaultHistoryHook* history) { history_ = history; }
    void AddFault(const StationRecord& record, const QString& deviceName) override;
    const MqttSettings& Settings() const { return settings_; }

    // Starts, restarts or stops publishing; a failure when the settings cannot be used.
    Result<void> Apply(const MqttSettings& settings, const QString& portName);
    bool IsRunning() const { return feed_ != nullptr; }

    void StationChanged(const StationRecord& record, const QString& deviceName);
    void EventLine(const QString& line);
    void FaultRecorded(const StationRecord& record, const QString& deviceName);

    PublisherStats Stats() const { return publisher_.Stats(); }
    // "MQTT: connected, 0 dropped"; empty while off.
    QString StatusText() const;

signals:
    void statusChanged(const QString& text);

private:
    void Tick();

    MqttSettings settings_;
    FaultHistoryHook* history_ = nullptr;
    MqttPublisher publisher_;
    std::unique_ptr<DriveFeed> feed_;
    QTimer tick_;
    QString shown_;
};

}  // namespace vm
