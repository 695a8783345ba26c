#pragma once
// How one station's line is faring, counted by the communication manager: every transaction and
// attempt, what came back (or did not), and how long the replies took. Standard library only.

#include <cstdint>
#include <map>
#include <string>

namespace vm {

struct StationHealth {
    uint64_t requests = 0;     // transactions started (first attempts only)
    uint64_t attempts = 0;     // frames sent: requests plus repetitions
    uint64_t repetitions = 0;  // attempts after a failed one
    uint64_t giveUps = 0;      // transactions abandoned after the last repetition
    uint64_t replies = 0;      // well-formed replies: data, NAK or Modbus exception
    uint64_t timeouts = 0;
    uint64_t checksumErrors = 0;         // KX485 sum error, Modbus CRC error
    uint64_t frameErrors = 0;            // replies that fit no request (layout, station, command)
    std::map<int, uint64_t> rejections;  // NAK and exception replies by CommError code
    uint64_t valuesRefreshed = 0;        // register values delivered by successful monitor replies
    // Reply time from the end of the request to the last byte of the reply, in microseconds;
    // timed are the replies counted in replies.
    uint64_t timed = 0;
    int64_t replyLastUs = 0;
    int64_t replyMaxUs = 0;
    int64_t replySumUs = 0;

    int64_t ReplyMeanUs() const { return timed ? replySumUs / static_cast<int64_t>(timed) : 0; }
    uint64_t RejectionCount() const;
    // "3×NAK IA, 2×Ex 2"; empty when there were none.
    std::string RejectionText() const;
    void AddReplyTime(int64_t us);
};

// The short name of a refusal: "NAK IA" for a KX485 negative reply, "Ex 2" for a Modbus exception.
std::string RejectionName(int error);

}  // namespace vm
