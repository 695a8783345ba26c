#pragma once
// varimonctl monitor --stats: the monitored station's line health as the communication manager
// counts it, as a line of text or one JSON object, with the values refreshed per second.

#include "comm/CommManager.h"

#include <cstdint>
#include <string>

namespace vm::ctl {

class CtlStats {
public:
    // Times are milliseconds on a monotonic clock; the run starts at startMs.
    CtlStats(const CommManager& manager, int station, bool json, int64_t startMs);

    // The counters so far, values per second since the line before (or the start).
    std::string Line(int64_t nowMs);
    // The counters so far, values per second over the whole run.
    std::string Summary(int64_t nowMs) const;

private:
    std::string Format(const char* label, int64_t sinceMs, uint64_t valuesSince, int64_t nowMs) const;

    const CommManager& manager_;
    int station_;
    bool json_;
    int64_t startMs_;
    int64_t lastMs_;
    uint64_t lastValues_ = 0;
};

}  // namespace vm::ctl
