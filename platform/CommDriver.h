#pragma once
#include "comm/CommManager.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class QWidget;

namespace vm {

// Runs a CommManager on the Qt thread that owns it: a precise 30 ms timer calls Tick, received
// bytes are handed over from the port's thread by a queued call, port failures and traffic come
// out as signals. Both keep running while a client's handler runs a nested event loop.
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

    // Shows every port failure in a critical message box over parent, once back in the event loop.
    void ShowErrorsAsMessageBoxes(QWidget* parent);

    // CommErrorSink; safe from any thread.
    void ReportPortError(const std::string& caption, const std::string& text) override;

signals:
    void traffic(int kind);
    void portError(const QString& caption, const QString& text);

private:
    void PumpReceived();

    std::unique_ptr<CommManager> m_manager;
    QTimer m_timer;
};

}  // namespace vm
