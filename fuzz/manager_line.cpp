// The communication manager under whatever the line brings: bytes of replies, other masters'
// frames and noise, between ticks, queued requests, monitor registrations and probes of lost
// stations. Input: a series of operations, each a byte (operation in the low three bits) and its
// operands; bytes left over go to the line.

#include "FuzzCheck.h"

#include "comm/CommManager.h"

#include <memory>
#include <vector>

using namespace vm;

namespace {

class NullPort final : public CommPort {
public:
    bool Open(const PortSettings&, CommErrorSink*, std::function<void()>) override { return true; }
    bool Start() override { return true; }
    bool WriteBytes(std::span<const uint8_t>) override { return true; }
    bool WriteText(std::string_view) override { return true; }
    bool IsOpen() const override { return true; }
    void Close() override {}
    bool ReadByte(uint8_t&) override { return false; }
};

struct Client final : CommClient {
    void OnCommReply(int, const CommReply& reply) override
    {
        FUZZ_CHECK(reply.count >= 0 && reply.count <= 8);
    }
    void OnCommMonitor(int, const CommReply& reply) override
    {
        FUZZ_CHECK(reply.count >= 0 && reply.count <= 8);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    CommManager m;
    m.SetPortFactory([] { return std::make_unique<NullPort>(); });
    CommSettings settings;
    settings.protocolMode = (data[0] & 1) ? kKx485 : kModbusRtu;
    settings.timeoutMs = 90;
    settings.retryCount = 2;
    settings.blockReads = (data[0] & 2) != 0;
    settings.blockReadMax = 8;
    FUZZ_CHECK(m.Start(settings) == 0);
    m.SetLostProbeTiming({true, 60, 120, 2});
    Client client;
    uint64_t foreign = 0;
    size_t i = 1;
    auto next = [&]() -> uint8_t { return i < size ? data[i++] : 0; };
    while (i < size) {
        const uint8_t op = next();
        switch (op & 7) {
        case 0:
            for (int n = 0; n <= (op >> 3); ++n)
                m.Tick();
            break;
        case 1:
            for (int n = 0; n <= (op >> 3) && i < size; ++n)
                m.ReceiveByte(next());
            break;
        case 2:
            if (op & 8)
                m.QueueBlockRead(next() % 8, next(), next() % 12 + 1, &client);
            else
                m.QueueRead(next() % 8, next(), &client);
            break;
        case 3: {
            const uint16_t a[] = {next(), next()};
            m.AddMonitor(next() % 8, a);
            break;
        }
        case 4:
            m.WatchLostStation(next() % 8, next(), &client);
            break;
        case 5:
            m.ForgetLostStation(next() % 8);
            break;
        case 6:
            m.SetPollRange(next() % 8, next() % 8);
            break;
        default: {
            const uint16_t a[] = {next()};
            m.RemoveMonitor(next() % 8, a);
            break;
        }
        }
        FUZZ_CHECK(m.ForeignReplies() >= foreign);
        foreign = m.ForeignReplies();
    }
    return 0;
}
