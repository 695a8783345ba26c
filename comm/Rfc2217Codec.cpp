#include "comm/Rfc2217Codec.h"

namespace vm {

using namespace telnet;

namespace {

bool Test(const uint64_t (&bits)[4], uint8_t option)
{
    return (bits[option / 64] >> (option % 64)) & 1U;
}
void Set(uint64_t (&bits)[4], uint8_t option)
{
    bits[option / 64] |= uint64_t{1} << (option % 64);
}

// Options this side will use, and wants the server to use.
bool WeDo(uint8_t option)
{
    return option == kOptBinary || option == kOptSuppressGoAhead || option == kOptComPort;
}
bool TheyMay(uint8_t option)
{
    return option == kOptBinary || option == kOptSuppressGoAhead || option == kOptComPort;
}

}  // namespace

void Rfc2217Codec::AppendEscaped(std::span<const uint8_t> data, std::vector<uint8_t>& out)
{
    for (uint8_t b : data) {
        out.push_back(b);
        if (b == kIac)
            out.push_back(kIac);
    }
}

void Rfc2217Codec::AppendComPortCommand(uint8_t command, std::span<const uint8_t> value,
                                        std::vector<uint8_t>& out)
{
    out.insert(out.end(), {kIac, kSb, kOptComPort, command});
    AppendEscaped(value, out);
    out.insert(out.end(), {kIac, kSe});
}

std::vector<uint8_t> Rfc2217Codec::SessionStart(const PortSettings& s)
{
    std::vector<uint8_t> out = {kIac, kWill, kOptBinary,          kIac, kDo, kOptBinary,
                                kIac, kWill, kOptSuppressGoAhead, kIac, kDo, kOptSuppressGoAhead,
                                kIac, kWill, kOptComPort};
    const auto baud = static_cast<uint32_t>(s.baudRate);
    const uint8_t baudBytes[] = {static_cast<uint8_t>(baud >> 24), static_cast<uint8_t>(baud >> 16),
                                 static_cast<uint8_t>(baud >> 8), static_cast<uint8_t>(baud)};
    AppendComPortCommand(kSetBaudRate, baudBytes, out);
    const uint8_t size[] = {static_cast<uint8_t>(s.dataBits)};
    AppendComPortCommand(kSetDataSize, size, out);
    // Ours: 0 none, 1 odd, 2 even, 3 mark, 4 space; on the wire 1 none ... 5 space.
    const uint8_t parity[] = {static_cast<uint8_t>(s.parity >= 0 && s.parity <= 4 ? s.parity + 1 : 1)};
    AppendComPortCommand(kSetParity, parity, out);
    // Ours: 0 one, 1 one and a half, 2 two; on the wire 1 one, 2 two, 3 one and a half.
    const uint8_t stop[] = {static_cast<uint8_t>(s.stopBits == 1 ? 3 : s.stopBits == 2 ? 2 : 1)};
    AppendComPortCommand(kSetStopSize, stop, out);
    const uint8_t noFlowControl[] = {1};
    AppendComPortCommand(kSetControl, noFlowControl, out);
    const uint8_t purgeBoth[] = {3};
    AppendComPortCommand(kPurgeData, purgeBoth, out);
    for (uint8_t o : {kOptBinary, kOptSuppressGoAhead, kOptComPort})
        Set(saidWill_, o);
    for (uint8_t o : {kOptBinary, kOptSuppressGoAhead})
        Set(saidDo_, o);
    return out;
}

void Rfc2217Codec::Reset()
{
    *this = Rfc2217Codec();
}

void Rfc2217Codec::Fail(const std::string& why)
{
    if (error_.empty())
        error_ = why;
}

void Rfc2217Codec::OnOption(uint8_t verb, uint8_t option, std::vector<uint8_t>& replies)
{
    auto say = [&](uint64_t(&said)[4], uint8_t answer) {
        if (Test(said, option))
            return;
        Set(said, option);
        replies.insert(replies.end(), {kIac, answer, option});
    };
    switch (verb) {
    case kDo:
        if (WeDo(option))
            say(saidWill_, kWill);
        else
            say(saidWont_, kWont);
        break;
    case kDont:
        if (option == kOptComPort)
            Fail("the server refused the COM-PORT-OPTION (RFC 2217); use tcp:// for a raw port");
        break;
    case kWill:
        if (TheyMay(option))
            say(saidDo_, kDo);
        else
            say(saidDont_, kDont);
        break;
    default:  // WONT: nothing to answer for an option this side never relies on
        break;
    }
}

void Rfc2217Codec::OnSubnegotiation()
{
    if (sub_.size() < 2 || sub_[0] != kOptComPort || sub_[1] < kServerOffset)
        return;
    acknowledged_ = true;
    if (sub_[1] == kServerOffset + kSetBaudRate && sub_.size() >= 6)
        serverBaud_ =
            (uint32_t{sub_[2]} << 24) | (uint32_t{sub_[3]} << 16) | (uint32_t{sub_[4]} << 8) | sub_[5];
}

void Rfc2217Codec::Feed(std::span<const uint8_t> bytes, std::vector<uint8_t>& data,
                        std::vector<uint8_t>& replies)
{
    for (uint8_t b : bytes) {
        switch (state_) {
        case State::Data:
            if (b == kIac)
                state_ = State::Iac;
            else
                data.push_back(b);
            break;
        case State::Iac:
            state_ = State::Data;
            if (b == kIac) {
                data.push_back(b);
            } else if (b >= kWill) {
                verb_ = b;
                state_ = State::Option;
            } else if (b == kSb) {
                sub_.clear();
                state_ = State::Sub;
            } else if (b < kSe) {
                Fail("the server sent bytes that are not Telnet (IAC followed by " + std::to_string(b) + ")");
            }
            // SE outside a subnegotiation and the one-byte commands (NOP, GA, ...) carry nothing.
            break;
        case State::Option:
            OnOption(verb_, b, replies);
            state_ = State::Data;
            break;
        case State::Sub:
            if (b == kIac) {
                state_ = State::SubIac;
            } else if (sub_.size() >= kMaxSubnegotiation) {
                Fail("the server sent a Telnet subnegotiation longer than " +
                     std::to_string(kMaxSubnegotiation) + " bytes");
                state_ = State::SkipSub;
            } else {
                sub_.push_back(b);
            }
            break;
        case State::SubIac:
            if (b == kIac) {
                state_ = State::Sub;
                if (sub_.size() < kMaxSubnegotiation)
                    sub_.push_back(b);
            } else if (b == kSe) {
                OnSubnegotiation();
                state_ = State::Data;
            } else {
                Fail("the server broke off a Telnet subnegotiation");
                // What follows the IAC is read as a command again.
                state_ = State::Iac;
                Feed(std::span<const uint8_t>(&b, 1), data, replies);
            }
            break;
        case State::SkipSub:
            if (b == kIac)
                state_ = State::SubIac;
            break;
        }
    }
}

}  // namespace vm
