#pragma once
// Telnet with the COM-PORT-OPTION (RFC 2217) as a serial device server speaks it: the requests
// that set the server's UART, the escaping of data bytes, and a parser for what the server sends
// back (option negotiation, subnegotiation replies and data). Plain bytes in, plain bytes out.

#include "comm/CommPort.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vm {

namespace telnet {
inline constexpr uint8_t kIac = 255;
inline constexpr uint8_t kDont = 254;
inline constexpr uint8_t kDo = 253;
inline constexpr uint8_t kWont = 252;
inline constexpr uint8_t kWill = 251;
inline constexpr uint8_t kSb = 250;
inline constexpr uint8_t kSe = 240;
inline constexpr uint8_t kOptBinary = 0;
inline constexpr uint8_t kOptSuppressGoAhead = 3;
inline constexpr uint8_t kOptComPort = 44;
// COM-PORT-OPTION commands from the client; the server answers with the same code + 100.
inline constexpr uint8_t kSetBaudRate = 1;
inline constexpr uint8_t kSetDataSize = 2;
inline constexpr uint8_t kSetParity = 3;
inline constexpr uint8_t kSetStopSize = 4;
inline constexpr uint8_t kSetControl = 5;
inline constexpr uint8_t kPurgeData = 12;
inline constexpr uint8_t kServerOffset = 100;
}  // namespace telnet

class Rfc2217Codec {
public:
    // Longer subnegotiations are not the server's answers to us: the stream is taken as garbage.
    static constexpr size_t kMaxSubnegotiation = 64;

    // What opens the session: binary both ways, no go-ahead, COM-PORT-OPTION, then the line's
    // settings, no flow control and a purge of both of the server's buffers.
    // Marks the options offered there as asked for, so that the server's agreement is not answered.
    std::vector<uint8_t> SessionStart(const PortSettings& settings);
    // One COM-PORT-OPTION subnegotiation, its value bytes escaped.
    static void AppendComPortCommand(uint8_t command, std::span<const uint8_t> value,
                                     std::vector<uint8_t>& out);
    // Data for the line with every 0xFF doubled.
    static void AppendEscaped(std::span<const uint8_t> data, std::vector<uint8_t>& out);

    // Feeds bytes from the server: line data goes to data, answers the server is owed to replies.
    void Feed(std::span<const uint8_t> bytes, std::vector<uint8_t>& data, std::vector<uint8_t>& replies);
    void Reset();

    // Set when the server refused COM-PORT-OPTION or sent what is not Telnet; kept until Reset.
    const std::string& Error() const { return error_; }
    // True once the server has answered at least one COM-PORT-OPTION command.
    bool ComPortAcknowledged() const { return acknowledged_; }
    // The baud rate the server reported (0 until it did).
    uint32_t ServerBaudRate() const { return serverBaud_; }

private:
    enum class State { Data, Iac, Option, Sub, SubIac, SkipSub };

    void OnOption(uint8_t verb, uint8_t option, std::vector<uint8_t>& replies);
    void OnSubnegotiation();
    void Fail(const std::string& why);

    State state_ = State::Data;
    uint8_t verb_ = 0;
    std::vector<uint8_t> sub_;
    std::string error_;
    bool acknowledged_ = false;
    uint32_t serverBaud_ = 0;
    // What this side has said about each option; nothing is said twice, so two peers never loop.
    uint64_t saidWill_[4] = {};
    uint64_t saidWont_[4] = {};
    uint64_t saidDo_[4] = {};
    uint64_t saidDont_[4] = {};
};

}  // namespace vm
