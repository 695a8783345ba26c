#include "publish/MqttPublisher.h"

#include <mosquitto.h>

#include <unistd.h>
#include <mutex>

namespace vm {
namespace {

std::once_flag g_libInit;

}  // namespace

MqttPublisher::MqttPublisher() = default;

MqttPublisher::~MqttPublisher()
{
    Stop();
}

Result<void> MqttPublisher::Start(const MqttOptions& options)
{
    Stop();
    std::call_once(g_libInit, [] { mosquitto_lib_init(); });
    options_ = options;
    statusTopic_ = "varimon/" + options.line + "/status";
    auto fail = [&](const std::string& why) {
        if (mosq_)
            mosquitto_destroy(mosq_);
        mosq_ = nullptr;
        return Failure{1, why};
    };
    const std::string clientId = "varimon-" + options.line + "-" + std::to_string(::getpid());
    mosq_ = mosquitto_new(clientId.c_str(), true, this);
    if (!mosq_)
        return fail("the MQTT client could not be created");
    if (!options.user.empty() &&
        mosquitto_username_pw_set(mosq_, options.user.c_str(),
                                  options.password.empty() ? nullptr : options.password.c_str()) !=
            MOSQ_ERR_SUCCESS)
        return fail("the MQTT user name was refused");
    if (options.tls) {
        const char* caFile = options.caFile.empty() ? nullptr : options.caFile.c_str();
        const char* caPath = options.caFile.empty() ? "/etc/ssl/certs" : nullptr;
        if (const int rc = mosquitto_tls_set(mosq_, caFile, caPath, nullptr, nullptr, nullptr);
            rc != MOSQ_ERR_SUCCESS)
            return fail(std::string("TLS: ") + mosquitto_strerror(rc) +
                        (caFile ? std::string(" (") + caFile + ")" : ""));
        mosquitto_tls_insecure_set(mosq_, options.insecure);
    }
    static constexpr char kOffline[] = "offline";
    mosquitto_will_set(mosq_, statusTopic_.c_str(), sizeof kOffline - 1, kOffline, 1, true);
    mosquitto_reconnect_delay_set(mosq_, 1, 5, false);
    mosquitto_connect_callback_set(mosq_, &MqttPublisher::OnConnect);
    mosquitto_disconnect_callback_set(mosq_, &MqttPublisher::OnDisconnect);
    {
        std::lock_guard lock(mutex_);
        stopping_ = false;
        connected_ = false;
        lastError_.clear();
    }
    const int rc =
        mosquitto_connect_async(mosq_, options.host.c_str(), options.port, options.keepAliveSeconds);
    if (rc == MOSQ_ERR_EAI || rc == MOSQ_ERR_INVAL)
        return fail("the broker " + options.host + " cannot be reached: " + mosquitto_strerror(rc));
    if (rc != MOSQ_ERR_SUCCESS) {
        // A broker that is down now is tried again by the client's own loop.
        std::lock_guard lock(mutex_);
        lastError_ = mosquitto_strerror(rc);
    }
    if (mosquitto_loop_start(mosq_) != MOSQ_ERR_SUCCESS)
        return fail("the MQTT client's thread could not be started");
    worker_ = std::thread(&MqttPublisher::Run, this);
    return {};
}

void MqttPublisher::Stop()
{
    if (!mosq_)
        return;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable())
        worker_.join();
    bool connected = false;
    {
        std::lock_guard lock(mutex_);
        connected = connected_;
    }
    if (connected) {
        static constexpr char kOffline[] = "offline";
        mosquitto_publish(mosq_, nullptr, statusTopic_.c_str(), sizeof kOffline - 1, kOffline, 1, true);
    }
    mosquitto_disconnect(mosq_);
    mosquitto_loop_stop(mosq_, !connected);
    mosquitto_destroy(mosq_);
    mosq_ = nullptr;
    std::lock_guard lock(mutex_);
    queue_.clear();
    retained_.clear();
    lastRetained_.clear();
    connected_ = false;
}

void MqttPublisher::Publish(PublishMessage message)
{
    {
        std::lock_guard lock(mutex_);
        if (message.retain) {
            std::string topic = message.topic;
            retained_[topic] = std::move(message);
        } else {
            if (options_.queueLimit > 0 && queue_.size() >= options_.queueLimit) {
                queue_.pop_front();
                ++dropped_;
            }
            queue_.push_back(std::move(message));
        }
    }
    wake_.notify_one();
}

PublisherStats MqttPublisher::Stats() const
{
    std::lock_guard lock(mutex_);
    return {connected_, published_, dropped_, queue_.size() + retained_.size(), lastError_};
}

void MqttPublisher::OnConnect(mosquitto*, void* self, int rc)
{
    auto* p = static_cast<MqttPublisher*>(self);
    {
        std::lock_guard lock(p->mutex_);
        if (rc != 0) {
            p->lastError_ = mosquitto_connack_string(rc);
            return;
        }
        p->connected_ = true;
        p->lastError_.clear();
        // A broker restarted without its store has forgotten the retained state: send it again.
        for (auto& [topic, message] : p->lastRetained_)
            p->retained_.try_emplace(topic, message);
        p->retained_[p->statusTopic_] = {p->statusTopic_, "online", 1, true};
    }
    p->wake_.notify_one();
}

void MqttPublisher::OnDisconnect(mosquitto*, void* self, int rc)
{
    auto* p = static_cast<MqttPublisher*>(self);
    std::lock_guard lock(p->mutex_);
    p->connected_ = false;
    if (rc != 0)
        p->lastError_ = "connection to the broker lost";
}

void MqttPublisher::Run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock,
                   [&] { return stopping_ || (connected_ && (!retained_.empty() || !queue_.empty())); });
        if (stopping_)
            return;
        PublishMessage message;
        if (!retained_.empty()) {
            auto first = retained_.begin();
            message = std::move(first->second);
            retained_.erase(first);
        } else {
            message = std::move(queue_.front());
            queue_.pop_front();
        }
        lock.unlock();
        const int rc =
            mosquitto_publish(mosq_, nullptr, message.topic.c_str(), static_cast<int>(message.payload.size()),
                              message.payload.data(), message.qos, message.retain);
        lock.lock();
        if (rc == MOSQ_ERR_SUCCESS) {
            ++published_;
            if (message.retain)
                lastRetained_[message.topic] = std::move(message);
            continue;
        }
        // Not connected after all: back to the front, to go out after the reconnection.
        if (rc == MOSQ_ERR_NO_CONN)
            connected_ = false;
        else
            lastError_ = mosquitto_strerror(rc);
        if (message.retain)
            retained_.try_emplace(message.topic, std::move(message));
        else if (rc == MOSQ_ERR_NO_CONN)
            queue_.push_front(std::move(message));
    }
}

}  // namespace vm
