#pragma once
// Reads the way the online editor's "read all" does: one register after the other, each queued
// when the one before has been answered.

#include "comm/CommManager.h"

#include <cstdint>

namespace vm::test {

struct ReadSeries : CommClient {
    // count reads of station, cycling through first .. first + span - 1.
    ReadSeries(CommManager& manager, int station, int count, uint16_t first, int span)
        : manager(manager), station(station), left(count), first(first), span(span)
    {}
    void Start() { Next(); }
    bool Done() const { return left < 0 || (left == 0 && !pending); }
    void OnCommReply(int, const CommReply& reply) override
    {
        if (IsFinalError(reply.error)) {
            pending = false;
            ++done;
            Next();
        }
    }

    CommManager& manager;
    int station;
    int left;
    uint16_t first;
    int span;
    int done = 0;
    bool pending = false;

private:
    void Next()
    {
        if (left <= 0)
            return;
        --left;
        pending = true;
        manager.QueueRead(station, static_cast<uint16_t>(first + left % span), this);
    }
};

}  // namespace vm::test
