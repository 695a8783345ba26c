#pragma once
// varimonctl monitor --mqtt: each complete poll becomes the station's state on the broker; a
// change of the status word and a rising fault word become event lines, the latter also a fault
// record, as the main window writes them.

#include "catalogue/StationRecord.h"
#include "publish/DriveFeed.h"
#include "publish/MqttPublisher.h"
#include "tools/ctl/CtlOptions.h"

#include <map>
#include <memory>
#include <string>

namespace vm::ctl {

class CtlPublish {
public:
    // The publisher's options from the command line; the line name defaults to the port's.
    static MqttOptions Options(const CtlOptions& options);

    CtlPublish(const MqttOptions& options, int station);
    Result<void> Start() { return publisher_.Start(options_); }
    void Stop() { publisher_.Stop(); }
    void OnPoll(const StationRecord& identified, const std::map<uint16_t, uint16_t>& poll, int64_t nowMs);
    // An event-log line with the time in front.
    void OnLineEvent(const std::string& text, int64_t nowMs);
    void Tick(int64_t nowMs) { feed_.Tick(nowMs); }
    PublisherStats Stats() const { return publisher_.Stats(); }
    // "mqtt: 12 published, 0 dropped, 0 waiting, connected"
    std::string StatsLine() const;

private:
    std::string Prefix() const;

    MqttOptions options_;
    MqttPublisher publisher_;
    DriveFeed feed_;
    StationRecord record_;
    bool seen_ = false;
};

}  // namespace vm::ctl
