#pragma once
// Where and how live drive data is published: the broker's URL
// ("mqtt://[USER[:PASSWORD]@]HOST[:PORT]", "mqtts://..." for TLS), the line's name in the topics,
// the least time between two state messages of one station, and the bounded queue.

#include "base/Result.h"

#include <string>
#include <string_view>

namespace vm {

struct MqttOptions {
    std::string host;
    int port = 1883;
    bool tls = false;
    std::string user;
    std::string password;
    std::string caFile;        // TLS: the broker's CA certificate (PEM); empty: the system's
    bool insecure = false;     // TLS: do not check the broker's host name (test brokers)
    std::string line;          // LINE of the topics; empty: made from the port's name
    int intervalMs = 1000;     // state messages of one station at most this often
    size_t queueLimit = 1000;  // events and faults held while the broker is away
    int keepAliveSeconds = 10;
};

// Host, port, TLS and the credentials from the URL, or what is wrong with it.
Result<MqttOptions> ParseMqttUrl(std::string_view url);
// The URL of the options again, without the password.
std::string MqttUrl(const MqttOptions& options);
// A topic level made from a port's name: "/dev/ttyUSB0" -> "ttyUSB0",
// "tcp://10.0.0.5:4001" -> "10.0.0.5_4001"; only letters, digits, '.', '-' and '_' are kept.
std::string LineTopicName(std::string_view portName);

}  // namespace vm
