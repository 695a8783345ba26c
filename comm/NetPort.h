#pragma once
// CommPort on a TCP connection to a serial device server: a raw byte stream ("tcp://HOST:PORT")
// or Telnet with COM-PORT-OPTION ("rfc2217://HOST:PORT"), where the server is told the line's
// settings and purges its buffers when the connection opens. One worker thread reads and writes
// the socket. The connection closed or reset by the server makes the port lost, like an
// unplugged adapter: the owner closes it and opens it again.
#include "comm/CommPort.h"
#include "comm/NetAddress.h"
#include "comm/PortWorker.h"
#include "comm/Rfc2217Codec.h"
#include "comm/RxQueue.h"

#include <atomic>
#include <string>
#include <vector>

namespace vm {

class NetPort : public CommPort {
public:
    static constexpr size_t kBufferSize = 512;
    // How long Open waits for the server to accept the connection.
    static constexpr int kConnectTimeoutMs = 2000;

    NetPort() = default;
    ~NetPort() override;
    NetPort(const NetPort&) = delete;
    NetPort& operator=(const NetPort&) = delete;

    bool Open(const PortSettings& settings, CommErrorSink* errors, std::function<void()> onReceived) override;
    bool Start() override;
    bool WriteBytes(std::span<const uint8_t> bytes) override;
    // A text frame keeps one byte of the buffer for its terminator.
    bool WriteText(std::string_view text) override
    {
        return text.size() < kBufferSize && CommPort::WriteText(text);
    }
    bool IsOpen() const override { return fd_ >= 0; }
    void Close() override;
    bool IsLost() const override { return lost_.load(); }
    bool ReadByte(uint8_t& byte) override { return rx_.Pop(byte); }
    size_t ReadAll(std::vector<uint8_t>& out) override { return rx_.TakeAll(out); }
    int64_t LastWriteDoneUs() const override { return writeDoneUs_.load(); }
    int64_t LastArrivalUs() const override { return arrivalUs_.load(); }

    // True once an RFC 2217 server has answered a COM-PORT-OPTION command.
    bool ServerAcknowledged() const { return acknowledged_.load(); }

private:
    void WriteFrame();
    bool ReadSocket(bool keepData);
    bool SendAll(const std::vector<uint8_t>& bytes);
    void Report(const char* call, const std::string& text);
    void Lose(const char* call, int err);
    int Connect(const NetAddress& address);

    PortSettings settings_;
    CommErrorSink* errors_ = nullptr;
    bool rfc2217_ = false;
    int fd_ = -1;
    std::atomic<bool> lost_{false};
    std::atomic<bool> acknowledged_{false};
    std::atomic<int64_t> writeDoneUs_{-1};
    std::atomic<int64_t> arrivalUs_{-1};

    RxQueue rx_;
    Rfc2217Codec codec_;  // worker only, once started
    // Declared last, so destroyed first: its thread ends before the members it uses go.
    PortWorker worker_;
};

}  // namespace vm
