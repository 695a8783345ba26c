#pragma once
#include "comm/CommManager.h"

#include <memory>
#include <string>
#include <vector>

namespace vm::test {

// What a FakePort saw; shared with the test because the manager owns the port itself.
struct FakeLine {
    std::vector<std::vector<uint8_t>> written;
    bool failOpen = false;
    int opens = 0;
    PortSettings settings;

    std::string LastText() const
    {
        return written.empty() ? std::string() : std::string(written.back().begin(), written.back().end());
    }
};

class FakePort : public CommPort {
public:
    explicit FakePort(std::shared_ptr<FakeLine> line) : m_line(std::move(line)) {}
    bool Open(const PortSettings& settings, CommErrorSink*, std::function<void()>) override
    {
        ++m_line->opens;
        m_line->settings = settings;
        m_open = !m_line->failOpen;
        return m_open;
    }
    bool Start() override { return m_open; }
    bool WriteBytes(std::span<const uint8_t> bytes) override
    {
        m_line->written.emplace_back(bytes.begin(), bytes.end());
        return m_open;
    }
    bool WriteText(std::string_view text) override
    {
        return WriteBytes({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
    }
    bool IsOpen() const override { return m_open; }
    void Close() override { m_open = false; }
    bool ReadByte(uint8_t&) override { return false; }

private:
    std::shared_ptr<FakeLine> m_line;
    bool m_open = false;
};

// Records every notification; optional hooks run inside them.
class Recorder : public CommClient {
public:
    explicit Recorder(Role role = Role::Other) : m_role(role) {}
    void OnCommReply(int station, const CommReply& reply) override
    {
        replies.push_back(reply);
        if (onReply)
            onReply(reply);
    }
    void OnCommMonitor(int station, const CommReply& reply) override
    {
        monitors.push_back(reply);
        if (onMonitor)
            onMonitor(reply);
    }
    Role CommRole() const override { return m_role; }

    std::vector<CommReply> replies;
    std::vector<CommReply> monitors;
    std::function<void(const CommReply&)> onReply;
    std::function<void(const CommReply&)> onMonitor;

private:
    Role m_role;
};

inline std::vector<uint8_t> Bytes(std::string_view s)
{
    return {s.begin(), s.end()};
}

}  // namespace vm::test
