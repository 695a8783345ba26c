#pragma once
// Port names that lead to a serial device server on the network instead of a local device:
// "tcp://HOST:PORT" for a raw byte stream, "rfc2217://HOST:PORT" for Telnet with COM-PORT-OPTION.

#include "base/Result.h"

#include <string>
#include <string_view>

namespace vm {

struct NetAddress {
    bool rfc2217 = false;
    std::string host;  // a name, an IPv4 address or a bracketed IPv6 address without brackets
    int port = 0;
};

// True when the name starts with one of the two schemes (whether or not the rest is good).
bool IsNetworkPortName(std::string_view portName);
// The address of a network port name, or what is wrong with it.
Result<NetAddress> ParseNetAddress(std::string_view portName);

}  // namespace vm
