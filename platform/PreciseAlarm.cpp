#include "platform/PreciseAlarm.h"

#include "comm/CommPort.h"

#include <QSocketNotifier>
#include <QTimer>

#include <sys/timerfd.h>
#include <unistd.h>
#include <algorithm>

namespace vm {

PreciseAlarm::PreciseAlarm(QObject* parent) : QObject(parent)
{
    // steady_clock is CLOCK_MONOTONIC on Linux, so the file's absolute times are ours.
    m_fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_fd >= 0) {
        m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
        connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] {
            uint64_t expirations = 0;
            // Emptied even when stopped meanwhile, or the notifier would fire again at once.
            if (read(m_fd, &expirations, sizeof expirations) == sizeof expirations && m_active)
                Fire();
        });
        return;
    }
    m_fallback = std::make_unique<QTimer>();
    m_fallback->setTimerType(Qt::PreciseTimer);
    m_fallback->setSingleShot(true);
    connect(m_fallback.get(), &QTimer::timeout, this, [this] {
        if (m_active)
            Fire();
    });
}

PreciseAlarm::~PreciseAlarm()
{
    m_notifier.reset();
    if (m_fd >= 0)
        close(m_fd);
}

void PreciseAlarm::StartAt(int64_t steadyUs)
{
    m_active = true;
    if (m_fd < 0) {
        const int64_t waitUs = std::max<int64_t>(steadyUs - SteadyMicroseconds(), 0);
        m_fallback->start(static_cast<int>((waitUs + 999) / 1000));
        return;
    }
    // An all-zero time would disarm the file instead of firing it.
    const int64_t at = std::max<int64_t>(steadyUs, 1);
    itimerspec spec{};
    spec.it_value.tv_sec = static_cast<time_t>(at / 1000000);
    spec.it_value.tv_nsec = static_cast<long>(at % 1000000) * 1000;
    timerfd_settime(m_fd, TFD_TIMER_ABSTIME, &spec, nullptr);
}

void PreciseAlarm::Stop()
{
    m_active = false;
    if (m_fallback) {
        m_fallback->stop();
        return;
    }
    const itimerspec disarm{};
    timerfd_settime(m_fd, TFD_TIMER_ABSTIME, &disarm, nullptr);
}

void PreciseAlarm::Fire()
{
    m_active = false;
    emit timeout();
}

}  // namespace vm
