#include "platform/CommDriver.h"

#include <QMessageBox>
#include <QMetaObject>
#include <QPointer>
#include <QThread>
#include <QWidget>

namespace vm {

CommDriver::CommDriver(QObject* parent) : QObject(parent), m_manager(std::make_unique<CommManager>())
{
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        // Qt does not fire a timer again while its slot runs. Restarted, it is a new timer, so a
        // nested event loop opened by a client inside this tick does not stop the line's clock.
        m_timer.start();
        // Bytes are taken here as well: the queued hand-over may be held up while a nested
        // event loop runs inside another queued call.
        m_manager->PumpReceived();
        m_manager->Tick();
        CheckPortLost();
        SchedulePaced();
    });
    connect(&m_pacedAlarm, &PreciseAlarm::timeout, this, [this] {
        m_manager->PumpReceived();
        m_manager->Tick();
        SchedulePaced();
    });
    m_reopenTimer.setInterval(kDefaultReopenMs);
    connect(&m_reopenTimer, &QTimer::timeout, this, &CommDriver::TryReopen);
    m_manager->SetErrorSink(this);
    // Called on the port's thread: hand the bytes over to ours.
    m_manager->SetReceiveNotifier(
        [this] { QMetaObject::invokeMethod(this, &CommDriver::PumpReceived, Qt::QueuedConnection); });
    // A request queued on an idle paced line goes out now, not at the next regular tick.
    m_manager->SetWorkNotifier([this] {
        if (m_wakePosted)
            return;
        m_wakePosted = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_wakePosted = false;
                SchedulePaced();
            },
            Qt::QueuedConnection);
    });
    m_manager->SetTrafficHandler([this](int kind) {
        // Posted, so that a slot never runs inside the manager's own step.
        QMetaObject::invokeMethod(
            this, [this, kind] { emit traffic(kind); }, Qt::QueuedConnection);
    });
}

CommDriver::~CommDriver()
{
    m_timer.stop();
    // The port's thread ends here, before queued hand-overs to this object are discarded.
    m_manager.reset();
}

int CommDriver::Start(const CommSettings& settings)
{
    m_timer.stop();
    m_pacedAlarm.Stop();
    CancelReopen();
    m_settings = settings;
    const int result = m_manager->Start(settings);
    if (result == 0)
        m_timer.start(settings.tickMs > 0 ? settings.tickMs : 30);
    return result;
}

void CommDriver::Stop()
{
    m_timer.stop();
    m_pacedAlarm.Stop();
    CancelReopen();
    m_manager->Stop();
}

void CommDriver::PumpReceived()
{
    m_manager->PumpReceived();
    SchedulePaced();
}

void CommDriver::SchedulePaced()
{
    const int64_t due = m_manager->NextDueUs();
    if (due < 0 || !m_timer.isActive())
        return;
    m_pacedAlarm.StartAt(due);
}

void CommDriver::CheckPortLost()
{
    if (m_lost || !m_manager->PortLost())
        return;
    m_lost = true;
    // The device's one warning has been sent; the attempts to reopen it stay silent.
    m_quiet = true;
    if (CommPort* port = m_manager->Port())
        port->Close();
    m_reopenTimer.start();
    emit portLost();
}

void CommDriver::TryReopen()
{
    if (!m_lost || !m_manager->ReopenPort(m_settings))
        return;
    CancelReopen();
    emit portRestored();
}

void CommDriver::CancelReopen()
{
    m_reopenTimer.stop();
    m_lost = false;
    m_quiet = false;
}

void CommDriver::ReportPortError(const std::string& caption, const std::string& text)
{
    if (m_quiet)
        return;
    const QString c = QString::fromStdString(caption), t = QString::fromStdString(text);
    if (QThread::currentThread() == thread())
        emit portError(c, t);
    else
        QMetaObject::invokeMethod(
            this, [this, c, t] { emit portError(c, t); }, Qt::QueuedConnection);
}

void CommDriver::ShowErrorsAsMessageBoxes(QWidget* parent)
{
    QPointer<QWidget> owner(parent);
    // Queued: a failing write is reported from inside the tick, where no box may open.
    connect(
        this, &CommDriver::portError, this,
        [owner](const QString& caption, const QString& text) {
            QMessageBox::critical(owner.data(), caption, text);
        },
        Qt::QueuedConnection);
}

}  // namespace vm
