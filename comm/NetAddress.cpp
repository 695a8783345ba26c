#include "comm/NetAddress.h"

#include <cerrno>
#include <charconv>

namespace vm {
namespace {

constexpr std::string_view kTcp = "tcp://";
constexpr std::string_view kRfc2217 = "rfc2217://";

Failure Bad(std::string_view portName, const char* why)
{
    return {EINVAL, std::string(portName) + ": " + why + " (use tcp://HOST:PORT or rfc2217://HOST:PORT)"};
}

}  // namespace

bool IsNetworkPortName(std::string_view name)
{
    return name.starts_with(kTcp) || name.starts_with(kRfc2217);
}

Result<NetAddress> ParseNetAddress(std::string_view name)
{
    NetAddress a;
    std::string_view rest;
    if (name.starts_with(kTcp)) {
        rest = name.substr(kTcp.size());
    } else if (name.starts_with(kRfc2217)) {
        a.rfc2217 = true;
        rest = name.substr(kRfc2217.size());
    } else {
        return Bad(name, "not a network port");
    }
    if (!rest.empty() && rest.back() == '/')
        rest.remove_suffix(1);
    const size_t colon = rest.rfind(':');
    if (colon == std::string_view::npos)
        return Bad(name, "no port number");
    std::string_view host = rest.substr(0, colon);
    const std::string_view port = rest.substr(colon + 1);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    if (host.empty())
        return Bad(name, "no host");
    for (char c : host)
        if (c <= ' ' || c == '/' || c == '@' || c == '[' || c == ']')
            return Bad(name, "bad host name");
    if (host.find(':') != std::string_view::npos && rest.front() != '[')
        return Bad(name, "put an IPv6 address in brackets");
    int value = 0;
    const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
    if (port.empty() || ec != std::errc() || end != port.data() + port.size() || value < 1 || value > 65535)
        return Bad(name, "the port number must be 1-65535");
    a.host = std::string(host);
    a.port = value;
    return a;
}

}  // namespace vm
