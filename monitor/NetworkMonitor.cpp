#include "monitor/NetworkMonitor.h"

#include "catalogue/Identification.h"
#include "catalogue/Models.h"
#include "catalogue/MonitorItems.h"
#include "paramdb/ParameterData.h"

#include <algorithm>
#include <utility>

namespace vm {

namespace {

// Clears the tripped bit of the run command word.
constexpr uint32_t kRunCommandResetMask = 0xFFFF & ~uint32_t{reg::kRunTripped};

bool OnLine(int station)
{
    return station >= 1 && station <= 255;
}

QString Text(const std::string& s)
{
    return QString::fromStdString(s);
}

}  // namespace

NetworkMonitor::NetworkMonitor(CommManager& manager, NetworkView& view) : manager_(manager), view_(view)
{
    for (int i = 0; i < kStationRecordCount; ++i)
        records_[i].station = i;
}

NetworkMonitor::~NetworkMonitor() = default;

const QString& NetworkMonitor::DeviceName(int station) const
{
    static const QString none;
    return (station >= 0 && station < 256) ? deviceNames_[station] : none;
}

QString NetworkMonitor::EventLine(int station, const QString& message) const
{
    return EventLog::StationMessage(station, QString::fromLatin1(ModelName(Record(station).model)),
                                    DeviceName(station), message);
}

void NetworkMonitor::AddEvent(int station, const QString& message)
{
    WriteEvent(EventLine(station, message));
}

void NetworkMonitor::WriteEvent(const QString& line)
{
    if (!eventLog_)
        return;
    if (!eventLog_->Write(line))
        view_.ShowError(eventLog_->FailureText());
}

// --- connection scan -------------------------------------------------------------------------

bool NetworkMonitor::StartScan(const std::vector<int>& ids, int quickTimeoutMs)
{
    if (scanning_)
        return false;
    std::vector<int> valid;
    std::copy_if(ids.begin(), ids.end(), std::back_inserter(valid), OnLine);
    if (valid.empty())
        return false;
    scanIds_ = std::move(valid);
    scanIndex_ = 0;
    scanning_ = true;
    quickTimeoutMs_ = std::max(quickTimeoutMs, 0);
    view_.ScanProgress(true, 0, 100);
    ReadIdentification(scanIds_[0], kIdentificationStart, quickTimeoutMs_ > 0);
    return true;
}

void NetworkMonitor::ReadIdentification(int station, uint16_t address, bool probe)
{
    view_.StatusMessage(QStringLiteral("Checking inverter No. %1 connection...").arg(station));
    ++outstandingReads_;
    probing_ = probe;
    if (probe)
        manager_.QueueProbe(station, address, quickTimeoutMs_, this);
    else
        manager_.QueueRead(station, address, this);
}

void NetworkMonitor::StopScan()
{
    if (!scanning_)
        return;
    scanIndex_ = static_cast<int>(scanIds_.size());
    Next();
}

void NetworkMonitor::OnCommReply(int station, const CommReply& reply)
{
    const bool final = IsFinalError(reply.error);
    if (final)
        outstandingReads_ = std::max(0, outstandingReads_ - 1);
    // Still behind older reads: this answer belongs to a scan that was stopped.
    const int ahead = final ? outstandingReads_ : outstandingReads_ - 1;
    if (!scanning_ || ahead > 0)
        return;
    ScanReply(reply);
}

void NetworkMonitor::ScanReply(const CommReply& reply)
{
    const int s = scanIds_[scanIndex_];
    view_.StatusMessage(QStringLiteral("Checking inverter No. %1 connection...").arg(s));

    if (!IsFinalError(reply.error)) {
        const int attempts = manager_.RetryLimit() + 1;
        view_.ScanProgress(true, scanIndex_ * attempts + reply.retries,
                           static_cast<int>(scanIds_.size()) * attempts);
        return;
    }
    if (std::exchange(probing_, false) && ProbeHeardSomething(reply)) {
        ReadIdentification(s, static_cast<uint16_t>(reply.addresses[0]));
        return;
    }
    // A drive that refuses an identification register cannot be shown either.
    if (reply.error != kNoError || reply.station != s || reply.count < 1) {
        Disconnect(s);
        Next();
        return;
    }

    StationRecord& r = records_[s];
    const auto address = static_cast<uint16_t>(reply.addresses[0]);
    if (!StoreIdentification(r, address, static_cast<uint16_t>(reply.values[0]))) {
        Disconnect(s);
        Next();
        return;
    }
    if (const auto next = NextIdentificationRead(r, address)) {
        ReadIdentification(s, *next);
        return;
    }
    Accept(s);
    Next();
}

void NetworkMonitor::Accept(int s)
{
    StationRecord& r = records_[s];
    if (!r.present) {
        if (IsSupportedModel(r.model)) {
            const int first = manager_.PollFirst() == 0 ? s : manager_.PollFirst();
            const int last = manager_.PollLast() == 0 ? s : manager_.PollLast();
            manager_.SetPollRange(std::min(first, s), std::max(last, s));
            const std::vector<uint16_t> set = WatchedSet(r);
            manager_.AddMonitor(s, set);
            manager_.AddListener(s, this);
            r.present = 1;
            r.connected = 1;
            // A missing data file still connects the station; the editor reports it when opened.
            r.paramData.reset();
            r.paramData = std::make_shared<ParameterData>();
            r.paramData->LoadDataFile(r, dataFolder_);
            everConnected_[s] = r.model;
            lostWatched_.erase(s);
            manager_.ForgetLostStation(s);
            if (toolFrames_)
                toolFrames_->Broadcast(ToolNotice::InvConnected, s);
            AddEvent(s, QStringLiteral("Connected"));
        } else {
            r.present = 1;
            r.connected = 0;
        }
    }
    view_.RefreshStation(r);
    UpdateTitle();
}

// The monitor set that matches the current mode: only the fault words in graph watch mode.
std::vector<uint16_t> NetworkMonitor::WatchedSet(const StationRecord& r) const
{
    return graphWatch_ ? FaultWatchAddresses(r.model, r.version) : MonitorAddressSet(r.model, r.version);
}

void NetworkMonitor::Disconnect(int s)
{
    if (!OnLine(s))
        return;
    StationRecord& r = records_[s];
    if (r.present && r.connected) {
        if (r.faultWatch && !tripRecorded_[static_cast<size_t>(s)])
            RecordUnreadTrip(r);
        manager_.RemoveMonitor(s, WatchedSet(r));
        // A fault being watched holds its own registration of the fault words.
        if (r.faultWatch)
            manager_.RemoveMonitor(s, FaultWatchAddresses(r.model, r.version));
        manager_.RemoveListener(s, this);
        AddEvent(s, QStringLiteral("Disconnected"));
        r.Reset();
        if (toolFrames_)
            toolFrames_->Broadcast(ToolNotice::InvDisconnected, s);
    }
    view_.RefreshStation(r);
    UpdateTitle();
}

void NetworkMonitor::ForgetStation(int station)
{
    StationRecord& r = records_.at(station);
    if (!(r.present && r.connected))
        r.Reset();
}

void NetworkMonitor::Next()
{
    if (!scanning_)
        return;
    ++scanIndex_;
    const int count = static_cast<int>(scanIds_.size());
    if (scanIndex_ < count) {
        view_.ScanProgress(true, scanIndex_, count);
        ReadIdentification(scanIds_[scanIndex_], kIdentificationStart, quickTimeoutMs_ > 0);
        return;
    }
    scanning_ = false;
    view_.ScanProgress(false, 0, 0);
    view_.StatusMessage(QStringLiteral("Finish inverter connection checking..."));
    int lowest = 0, highest = 0;
    for (int id = 1; id <= 255; ++id) {
        if (records_[id].present) {
            if (lowest == 0)
                lowest = id;
            highest = id;
        }
    }
    if (lowest != 0)
        manager_.SetPollRange(lowest, highest);
    // A station found back while the scan ran is identified now.
    std::vector<int> ids = std::exchange(pendingRechecks_, {});
    std::erase_if(ids, [this](int id) { return !lostWatched_.count(id) || records_[id].connected; });
    if (!ids.empty())
        StartScan(ids);
}

// --- lost stations ---------------------------------------------------------------------------

std::vector<int> NetworkMonitor::EverConnected() const
{
    std::vector<int> ids;
    for (const auto& [id, model] : everConnected_)
        ids.push_back(id);
    return ids;
}

int NetworkMonitor::LastModel(int station) const
{
    const auto it = everConnected_.find(station);
    return it == everConnected_.end() ? 0 : it->second;
}

void NetworkMonitor::SetLostRecheck(bool on)
{
    lostRecheck_ = on;
    CommManager::LostProbeTiming timing = manager_.LostTiming();
    timing.enabled = on;
    manager_.SetLostProbeTiming(timing);
}

void NetworkMonitor::WatchLost(int s)
{
    if (!OnLine(s))
        return;
    lostWatched_.insert(s);
    manager_.WatchLostStation(s, kIdentificationStart, &lostProbes_);
}

void NetworkMonitor::StopWatching(int s)
{
    lostWatched_.erase(s);
    manager_.ForgetLostStation(s);
    std::erase(pendingRechecks_, s);
}

void NetworkMonitor::LineLost()
{
    for (int s : ConnectedIds()) {
        Disconnect(s);
        WatchLost(s);
    }
}

void NetworkMonitor::LostProbeReply(int station, const CommReply& reply)
{
    if (reply.error == kNoError || IsModbusException(reply.error) || ProbeHeardSomething(reply))
        LostStationAnswered(station);
}

void NetworkMonitor::FaultWordReply(int station, const CommReply& reply)
{
    // Taken as a monitor result while the trip is still on; a failure leaves it to the cycle.
    if (reply.error == kNoError && OnLine(station) && records_[static_cast<size_t>(station)].faultWatch)
        OnCommMonitor(station, reply);
}

void NetworkMonitor::LostStationAnswered(int s)
{
    if (!lostWatched_.count(s) || (records_[s].present && records_[s].connected))
        return;
    if (scanning_) {
        if (std::find(pendingRechecks_.begin(), pendingRechecks_.end(), s) == pendingRechecks_.end())
            pendingRechecks_.push_back(s);
        return;
    }
    StartScan({s});
}

std::vector<int> NetworkMonitor::ConnectedIds() const
{
    std::vector<int> ids;
    for (int id = 1; id <= 255; ++id) {
        if (records_[id].present && records_[id].connected)
            ids.push_back(id);
    }
    return ids;
}

int NetworkMonitor::ConnectedCount() const
{
    return static_cast<int>(ConnectedIds().size());
}

void NetworkMonitor::UpdateTitle()
{
    const int count = ConnectedCount();
    view_.TitleChanged(count);
    if (count >= kMaxConnected)
        StopScan();
}

// --- status polling --------------------------------------------------------------------------

void NetworkMonitor::OnCommMonitor(int s, const CommReply& reply)
{
    if (!OnLine(s))
        return;
    StationRecord& r = records_[s];
    if (!(r.present && r.connected))
        return;
    if (reply.error == kNoError) {
        for (int i = 0; i < std::min(reply.count, 8); ++i) {
            // An event or fault handler may have dropped the station meanwhile: a reset record
            // takes no more values.
            if (!(r.present && r.connected))
                return;
            const auto a = reply.addresses[i];
            const auto v = static_cast<int32_t>(reply.values[i]);
            if (graphWatch_ && a != reg::kFault && a != reg::kFault2)
                continue;
            switch (a) {
            case reg::kFreqCommand:
                r.freqCommand = v;
                break;
            case reg::kRunCommand:
                r.runCommand = v;
                break;
            case reg::kCurrent:
                r.current = v;
                break;
            case reg::kSpeed:
            case reg::kC20Speed:
                r.speed = v;
                break;
            case reg::kRpmDisplay:
                r.value26 = v;
                break;
            case reg::kPoleCount:
                r.value27 = v;
                break;
            case reg::kC20TorqueFeedback:
                r.value34 = v;
                break;
            case reg::kStatus:
                r.status = v;
                StatusEvent(r, v);
                r.prevStatus = v;
                FaultWatchUpdate(r);
                break;
            case reg::kFault:
                FaultWord(r, r.fault, v);
                break;
            case reg::kFault2:
                if (HasSecondFaultWord(r.model, r.version))
                    FaultWord(r, r.fault2, v);
                break;
            default:
                break;
            }
        }
    } else if (reply.error == kGiveUp) {
        Disconnect(s);
        if (lostRecheck_)
            WatchLost(s);
        return;
    }
    view_.RefreshValues(r);
}

void NetworkMonitor::StatusEvent(StationRecord& r, int32_t status)
{
    if (status == r.prevStatus)
        return;
    AddEvent(r.station, QStringLiteral("%1 %2").arg(Text(SpeedText(r)), Text(StatusText(status, r.model))));
}

void NetworkMonitor::FaultWatchUpdate(StationRecord& r)
{
    const bool faulted = (r.status & reg::kStatusFault) != 0;
    if (faulted && !r.faultWatch) {
        r.faultWatch = 1;
        r.fault = r.fault2 = 0;
        tripRecorded_[static_cast<size_t>(r.station)] = false;
        const std::vector<uint16_t> faultWords = FaultWatchAddresses(r.model, r.version);
        manager_.AddMonitor(r.station, faultWords);
        for (uint16_t address : faultWords)
            if (address == reg::kFault || address == reg::kFault2)
                manager_.QueueUrgentRead(r.station, address, &faultReads_);
    } else if (!faulted && r.faultWatch) {
        // Reset before its fault word came in: the trip is still recorded, with what is known.
        if (!tripRecorded_[static_cast<size_t>(r.station)])
            RecordUnreadTrip(r);
        r.faultWatch = 0;
        r.fault = r.fault2 = 0;
        // Clears the reset bit the operator's reset left in the run command. Nobody waits for
        // the answer: a reply here must not be mistaken for a scan's identification read.
        manager_.QueueWrite(r.station, reg::kRunCommand,
                            static_cast<uint32_t>(r.runCommand) & kRunCommandResetMask, nullptr);
        manager_.RemoveMonitor(r.station, FaultWatchAddresses(r.model, r.version));
    }
}

void NetworkMonitor::FaultWord(StationRecord& r, int32_t& word, int32_t value)
{
    if (word != 0) {
        word = value;
        return;
    }
    word = value;
    if (value == 0)
        return;
    RecordFault(r);
}

void NetworkMonitor::RecordUnreadTrip(StationRecord& r)
{
    StationRecord trip = r;
    trip.fault = trip.fault2 = 0;
    RecordFault(trip);
}

void NetworkMonitor::RecordFault(const StationRecord& r)
{
    if (OnLine(r.station))
        tripRecorded_[static_cast<size_t>(r.station)] = true;
    // Both writes are made from the values of now: whatever runs while the first one is busy
    // (a lost station resets its record) must not change what the second one records.
    const StationRecord fault = r;
    const QString name = DeviceName(r.station);
    const QString line =
        EventLog::StationMessage(fault.station, QString::fromLatin1(ModelName(fault.model)), name,
                                 QStringLiteral("%1 fault occured").arg(Text(TripFaultText(fault))));
    if (faultHistory_)
        faultHistory_->AddFault(fault, name);
    WriteEvent(line);
}

void NetworkMonitor::GraphWatchChanged()
{
    const bool on = manager_.GraphWatch();
    if (on == graphWatch_)
        return;
    const std::vector<int> ids = ConnectedIds();
    for (int s : ids) {
        manager_.RemoveMonitor(s, WatchedSet(records_[s]));
        manager_.RemoveListener(s, this);
    }
    graphWatch_ = on;
    for (int s : ids) {
        manager_.AddMonitor(s, WatchedSet(records_[s]));
        manager_.AddListener(s, this);
    }
}

}  // namespace vm
