#include "comm/StationHealth.h"

#include "comm/CommReply.h"
#include "comm/Kx485.h"

#include <algorithm>

namespace vm {

uint64_t StationHealth::RejectionCount() const
{
    uint64_t n = 0;
    for (const auto& [error, count] : rejections)
        n += count;
    return n;
}

std::string StationHealth::RejectionText() const
{
    std::string text;
    for (const auto& [error, count] : rejections) {
        if (!text.empty())
            text += ", ";
        text += std::to_string(count) + "\u00d7" + RejectionName(error);
    }
    return text;
}

void StationHealth::AddReplyTime(int64_t us)
{
    us = std::max<int64_t>(us, 0);
    ++timed;
    replyLastUs = us;
    replyMaxUs = std::max(replyMaxUs, us);
    replySumUs += us;
}

std::string RejectionName(int error)
{
    if (IsModbusException(error))
        return "Ex " + std::to_string(ModbusExceptionCode(error));
    const std::string letters = kx485::NakLetters(error);
    return letters.empty() ? std::string("NAK") : "NAK " + letters;
}

}  // namespace vm
