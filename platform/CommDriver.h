#pragma once
#include "comm/CommManager.h"
#include "platform/PreciseAlarm.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <memory>

class QWidget;

namespace vm {

// Runs a CommManager on the Qt thread that owns it: a precise 30 ms timer calls Tick (on a
// line-paced port also an alarm set to the moment the manager asks for), received
// bytes are handed over from the port's thread by a queued call, port failures and traffic come
// out as signals. Both keep running while a client's handler runs a nested event loop.
// When the port's device goes away the driver closes it and reopens the same device with the
// same settings every few seconds; the manager keeps ticking meanwhile, so stations time out
// and give up as on any dead line.
class CommDriver : public QObject, public CommErrorSink {
    Q_OBJECT
public:
    explicit CommDriver(QObject* parent = nullptr);
    ~CommDriver() override;

    CommManager& Manager() { return *m_manager; }
    // Starts (or restarts) the manager with the settings and runs the tick timer. 0 ok, 2 port.
    int Start(const CommSettings& settings);
    void Stop();
    bool IsRunning() const { return m_timer.isActive(); }
    // True from portLost until portRestored (or the next Start or Stop).
    bool IsPortLost() const { return m_lost; }
    // How often a lost port is reopened; 3 s unless set.
    void SetReopenInterval(int ms) { m_reopenTimer.setInterval(ms); }
    int ReopenInterval() const { return m_reopenTimer.interval(); }
    static constexpr int kDefaultReopenMs = 3000;

    // Shows every port failure in a critical message box over parent, once back in the event loop.
    void ShowErrorsAsMessageBoxes(QWidget* parent);

    // CommErrorSink; safe from any thread.
    void ReportPortError(const std::string& caption, const std::string& text) override;

signals:
    void traffic(int kind);
    void portError(const QString& caption, const QString& text);
    // The device went away; reopening has begun.
    void portLost();
    // The device was opened again with the settings of the last Start.
    void portRestored();

private:
    void PumpReceived();
    // Line-paced: sets the alarm for the moment the manager next needs a step.
    void SchedulePaced();
    void CheckPortLost();
    void TryReopen();
    void CancelReopen();

    std::unique_ptr<CommManager> m_manager;
    QTimer m_timer;
    PreciseAlarm m_pacedAlarm;
    QTimer m_reopenTimer;
    CommSettings m_settings;  // of the last Start: what a lost port reopens with
    bool m_lost = false;
    bool m_wakePosted = false;         // a step of the idle paced line is on its way
    std::atomic<bool> m_quiet{false};  // reopen attempts fail without warnings
};

}  // namespace vm
