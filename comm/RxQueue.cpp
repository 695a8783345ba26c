#include "comm/RxQueue.h"

namespace vm {

void RxQueue::SetNotifier(std::function<void()> notify)
{
    std::lock_guard lock(m_mutex);
    m_notify = std::move(notify);
}

void RxQueue::Push(std::span<const uint8_t> bytes)
{
    std::function<void()> notify;
    {
        std::lock_guard lock(m_mutex);
        if (m_discarding || bytes.empty())
            return;
        m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
        if (!m_notifyPending && m_notify) {
            m_notifyPending = true;
            notify = m_notify;
        }
    }
    // Outside the lock: the notifier may post to another thread that is draining right now.
    if (notify)
        notify();
}

bool RxQueue::Pop(uint8_t& byte)
{
    std::lock_guard lock(m_mutex);
    if (m_discarding || m_bytes.empty()) {
        m_notifyPending = false;
        return false;
    }
    byte = m_bytes.front();
    m_bytes.pop_front();
    return true;
}

size_t RxQueue::TakeAll(std::vector<uint8_t>& out)
{
    std::lock_guard lock(m_mutex);
    m_notifyPending = false;
    if (m_discarding)
        return 0;
    const size_t n = m_bytes.size();
    out.insert(out.end(), m_bytes.begin(), m_bytes.end());
    m_bytes.clear();
    return n;
}

uint64_t RxQueue::BeginDiscard()
{
    std::lock_guard lock(m_mutex);
    m_discarding = true;
    m_bytes.clear();
    return ++m_ticket;
}

void RxQueue::EndDiscard(uint64_t ticket)
{
    std::lock_guard lock(m_mutex);
    m_bytes.clear();
    // A newer frame is already waiting to go out: keep discarding until it has.
    if (ticket == m_ticket)
        m_discarding = false;
}

void RxQueue::Clear()
{
    std::lock_guard lock(m_mutex);
    m_bytes.clear();
}

size_t RxQueue::Size() const
{
    std::lock_guard lock(m_mutex);
    return m_bytes.size();
}

}  // namespace vm
