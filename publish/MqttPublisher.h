#pragma once
// Publishes to an MQTT broker with libmosquitto, off the caller's thread: Publish only puts the
// message in a bounded queue, and a worker of its own hands it to the client while the broker is
// connected. Retained messages are kept per topic, newest only, so state is never dropped and
// sent again after every reconnection; other messages beyond the queue's limit drop the oldest,
// and the drops are counted. The will ("offline", retained, on LINE/status) stands for a
// publisher that vanishes; "online" is published at each connection, "offline" at Stop.

#include "publish/MqttOptions.h"
#include "publish/PublishMessage.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>

struct mosquitto;

namespace vm {

struct PublisherStats {
    bool connected = false;
    uint64_t published = 0;  // handed to the client
    uint64_t dropped = 0;    // pushed out of the full queue
    size_t queued = 0;       // waiting, retained included
    std::string lastError;   // the latest connection failure, empty once connected
};

class MqttPublisher : public PublishSink {
public:
    MqttPublisher();
    ~MqttPublisher() override;
    MqttPublisher(const MqttPublisher&) = delete;
    MqttPublisher& operator=(const MqttPublisher&) = delete;

    // Starts the client and its connection attempts (repeated until Stop); a failure when the
    // options cannot be used (TLS files, a host that cannot be looked up).
    Result<void> Start(const MqttOptions& options);
    // Publishes "offline", disconnects and ends both threads.
    void Stop();
    bool IsStarted() const { return mosq_ != nullptr; }

    void Publish(PublishMessage message) override;
    PublisherStats Stats() const;
    // The status topic: varimon/LINE/status.
    const std::string& StatusTopic() const { return statusTopic_; }

private:
    static void OnConnect(mosquitto*, void* self, int rc);
    static void OnDisconnect(mosquitto*, void* self, int rc);
    void Run();

    MqttOptions options_;
    std::string statusTopic_;
    mosquitto* mosq_ = nullptr;
    std::thread worker_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<PublishMessage> queue_;
    std::map<std::string, PublishMessage> retained_;      // waiting to go out
    std::map<std::string, PublishMessage> lastRetained_;  // sent, repeated after a reconnection
    bool connected_ = false;
    bool stopping_ = false;
    uint64_t published_ = 0;
    uint64_t dropped_ = 0;
    std::string lastError_;
};

}  // namespace vm
