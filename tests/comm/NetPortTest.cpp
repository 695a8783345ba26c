// Network ports: the names, the Telnet COM-PORT-OPTION codec, and NetPort against a listening
// socket of the test's own on 127.0.0.1.
#include "comm/CommManager.h"
#include "comm/NetAddress.h"
#include "comm/NetPort.h"
#include "comm/Rfc2217Codec.h"
#include "tests/support/Loopback.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <condition_variable>
#include <mutex>

using namespace vm;
using namespace vm::telnet;
using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

namespace {

class Warnings : public CommErrorSink {
public:
    void ReportPortError(const std::string&, const std::string& text) override
    {
        std::lock_guard lock(mutex_);
        texts_.push_back(text);
        cv_.notify_all();
    }
    bool WaitFor(size_t count)
    {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, 10s, [&] { return texts_.size() >= count; });
    }
    std::string All()
    {
        std::lock_guard lock(mutex_);
        std::string all;
        for (const std::string& t : texts_)
            all += t;
        return all;
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<std::string> texts_;
};

// Wakes the test when the port has bytes for it.
class Arrivals {
public:
    std::function<void()> Notifier()
    {
        return [this] {
            std::lock_guard lock(mutex_);
            ++count_;
            cv_.notify_all();
        };
    }
    // Takes bytes from the port until n have come.
    Bytes Take(CommPort& port, size_t n)
    {
        Bytes got;
        std::unique_lock lock(mutex_);
        while (got.size() < n) {
            lock.unlock();
            port.ReadAll(got);
            lock.lock();
            if (got.size() >= n || !cv_.wait_for(lock, 10s, [&] { return count_ > seen_; }))
                break;
            seen_ = count_;
        }
        return got;
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    int count_ = 0;
    int seen_ = 0;
};

// One listening socket on a free port of 127.0.0.1.
class Listener {
public:
    Listener() { fd_ = test::ListenOnLoopback(&port_, 4); }
    ~Listener()
    {
        CloseClient();
        ::close(fd_);
    }
    std::string Url(const char* scheme) const
    {
        return std::string(scheme) + "://127.0.0.1:" + std::to_string(port_);
    }
    bool Accept()
    {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 10000) != 1)
            return false;
        client_ = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
        return client_ >= 0;
    }
    void Send(const Bytes& bytes)
    {
        ASSERT_EQ(::send(client_, bytes.data(), bytes.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(bytes.size()));
    }
    // Reads until n bytes have come or the peer stops sending.
    Bytes Receive(size_t n)
    {
        Bytes got;
        uint8_t buffer[256];
        while (got.size() < n) {
            pollfd p{client_, POLLIN, 0};
            if (::poll(&p, 1, 10000) != 1)
                break;
            const ssize_t r = ::recv(client_, buffer, std::min(sizeof buffer, n - got.size()), 0);
            if (r <= 0)
                break;
            got.insert(got.end(), buffer, buffer + r);
        }
        return got;
    }
    void CloseClient()
    {
        if (client_ >= 0)
            ::close(client_);
        client_ = -1;
    }

private:
    int fd_ = -1;
    int client_ = -1;
    int port_ = 0;
};

PortSettings Net(const std::string& url)
{
    PortSettings s;
    s.portName = url;
    return s;
}

// The subnegotiation of one COM-PORT-OPTION command inside a session start.
Bytes ComPortValue(const Bytes& session, uint8_t command)
{
    const Bytes head = {kIac, kSb, kOptComPort, command};
    auto at = std::search(session.begin(), session.end(), head.begin(), head.end());
    if (at == session.end())
        return {};
    Bytes value;
    for (auto i = at + 4; i + 1 < session.end() && !(*i == kIac && *(i + 1) == kSe); ++i)
        value.push_back(*i);
    return value;
}

}  // namespace

TEST(NetAddress, takesBothSchemesAndRefusesWhatCannotBeConnectedTo)
{
    const auto raw = ParseNetAddress("tcp://plc-gw.local:4001");
    ASSERT_TRUE(raw);
    EXPECT_FALSE(raw.Value().rfc2217);
    EXPECT_EQ(raw.Value().host, "plc-gw.local");
    EXPECT_EQ(raw.Value().port, 4001);
    const auto v6 = ParseNetAddress("rfc2217://[::1]:7000/");
    ASSERT_TRUE(v6);
    EXPECT_TRUE(v6.Value().rfc2217);
    EXPECT_EQ(v6.Value().host, "::1");

    for (const char* bad : {"tcp://host", "tcp://:4001", "tcp://host:0", "tcp://host:65536",
                            "tcp://host:40x1", "rfc2217://::1:7000", "tcp://a b:1", "udp://host:1"}) {
        const auto result = ParseNetAddress(bad);
        EXPECT_FALSE(result) << bad;
        EXPECT_NE(result.Text().find("tcp://HOST:PORT"), std::string::npos) << result.Text();
    }
    EXPECT_TRUE(IsNetworkPortName("tcp://x"));
    EXPECT_FALSE(IsNetworkPortName("/dev/ttyUSB0"));
}

