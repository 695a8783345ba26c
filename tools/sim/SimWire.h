#pragma once
// The wire a pseudo-terminal lacks: a reply is held back by the time the request and the reply
// take on the wire at a given baud rate (10 bits a byte) plus the drive's response time, so that
// a master measured on a pty meets the real wire's bound. With a pacing gap it also counts the
// requests that began before the gap after the previous reply had passed.

#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <vector>

namespace vm::sim {

struct WireTiming {
    int baud = 0;            // 0: replies go out at once
    int64_t responseUs = 0;  // the drive's time from the end of a request to its reply
    int64_t gapUs = -1;      // silence a master must keep after a reply; -1: not checked
};

class SimWire {
public:
    explicit SimWire(const WireTiming& timing) : timing_(timing) {}

    bool Timed() const { return timing_.baud > 0; }
    // The time bytes take on the wire.
    int64_t WireUs(size_t bytes) const;
    // Bytes of a request written by the master at nowUs.
    void Requested(size_t bytes, int64_t nowUs);
    // A reply the line produced at nowUs: queued until it would have passed on the wire.
    void Replied(std::vector<uint8_t> bytes, int64_t nowUs);
    // Output due at or before nowUs, in order.
    std::vector<uint8_t> TakeDue(int64_t nowUs);
    std::optional<int64_t> NextDueUs() const;
    // Requests that began inside the gap after a reply.
    uint64_t Early() const { return early_; }

private:
    struct Pending {
        int64_t due;
        std::vector<uint8_t> bytes;
    };
    WireTiming timing_;
    std::deque<Pending> pending_;
    size_t requestBytes_ = 0;
    int64_t requestUs_ = 0;
    int64_t wireFreeUs_ = 0;
    int64_t lastReplyEndUs_ = -1;
    uint64_t early_ = 0;
};

}  // namespace vm::sim
