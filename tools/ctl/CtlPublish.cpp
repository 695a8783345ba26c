#include "tools/ctl/CtlPublish.h"

#include "catalogue/Models.h"
#include "catalogue/MonitorItems.h"
#include "catalogue/Registers.h"

#include <ctime>

namespace vm::ctl {

MqttOptions CtlPublish::Options(const CtlOptions& o)
{
    const Result<MqttOptions> url = ParseMqttUrl(o.mqtt);
    MqttOptions m = url ? url.Value() : MqttOptions{};
    m.line = o.mqttLine.empty() ? LineTopicName(o.settings.portName) : o.mqttLine;
    m.intervalMs = o.mqttIntervalMs;
    m.caFile = o.mqttCaFile;
    m.insecure = o.mqttInsecure;
    return m;
}

CtlPublish::CtlPublish(const MqttOptions& options, int station)
    : options_(options), feed_(publisher_, options.line, options.intervalMs)
{
    record_.station = station;
}

namespace {

// The event log's line head: local time and " >> ".
std::string LineHead(int64_t nowMs)
{
    const std::time_t t = static_cast<std::time_t>(nowMs / 1000);
    std::tm tm{};
    ::localtime_r(&t, &tm);
    char buf[40];
    std::strftime(buf, sizeof buf, "%Y.%m.%d %H:%M:%S >> ", &tm);
    return buf;
}

}  // namespace

void CtlPublish::OnLineEvent(const std::string& text, int64_t nowMs)
{
    feed_.EventLine(LineHead(nowMs) + text);
}

std::string CtlPublish::Prefix() const
{
    return std::to_string(record_.station) + ":" + FormatStationValue(record_, reg::kModel, record_.model) +
           " ";
}

void CtlPublish::OnPoll(const StationRecord& identified, const std::map<uint16_t, uint16_t>& poll,
                        int64_t nowMs)
{
    const StationRecord before = record_;
    record_.model = identified.model;
    record_.capacity = identified.capacity;
    record_.voltage = identified.voltage;
    record_.version = identified.version;
    record_.timeScale = identified.timeScale;
    record_.present = record_.connected = 1;
    for (const auto& [address, raw] : poll) {
        const auto v = static_cast<int32_t>(raw);
        switch (address) {
        case reg::kFreqCommand:
            record_.freqCommand = v;
            break;
        case reg::kRunCommand:
            record_.runCommand = v;
            break;
        case reg::kCurrent:
            record_.current = v;
            break;
        case reg::kSpeed:
        case reg::kC20Speed:
            record_.speed = v;
            break;
        case reg::kRpmDisplay:
            record_.value26 = v;
            break;
        case reg::kPoleCount:
            record_.value27 = v;
            break;
        case reg::kC20TorqueFeedback:
            record_.value34 = v;
            break;
        case reg::kStatus:
            record_.status = v;
            break;
        case reg::kFault:
            record_.fault = v;
            break;
        case reg::kFault2:
            if (HasSecondFaultWord(record_.model, record_.version))
                record_.fault2 = v;
            break;
        default:
            break;
        }
    }
    if (seen_ && poll.count(reg::kStatus) && record_.status != before.status)
        OnLineEvent(Prefix() + SpeedText(record_) + " " + StatusText(record_.status, record_.model), nowMs);
    const bool faultRose =
        (before.fault == 0 && record_.fault != 0) || (before.fault2 == 0 && record_.fault2 != 0);
    if (faultRose) {
        OnLineEvent(Prefix() + StationFaultText(record_) + " fault occured", nowMs);
        feed_.FaultRecorded(record_, "", nowMs);
    }
    if (!seen_)
        OnLineEvent(Prefix() + "Connected", nowMs);
    seen_ = true;
    feed_.StationUpdated(record_, "", nowMs);
}

std::string CtlPublish::StatsLine() const
{
    const PublisherStats s = publisher_.Stats();
    std::string line = "mqtt: " + std::to_string(s.published) + " published, " + std::to_string(s.dropped) +
                       " dropped, " + std::to_string(s.queued) + " waiting, " +
                       (s.connected ? "connected" : "not connected");
    if (!s.lastError.empty())
        line += " (" + s.lastError + ")";
    return line;
}

}  // namespace vm::ctl
