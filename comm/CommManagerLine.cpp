// The manager's line timing and read framing: when a frame may go out under either pacing, and
// how the monitor cycle's consecutive Modbus reads are framed as block reads.

#include "comm/CommManager.h"

#include <algorithm>

namespace vm {

bool CommManager::AttemptTimedOut()
{
    if (m_pacing.LinePaced())
        return m_pacing.TimedOut(NowUs());
    return ++m_tickCounter > CurrentTimeoutTicks();
}

bool CommManager::LineFreeForNextFrame() const
{
    return !m_pacing.LinePaced() || m_pacing.LineFree(NowUs());
}

int64_t CommManager::CurrentTimeoutUs() const
{
    // A probe's own time-out is kept in ticks, with the wire time of its frames already added.
    if (m_requestInProgress && !m_queue.empty() && m_queue.front().timeoutTicks >= 0)
        return static_cast<int64_t>(m_queue.front().timeoutTicks) * m_tickMs * 1000;
    return static_cast<int64_t>(m_timeoutMs) * 1000;
}

int64_t CommManager::NextDueUs() const
{
    if (!m_started || !m_pacing.LinePaced())
        return -1;
    // Idle (nothing was sent when the line was last free) until the caller's regular tick.
    return m_pacing.NextDueUs(m_waiting);
}

void CommManager::BuildModbusMonitorRead(int station, int step)
{
    const std::vector<uint16_t> addresses = MonitorAddresses(station);
    const size_t count = ConsecutiveRun(addresses, static_cast<size_t>(step), m_blocks.Limit(station));
    m_reply.command = 'R';
    m_reply.count = static_cast<int>(count);
    for (size_t i = 0; i < count; ++i)
        m_reply.addresses[i] = addresses[static_cast<size_t>(step) + i];
    const uint16_t first = addresses[static_cast<size_t>(step)];
    m_mbFrame = count > 1 ? modbus::BuildBlockRead(station, first, static_cast<int>(count))
                          : modbus::BuildRead(station, first);
    m_mbReceiver.Expect(m_mbFrame);
}

int CommManager::RequestCount(const Request& request) const
{
    if (m_mode != kModbusRtu || request.command != 'R' || request.count <= 1)
        return 1;
    return std::min({request.count, m_blocks.Limit(request.station), kMaxReplyValues});
}

void CommManager::WorkArrived()
{
    if (!m_started || !m_pacing.LinePaced() || m_waiting)
        return;
    m_pacing.Wake();
    if (m_workNotifier)
        m_workNotifier();
}

void CommManager::TakeModbusValues(std::span<const uint8_t> frame)
{
    const int count = std::min(modbus::ReadCount(m_mbFrame), kMaxReplyValues);
    if (count == 0) {
        m_reply.values[0] = static_cast<uint16_t>(frame[4] << 8 | frame[5]);  // a write's echo
        return;
    }
    for (int i = 0; i < count; ++i)
        m_reply.values[static_cast<size_t>(i)] = modbus::ReplyRegister(frame, static_cast<size_t>(i));
}

bool CommManager::FallBackFromBlockRead(int error)
{
    if (m_mode != kModbusRtu || m_reply.command != 'R' || m_reply.count < 2 || !BlockReadRefused(error))
        return false;
    // Counted as what it was, but no listener hears of it: the same step (or request) goes out
    // again as a single read at the next opportunity, as the first attempt of its own
    // transaction.
    CountOutcome(error);
    m_blocks.Refuse(m_reply.station);
    m_waiting = false;
    m_tickCounter = 0;
    NotifyTraffic(IsModbusException(error) ? kReplyAccepted : kAttemptFailed);
    return true;
}

}  // namespace vm
