#pragma once
// The main window's picture of the line, without widgets: the 288 station records and the device
// names, the connection scan that identifies stations, the status polling that keeps connected
// stations current, and AddEvent, the single way into the event log.

#include "catalogue/StationRecord.h"
#include "comm/CommManager.h"
#include "frames/ToolFrameList.h"
#include "monitor/EventLog.h"
#include "monitor/MonitorHooks.h"

#include <QString>

#include <array>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace vm {

inline constexpr int kMaxConnected = 32;
inline constexpr int kAllIdsLast = 31;  // "All IDs" checks 1-31

// What the network logic tells the window around it.
class NetworkView {
public:
    virtual ~NetworkView() = default;
    virtual void RefreshStation(StationRecord& record) = 0;  // after a scan decision or a loss
    virtual void RefreshValues(StationRecord& record) = 0;   // after each monitor result
    virtual void TitleChanged(int connected) = 0;
    virtual void ScanProgress(bool visible, int position, int range) = 0;
    virtual void StatusMessage(const QString& text) = 0;
    virtual void ShowError(const QString& text) = 0;
};

class NetworkMonitor : public CommClient {
public:
    NetworkMonitor(CommManager& manager, NetworkView& view);
    ~NetworkMonitor() override;

    void SetEventLog(EventLog* log) { eventLog_ = log; }
    void SetFaultHistory(FaultHistoryHook* history) { faultHistory_ = history; }
    void SetToolFrames(CToolFrameList* frames) { toolFrames_ = frames; }
    // The "Data" folder the parameter data of accepted stations is loaded from.
    void SetDataFolder(const QString& folder) { dataFolder_ = folder.toStdString(); }

    StationRecord& Record(int index) { return records_.at(index); }
    const StationRecord& Record(int index) const { return records_.at(index); }
    std::array<QString, 256>& DeviceNames() { return deviceNames_; }
    const QString& DeviceName(int station) const;

    // Connection scan. StartScan does nothing while a scan runs or when no ID in 1-255 is given.
    // With quickTimeoutMs > 0 each ID is first asked once with that short time-out and skipped
    // when silent; an ID that answers anything is identified with the normal repetitions.
    bool StartScan(const std::vector<int>& ids, int quickTimeoutMs = 0);
    void StopScan();
    bool Scanning() const { return scanning_; }
    const std::vector<int>& ScanIds() const { return scanIds_; }
    int ScanIndex() const { return scanIndex_; }

    // Drops a station that answered nothing, or that was lost: unregisters it, writes
    // "Disconnected", resets its record, tells the tool windows.
    void Disconnect(int station);
    // Frees the record of a station the list is about to forget (not present and connected).
    void ForgetStation(int station);

    // Lost stations are asked by themselves whether they are back (on unless switched off); one
    // that answers is identified as by a scan and resumes.
    void SetLostRecheck(bool on);
    bool LostRecheck() const { return lostRecheck_; }
    bool WatchingLost(int station) const { return lostWatched_.count(station) != 0; }
    // The user let a lost station go (Connect or Update cleaned its row): no more asking.
    void StopWatching(int station);
    // The port is gone: every connected station is lost at once, and asked about once it is back.
    void LineLost();
    // Stations 1-255 connected at any time of this run, ascending.
    std::vector<int> EverConnected() const;
    // The model a station had when it was last connected; 0 for one never connected.
    int LastModel(int station) const;

    // Records 1-255 that are present and connected, ascending.
    std::vector<int> ConnectedIds() const;
    int ConnectedCount() const;

    // The graph monitor switched graph watch mode: re-registers every connected station.
    void GraphWatchChanged();
    bool GraphWatch() const { return graphWatch_; }

    // The single entry to the event log: "%d:%s(%s) %s", or "%d:%s %s" without a device name.
    void AddEvent(int station, const QString& message);
    QString EventLine(int station, const QString& message) const;
    // An event of the whole line (the port), written without a station prefix.
    void AddLineEvent(const QString& message) { WriteEvent(message); }

    void OnCommReply(int station, const CommReply& reply) override;
    void OnCommMonitor(int station, const CommReply& reply) override;
    Role CommRole() const override { return Role::MainWindow; }

private:
    // Hears the answers to one kind of request of the monitor's, apart from the scan's own reads.
    class ReplyClient final : public CommClient {
    public:
        ReplyClient(NetworkMonitor& owner, void (NetworkMonitor::*handler)(int, const CommReply&))
            : owner_(owner), handler_(handler)
        {}
        void OnCommReply(int station, const CommReply& reply) override { (owner_.*handler_)(station, reply); }

    private:
        NetworkMonitor& owner_;
        void (NetworkMonitor::*handler_)(int, const CommReply&);
    };

    // The probes of lost stations.
    void LostProbeReply(int station, const CommReply& reply);
    // The reads of a trip's fault words, which go before every queued request: the fault watch
    // joins the monitor cycle only at the station's next visits, and the trip may be reset by then.
    void FaultWordReply(int station, const CommReply& reply);

    void WriteEvent(const QString& line);
    void WatchLost(int station);
    void LostStationAnswered(int station);
    // A trip seen in the status word whose fault word was never read.
    void RecordUnreadTrip(StationRecord& r);
    void RecordFault(const StationRecord& r);
    void ScanReply(const CommReply& reply);
    void ReadIdentification(int station, uint16_t address, bool probe = false);
    void Accept(int station);
    void Next();
    void UpdateTitle();
    void StatusEvent(StationRecord& r, int32_t status);
    void FaultWatchUpdate(StationRecord& r);
    void FaultWord(StationRecord& r, int32_t& word, int32_t value);
    std::vector<uint16_t> WatchedSet(const StationRecord& r) const;

    CommManager& manager_;
    NetworkView& view_;
    EventLog* eventLog_ = nullptr;
    FaultHistoryHook* faultHistory_ = nullptr;
    CToolFrameList* toolFrames_ = nullptr;
    std::string dataFolder_;

    std::array<StationRecord, kStationRecordCount> records_;
    std::array<QString, 256> deviceNames_;

    bool scanning_ = false;
    std::vector<int> scanIds_;
    int scanIndex_ = 0;
    // Identification reads queued and not yet finally answered. Reads left over from a stopped
    // scan are answered first (the queue is in order) and must not be taken for the current one.
    int outstandingReads_ = 0;
    int quickTimeoutMs_ = 0;
    bool probing_ = false;  // the current identification read is a quick scan's probe

    // The mode the stations' registrations reflect.
    bool graphWatch_ = false;

    bool lostRecheck_ = true;
    std::set<int> lostWatched_;
    std::vector<int> pendingRechecks_;      // answered while a scan ran
    std::map<int, int> everConnected_;      // station: its model
    std::array<bool, 256> tripRecorded_{};  // the current trip has its fault record
    ReplyClient lostProbes_{*this, &NetworkMonitor::LostProbeReply};
    ReplyClient faultReads_{*this, &NetworkMonitor::FaultWordReply};
};

}  // namespace vm
