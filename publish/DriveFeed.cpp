#include "publish/DriveFeed.h"

#include "base/JsonText.h"
#include "catalogue/MonitorItems.h"
#include "catalogue/Registers.h"

#include <cstdio>
#include <ctime>

namespace vm {

DriveFeed::DriveFeed(PublishSink& sink, std::string line, int intervalMs)
    : sink_(sink), line_(std::move(line)), intervalMs_(intervalMs)
{}

std::string DriveFeed::Topic(int station, const char* leaf) const
{
    return "varimon/" + line_ + "/" + std::to_string(station) + "/" + leaf;
}

std::string DriveFeed::JsonString(const std::string& text)
{
    return JsonQuoted(text);
}

std::string DriveFeed::IsoTime(int64_t epochMs)
{
    const std::time_t seconds = static_cast<std::time_t>(epochMs / 1000);
    std::tm tm{};
    ::gmtime_r(&seconds, &tm);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(epochMs % 1000));
    return buf;
}

std::string DriveFeed::StateBody(const StationRecord& r, const std::string& deviceName)
{
    const bool online = r.present && r.connected;
    std::string json = "{\"id\":" + std::to_string(r.station);
    json += ",\"model\":" + JsonString(FormatStationValue(r, reg::kModel, r.model));
    json += ",\"capacity\":" + JsonString(FormatStationValue(r, reg::kCapacity, r.capacity));
    json += ",\"deviceName\":" + JsonString(deviceName);
    json += ",\"online\":" + std::string(online ? "true" : "false");
    if (online) {
        json += ",\"frequency\":" + JsonString(SpeedText(r));
        json += ",\"current\":" + JsonString(FormatStationValue(r, reg::kCurrent, r.current));
        json += ",\"status\":" + JsonString(FormatStationValue(r, reg::kStatus, r.status));
        json += ",\"fault\":" + JsonString(StationFaultText(r));
    } else {
        json += ",\"status\":\"No Connection\"";
    }
    return json;
}

void DriveFeed::Send(int station, Held& held, std::string body, int64_t nowMs)
{
    sink_.Publish({Topic(station, "state"), body + ",\"time\":" + JsonString(IsoTime(nowMs)) + "}", 0, true});
    held.sentBody = std::move(body);
    held.sentMs = nowMs;
    held.sent = true;
    held.pendingBody.clear();
}

void DriveFeed::StationUpdated(const StationRecord& record, const std::string& deviceName, int64_t nowMs)
{
    if (record.station < 1 || record.station > 255)
        return;
    Held& held = held_[static_cast<size_t>(record.station)];
    std::string body = StateBody(record, deviceName);
    if (held.sent && body == held.sentBody) {
        held.pendingBody.clear();
        return;
    }
    if (held.sent && nowMs - held.sentMs < intervalMs_) {
        held.pendingBody = std::move(body);
        return;
    }
    Send(record.station, held, std::move(body), nowMs);
}

void DriveFeed::StationGone(const StationRecord& record, const std::string& deviceName, int64_t nowMs)
{
    if (record.station < 1 || record.station > 255)
        return;
    StationRecord gone = record;
    gone.connected = 0;
    Send(record.station, held_[static_cast<size_t>(record.station)], StateBody(gone, deviceName), nowMs);
}

void DriveFeed::Tick(int64_t nowMs)
{
    for (size_t s = 1; s < held_.size(); ++s) {
        Held& held = held_[s];
        if (!held.pendingBody.empty() && nowMs - held.sentMs >= intervalMs_)
            Send(static_cast<int>(s), held, std::move(held.pendingBody), nowMs);
    }
}

void DriveFeed::EventLine(const std::string& line)
{
    sink_.Publish({"varimon/" + line_ + "/events", line, 1, false});
}

void DriveFeed::FaultRecorded(const StationRecord& r, const std::string& deviceName, int64_t nowMs)
{
    std::string json = "{\"id\":" + std::to_string(r.station);
    json += ",\"model\":" + JsonString(FormatStationValue(r, reg::kModel, r.model));
    json += ",\"capacity\":" + JsonString(FormatStationValue(r, reg::kCapacity, r.capacity));
    json += ",\"deviceName\":" + JsonString(deviceName);
    json += ",\"fault\":" + JsonString(StationFaultText(r));
    json += ",\"time\":" + JsonString(IsoTime(nowMs)) + "}";
    sink_.Publish({Topic(r.station, "fault"), json, 1, false});
}

}  // namespace vm
