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
    fd_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd_ >= 0) {
        notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
        connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
            uint64_t expirations = 0;
            // Emptied even when stopped meanwhile, or the notifier would fire again at once.
            if (read(fd_, &expirations, sizeof expirations) == sizeof expirations && active_)
                Fire();
        });
        return;
    }
    fallback_ = std::make_unique<QTimer>();
    fallback_->setTimerType(Qt::PreciseTimer);
    fallback_->setSingleShot(true);
    connect(fallback_.get(), &QTimer::timeout, this, [this] {
        if (active_)
            Fire();
    });
}

PreciseAlarm::~PreciseAlarm()
{
    notifier_.reset();
    if (fd_ >= 0)
        close(fd_);
}

void PreciseAlarm::StartAt(int64_t steadyUs)
{
    active_ = true;
    if (fd_ < 0) {
        const int64_t waitUs = std::max<int64_t>(steadyUs - SteadyMicroseconds(), 0);
        fallback_->start(static_cast<int>((waitUs + 999) / 1000));
        return;
    }
    // An all-zero time would disarm the file instead of firing it.
    const int64_t at = std::max<int64_t>(steadyUs, 1);
    itimerspec when{};
    when.it_value.tv_sec = static_cast<time_t>(at / 1000000);
    when.it_value.tv_nsec = static_cast<long>(at % 1000000) * 1000;
    timerfd_settime(fd_, TFD_TIMER_ABSTIME, &when, nullptr);
}

void PreciseAlarm::Stop()
{
    active_ = false;
    if (fallback_) {
        fallback_->stop();
        return;
    }
    const itimerspec disarm{};
    timerfd_settime(fd_, TFD_TIMER_ABSTIME, &disarm, nullptr);
}

void PreciseAlarm::Fire()
{
    active_ = false;
    emit timeout();
}

}  // namespace vm
