#pragma once
// Turns what the line monitor learns into broker messages below varimon/LINE/:
//   ID/state   retained JSON of a connected station, on change and at most every interval;
//   ID/fault   JSON of each new fault record (QoS 1);
//   events     each event-log line as it is written (QoS 1).
// Values are the texts the inverter list shows. Time reaches it through the calls.

#include "catalogue/StationRecord.h"
#include "publish/PublishMessage.h"

#include <array>
#include <cstdint>
#include <string>

namespace vm {

class DriveFeed {
public:
    DriveFeed(PublishSink& sink, std::string line, int intervalMs);

    // After every monitor result of a connected station.
    void StationUpdated(const StationRecord& record, const std::string& deviceName, int64_t nowMs);
    // The station was disconnected: its state says "No Connection" at once.
    void StationGone(const StationRecord& record, const std::string& deviceName, int64_t nowMs);
    void EventLine(const std::string& line);
    void FaultRecorded(const StationRecord& record, const std::string& deviceName, int64_t nowMs);
    // Sends the states held back by the interval once it has passed.
    void Tick(int64_t nowMs);

    const std::string& Line() const { return line_; }
    std::string Topic(int station, const char* leaf) const;

    // The state's JSON without its time stamp; status "No Connection" when not connected.
    static std::string StateBody(const StationRecord& record, const std::string& deviceName);
    // "2026-12-09T21:40:05.120Z"
    static std::string IsoTime(int64_t epochMs);
    static std::string JsonString(const std::string& text);

private:
    struct Held {
        std::string sentBody;
        int64_t sentMs = 0;
        bool sent = false;
        std::string pendingBody;  // newer than sentBody, waiting for the interval
    };
    void Send(int station, Held& held, std::string body, int64_t nowMs);

    PublishSink& sink_;
    std::string line_;
    int intervalMs_;
    std::array<Held, 256> held_;
};

}  // namespace vm
