#include "tools/sim/SimWire.h"

#include <algorithm>

namespace vm::sim {

namespace {
constexpr int64_t kUnansweredUs = 20000;
}  // namespace

int64_t SimWire::WireUs(size_t bytes) const
{
    if (timing_.baud <= 0)
        return 0;
    return (static_cast<int64_t>(bytes) * 10 * 1000000 + timing_.baud - 1) / timing_.baud;
}

void SimWire::Requested(size_t bytes, int64_t nowUs)
{
    if (bytes == 0)
        return;
    // A request nobody answered is over once a frame's silence has followed it.
    if (requestBytes_ > 0 && nowUs - requestUs_ > WireUs(requestBytes_) + kUnansweredUs)
        requestBytes_ = 0;
    if (requestBytes_ == 0) {
        requestUs_ = nowUs;
        if (timing_.gapUs >= 0 && lastReplyEndUs_ >= 0 && nowUs < lastReplyEndUs_ + timing_.gapUs)
            ++early_;
    }
    requestBytes_ += bytes;
}

void SimWire::Replied(std::vector<uint8_t> bytes, int64_t nowUs)
{
    if (bytes.empty())
        return;
    // The request went out on the wire from the moment it was written, the reply follows the
    // drive's response time, and one reply never overlaps the one before.
    const int64_t start = std::max(requestBytes_ > 0 ? requestUs_ : nowUs, wireFreeUs_);
    const int64_t due =
        start + WireUs(requestBytes_) + (Timed() ? timing_.responseUs : 0) + WireUs(bytes.size());
    requestBytes_ = 0;
    wireFreeUs_ = due;
    pending_.push_back({std::max(due, nowUs), std::move(bytes)});
}

std::vector<uint8_t> SimWire::TakeDue(int64_t nowUs)
{
    std::vector<uint8_t> out;
    while (!pending_.empty() && pending_.front().due <= nowUs) {
        out.insert(out.end(), pending_.front().bytes.begin(), pending_.front().bytes.end());
        lastReplyEndUs_ = pending_.front().due;
        pending_.pop_front();
    }
    return out;
}

std::optional<int64_t> SimWire::NextDueUs() const
{
    if (pending_.empty())
        return std::nullopt;
    return pending_.front().due;
}

}  // namespace vm::sim
