#pragma once
// What varimonctl does on the line, as a client of the communication manager. It only queues
// requests and reacts to replies, so it runs under the Qt event loop of the tool or under a
// test's own ticks alike.

#include "catalogue/StationRecord.h"
#include "tools/ctl/CtlCommand.h"

#include <functional>
#include <map>
#include <vector>

namespace vm::ctl {

class CtlRunner : public CtlCommand {
public:
    CtlRunner(CommManager& manager, const CtlOptions& options, std::ostream& out, std::ostream& err);
    ~CtlRunner() override;

    // Queues the first request.
    void Begin();
    // Ends a monitor that runs until interrupted.
    void Interrupt();
    // The port's device went away / was opened again. A monitor outlives the loss: a give-up
    // while the line is in trouble waits for the port and identifies the station again.
    void PortLost();
    void PortRestored();

    // monitor: each complete poll, with the station's identification.
    std::function<void(const StationRecord& record, const std::map<uint16_t, uint16_t>& poll)> onPoll;

    void OnCommReply(int station, const CommReply& reply) override;
    void OnCommMonitor(int station, const CommReply& reply) override;

private:
    enum class Stage { Identify, Transfer, Monitor };

    void IdentifyDone();
    void ScanNextStation();
    void PrintStation();
    void StartMonitor();
    bool AwaitPort();
    void Reidentify();
    void PrintPoll();
    void Fail(const CommReply& reply);
    void Release() override;
    std::string FormatMonitored(uint16_t address, uint16_t value) const;

    Stage stage_ = Stage::Identify;
    int station_ = 0;
    size_t transferIndex_ = 0;           // read: next address
    StationRecord record_;               // identification of the station in hand
    std::map<uint16_t, uint16_t> poll_;  // monitor: values of the current poll
    int lines_ = 0;
    bool probing_ = false;       // scan --quick: the current read is an ID's probe
    bool portDown_ = false;      // between PortLost and PortRestored
    bool portTrouble_ = false;   // from PortLost until the station answers again
    bool awaitingPort_ = false;  // a give-up waits for PortRestored
};

}  // namespace vm::ctl