TEST(Rfc2217Codec, sessionStartSetsTheServersUartAsTheLineSettingsSayAndPurges)
{
    PortSettings s;
    s.baudRate = 19200;
    s.dataBits = 7;
    s.parity = 2;
    s.stopBits = 1;
    Rfc2217Codec codec;
    const Bytes session = codec.SessionStart(s);
    EXPECT_EQ(ComPortValue(session, kSetBaudRate), (Bytes{0x00, 0x00, 0x4B, 0x00}));
    EXPECT_EQ(ComPortValue(session, kSetDataSize), Bytes{7});
    EXPECT_EQ(ComPortValue(session, kSetParity), Bytes{3});    // even
    EXPECT_EQ(ComPortValue(session, kSetStopSize), Bytes{3});  // one and a half
    EXPECT_EQ(ComPortValue(session, kSetControl), Bytes{1});   // no flow control
    EXPECT_EQ(ComPortValue(session, kPurgeData), Bytes{3});    // both directions
    s.parity = 4;
    s.stopBits = 2;
    const Bytes other = Rfc2217Codec().SessionStart(s);
    EXPECT_EQ(ComPortValue(other, kSetParity), Bytes{5});
    EXPECT_EQ(ComPortValue(other, kSetStopSize), Bytes{2});

    // The server agreeing to what was offered needs no answer; its baud rate is taken note of.
    Bytes data, replies;
    codec.Feed(Bytes{kIac, kDo, kOptComPort, kIac, kWill, kOptBinary, kIac, kSb, kOptComPort, 101, 0, 0, 0x4B,
                     0, kIac, kSe},
               data, replies);
    EXPECT_TRUE(replies.empty());
    EXPECT_TRUE(data.empty());
    EXPECT_TRUE(codec.ComPortAcknowledged());
    EXPECT_EQ(codec.ServerBaudRate(), 19200u);
    EXPECT_TRUE(codec.Error().empty());
}

TEST(Rfc2217Codec, lineDataSurvivesEscapingAndNegotiationSplitAnywhere)
{
    const Bytes line = {0x05, 0xFF, 0x30, 0xFF, 0xFF, 0x04};
    Bytes wire;
    Rfc2217Codec::AppendEscaped(line, wire);
    EXPECT_EQ(wire, (Bytes{0x05, 0xFF, 0xFF, 0x30, 0xFF, 0xFF, 0xFF, 0xFF, 0x04}));
    // Interleave a subnegotiation carrying an escaped 0xFF and a NOP, and feed one byte at a time.
    Bytes stream = {0x05, kIac, kIac, kIac, kSb, kOptComPort, 107, kIac, kIac, kIac, kSe, 0x30, kIac, 241};
    stream.insert(stream.end(), {0xFF, 0xFF, 0xFF, 0xFF, 0x04});
    Rfc2217Codec codec;
    Bytes data, replies;
    for (uint8_t b : stream)
        codec.Feed(Bytes{b}, data, replies);
    EXPECT_EQ(data, line);
    EXPECT_TRUE(replies.empty());
    EXPECT_TRUE(codec.Error().empty());
}

TEST(Rfc2217Codec, unknownOptionsAreRefusedOnceSoThatTwoPeersNeverLoop)
{
    Rfc2217Codec codec;
    Bytes data, replies;
    codec.Feed(Bytes{kIac, kDo, 24, kIac, kWill, 1, kIac, kDo, 24, kIac, kWill, 1, kIac, kDo, kOptBinary},
               data, replies);
    // DO binary unasked for: agreed to once.
    EXPECT_EQ(replies, (Bytes{kIac, kWont, 24, kIac, kDont, 1, kIac, kWill, kOptBinary}));
    EXPECT_TRUE(codec.Error().empty());
}

TEST(Rfc2217Codec, garbageFromTheServerIsNamedAndDataAfterItStillFlows)
{
    {
        Rfc2217Codec codec;
        Bytes data, replies;
        codec.Feed(Bytes{kIac, kDont, kOptComPort, 'A'}, data, replies);
        EXPECT_NE(codec.Error().find("refused the COM-PORT-OPTION"), std::string::npos);
        EXPECT_EQ(data, Bytes{'A'});
    }
    {
        Rfc2217Codec codec;
        Bytes data, replies;
        Bytes stream = {kIac, kSb, kOptComPort};
        stream.insert(stream.end(), 500, 'x');
        stream.insert(stream.end(), {kIac, kSe, 'O', 'K'});
        codec.Feed(stream, data, replies);
        EXPECT_NE(codec.Error().find("longer than 64 bytes"), std::string::npos);
        EXPECT_EQ(data, (Bytes{'O', 'K'}));
    }
    {
        Rfc2217Codec codec;
        Bytes data, replies;
        codec.Feed(Bytes{'a', kIac, 17, 'b', kIac, kSb, 44, 1, kIac, 'c'}, data, replies);
        EXPECT_NE(codec.Error().find("not Telnet"), std::string::npos);
        EXPECT_EQ(data, (Bytes{'a', 'b'}));
    }
}

