#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <span>
#include <vector>

namespace vm {

// Hands received bytes from a port's thread to the owner's thread in order. Between BeginDiscard
// (a frame is about to go out) and the EndDiscard with the ticket of the latest BeginDiscard (the
// port has flushed its input before writing that frame) nothing is kept.
class RxQueue {
public:
    void SetNotifier(std::function<void()> notify);
    void Push(std::span<const uint8_t> bytes);
    bool Pop(uint8_t& byte);
    // Appends every waiting byte to out and re-arms the notifier in the same step, so that a
    // byte pushed while the owner is still busy with these is announced again. Returns the count.
    size_t TakeAll(std::vector<uint8_t>& out);
    uint64_t BeginDiscard();
    void EndDiscard(uint64_t ticket);
    void Clear();
    size_t Size() const;

private:
    mutable std::mutex m_mutex;
    std::deque<uint8_t> m_bytes;
    std::function<void()> m_notify;
    bool m_discarding = false;
    uint64_t m_ticket = 0;
    bool m_notifyPending = false;
};

}  // namespace vm
