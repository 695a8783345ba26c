#pragma once
// One message for the broker, and what takes them: the publisher, or a test's list.

#include <string>

namespace vm {

struct PublishMessage {
    std::string topic;
    std::string payload;
    int qos = 0;
    bool retain = false;
};

class PublishSink {
public:
    virtual ~PublishSink() = default;
    // Must return at once: it is called on the line's thread.
    virtual void Publish(PublishMessage message) = 0;
};

}  // namespace vm
