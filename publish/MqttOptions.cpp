#include "publish/MqttOptions.h"

#include <cerrno>
#include <charconv>

namespace vm {
namespace {

Failure Bad(std::string_view url, const char* why)
{
    return {EINVAL,
            std::string(url) + ": " + why + " (use mqtt://[USER[:PASSWORD]@]HOST[:PORT] or mqtts://...)"};
}

}  // namespace

Result<MqttOptions> ParseMqttUrl(std::string_view url)
{
    MqttOptions o;
    std::string_view rest;
    if (url.starts_with("mqtt://")) {
        rest = url.substr(7);
    } else if (url.starts_with("mqtts://")) {
        rest = url.substr(8);
        o.tls = true;
        o.port = 8883;
    } else {
        return Bad(url, "not an MQTT URL");
    }
    if (!rest.empty() && rest.back() == '/')
        rest.remove_suffix(1);
    if (const size_t at = rest.rfind('@'); at != std::string_view::npos) {
        const std::string_view credentials = rest.substr(0, at);
        rest = rest.substr(at + 1);
        const size_t colon = credentials.find(':');
        o.user = std::string(credentials.substr(0, colon));
        if (colon != std::string_view::npos)
            o.password = std::string(credentials.substr(colon + 1));
        if (o.user.empty())
            return Bad(url, "empty user name");
    }
    std::string_view host = rest;
    std::string_view port;
    if (rest.starts_with('[')) {
        const size_t close = rest.find(']');
        if (close == std::string_view::npos)
            return Bad(url, "bad host name");
        host = rest.substr(1, close - 1);
        if (close + 1 < rest.size()) {
            if (rest[close + 1] != ':')
                return Bad(url, "bad host name");
            port = rest.substr(close + 2);
            if (port.empty())
                return Bad(url, "the port number must be 1-65535");
        }
    } else if (const size_t colon = rest.rfind(':'); colon != std::string_view::npos) {
        host = rest.substr(0, colon);
        port = rest.substr(colon + 1);
        if (port.empty())
            return Bad(url, "the port number must be 1-65535");
    }
    if (!port.empty()) {
        int value = 0;
        const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
        if (ec != std::errc() || end != port.data() + port.size() || value < 1 || value > 65535)
            return Bad(url, "the port number must be 1-65535");
        o.port = value;
    }
    if (host.empty())
        return Bad(url, "no host");
    for (char c : host)
        if (c <= ' ' || c == '/' || c == '[' || c == ']' || (c == ':' && !rest.starts_with('[')))
            return Bad(url, "bad host name");
    o.host = std::string(host);
    return o;
}

std::string MqttUrl(const MqttOptions& o)
{
    std::string url = o.tls ? "mqtts://" : "mqtt://";
    if (!o.user.empty())
        url += o.user + "@";
    url += o.host.find(':') != std::string::npos ? "[" + o.host + "]" : o.host;
    return url + ":" + std::to_string(o.port);
}

std::string LineTopicName(std::string_view name)
{
    if (const size_t scheme = name.find("://"); scheme != std::string_view::npos)
        name = name.substr(scheme + 3);
    else if (const size_t slash = name.rfind('/'); slash != std::string_view::npos)
        name = name.substr(slash + 1);
    std::string out;
    for (char c : name) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                          c == '.' || c == '-' || c == '_';
        out += keep ? c : '_';
    }
    return out.empty() ? std::string("line") : out;
}

}  // namespace vm
