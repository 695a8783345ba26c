#pragma once
#include <QObject>

#include <cstdint>
#include <memory>

class QSocketNotifier;
class QTimer;

namespace vm {

// A one-shot alarm for a moment on the steady clock, kept to the microsecond. Qt's timers count
// whole milliseconds, which would stretch a 1.75 ms gap between frames to 2 ms or more; on a fast
// line that is a tenth of every transaction. Where the kernel has no timer file it falls back to
// a millisecond timer, rounded up so that it never fires early.
class PreciseAlarm : public QObject {
    Q_OBJECT
public:
    explicit PreciseAlarm(QObject* parent = nullptr);
    ~PreciseAlarm() override;

    // Fires timeout() once at steadyUs (on SteadyMicroseconds' clock), or at once if it has
    // passed. A new call replaces the moment set before.
    void StartAt(int64_t steadyUs);
    void Stop();
    bool IsActive() const { return active_; }

signals:
    void timeout();

private:
    void Fire();

    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::unique_ptr<QTimer> fallback_;
    bool active_ = false;
};

}  // namespace vm