TEST(NetPort, aBadNameARefusedPortAndAnUnknownHostAreClearErrors)
{
    int freePort = 0;
    {
        Listener closed;  // bound, then closed again: nothing listens there afterwards
        freePort = std::stoi(closed.Url("tcp").substr(16));
    }
    struct Case {
        std::string name;
        std::string expected;
    };
    const Case cases[] = {
        {"tcp://127.0.0.1", "tcp://HOST:PORT"},
        {"tcp://127.0.0.1:" + std::to_string(freePort),
         "connect() Failed with the following error: \nConnection refused"},
        {"rfc2217://no-such-host.invalid:7000", "getaddrinfo()"},
    };
    for (const Case& c : cases) {
        Warnings warnings;
        NetPort port;
        EXPECT_FALSE(port.Open(Net(c.name), &warnings, {})) << c.name;
        EXPECT_FALSE(port.IsOpen());
        ASSERT_TRUE(warnings.WaitFor(1));
        EXPECT_NE(warnings.All().find(c.expected), std::string::npos) << warnings.All();
        EXPECT_NE(warnings.All().find("Port: " + c.name), std::string::npos) << warnings.All();
    }
}

TEST(NetPort, rawBytesPassBothWaysAndAServerClosingLosesThePort)
{
    Listener server;
    Warnings warnings;
    Arrivals arrivals;
    NetPort port;
    ASSERT_TRUE(port.Open(Net(server.Url("tcp")), &warnings, arrivals.Notifier()));
    ASSERT_TRUE(port.Start());
    ASSERT_TRUE(server.Accept());
    const Bytes frame = {0x05, 0xFF, 0x00, 0x04};
    ASSERT_TRUE(port.WriteBytes(frame));
    EXPECT_EQ(server.Receive(frame.size()), frame);
    server.Send({0x06, 0xFF, 0x04});
    EXPECT_EQ(arrivals.Take(port, 3), (Bytes{0x06, 0xFF, 0x04}));
    EXPECT_GE(port.LastArrivalUs(), port.LastWriteDoneUs());

    server.CloseClient();
    ASSERT_TRUE(warnings.WaitFor(1));
    EXPECT_NE(warnings.All().find("the server closed the connection"), std::string::npos) << warnings.All();
    // The warning goes out just before the loss is set.
    for (int i = 0; i < 1000000 && !port.IsLost(); ++i)
        std::this_thread::yield();
    EXPECT_TRUE(port.IsLost());
    EXPECT_FALSE(port.WriteBytes(frame));
}

TEST(NetPort, rfc2217OpensWithTheSessionAndEscapesTheFramesBothWays)
{
    Listener server;
    Warnings warnings;
    Arrivals arrivals;
    NetPort port;
    PortSettings s = Net(server.Url("rfc2217"));
    s.baudRate = 38400;
    ASSERT_TRUE(port.Open(s, &warnings, arrivals.Notifier()));
    ASSERT_TRUE(port.Start());
    ASSERT_TRUE(server.Accept());
    const Bytes session = Rfc2217Codec().SessionStart(s);
    EXPECT_EQ(server.Receive(session.size()), session);

    // The server asks for an option nobody knows, acknowledges the baud rate, and sends data.
    server.Send({kIac, kDo, 31, kIac, kSb, kOptComPort, 101, 0, 0, 0x96, 0, kIac, kSe, 'O', kIac, kIac, 'K'});
    EXPECT_EQ(arrivals.Take(port, 3), (Bytes{'O', 0xFF, 'K'}));
    EXPECT_TRUE(port.ServerAcknowledged());
    ASSERT_TRUE(port.WriteBytes(Bytes{0x01, 0xFF}));
    // The refusal of option 31 goes out before the frame.
    EXPECT_EQ(server.Receive(6), (Bytes{kIac, kWont, 31, 0x01, 0xFF, 0xFF}));

    // A server that breaks the protocol is named once, and the line keeps working.
    server.Send({kIac, kDont, kOptComPort, 'Z'});
    EXPECT_EQ(arrivals.Take(port, 1), Bytes{'Z'});
    ASSERT_TRUE(warnings.WaitFor(1));
    EXPECT_NE(warnings.All().find("Telnet negotiation Failed"), std::string::npos) << warnings.All();
    EXPECT_NE(warnings.All().find("refused the COM-PORT-OPTION"), std::string::npos) << warnings.All();
    EXPECT_FALSE(port.IsLost());
}

TEST(NetPort, theManagerAddsTheNetworkAllowanceToNetworkTimeOutsOnly)
{
    Listener server;
    CommManager manager;
    CommSettings s;
    s.portName = server.Url("tcp");
    s.timeoutMs = 1000;
    s.networkAllowanceMs = 500;
    ASSERT_EQ(manager.Start(s), 0);
    EXPECT_EQ(manager.TimeoutTicks(), 1500 / 30);
    const int probeTicks = manager.ProbeTimeoutTicks(100);
    s.networkAllowanceMs = 0;
    ASSERT_EQ(manager.Start(s), 0);
    EXPECT_EQ(manager.TimeoutTicks(), 1000 / 30);
    EXPECT_NEAR(probeTicks - manager.ProbeTimeoutTicks(100), 500 / 30.0, 1.0);
}
