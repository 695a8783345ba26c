#pragma once
#include "comm/BlockReads.h"
#include "comm/CommPort.h"
#include "comm/CommReply.h"
#include "comm/Kx485.h"
#include "comm/LinePacing.h"
#include "comm/ModbusRtu.h"
#include "comm/StationHealth.h"

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

namespace vm {

class CommManager;

// Everything that queues requests or listens to stations. A client unregisters itself from its
// manager when destroyed, so the manager never calls a client that is gone.
class CommClient {
public:
    enum class Role { Other, GraphMonitor, MainWindow };

    CommClient() = default;
    CommClient(const CommClient&) = delete;
    CommClient& operator=(const CommClient&) = delete;
    virtual ~CommClient();

    // After every attempt of a request this client queued.
    virtual void OnCommReply(int station, const CommReply& reply) {}
    // After every monitor transaction of a station this client listens to.
    virtual void OnCommMonitor(int station, const CommReply& reply) {}
    // Graph monitor views and the main window still receive monitor results in graph watch mode.
    virtual Role CommRole() const { return Role::Other; }

private:
    friend class CommManager;
    CommManager* m_commManager = nullptr;
    uint64_t m_commSerial = 0;
};

struct CommSettings : PortSettings {
    int protocolMode = kKx485;
    int timeoutMs = 1000;
    int tickMs = 30;
    int retryCount = 3;  // repetitions after the first attempt
    Pacing pacing = Pacing::Tick;
    int turnaroundUs = kDefaultTurnaroundUs;  // line-paced: silence after each transaction
    bool blockReads = false;                  // Modbus: consecutive monitor reads in one request
    int blockReadMax = kDefaultBlockReadMax;
    int networkAllowanceMs = 200;  // added to the time-out on tcp:// and rfc2217:// ports
    // Queued requests a monitor cycle lets through while stations are monitored: at least this
    // many, or a quarter of the cycle's own transactions when that is more. 0: no limit.
    int requestsPerCycle = 8;
};

// Schedules every exchange on the line: one transaction at a time, queued reads and writes before
// the monitor cycle, time-out counted in ticks, repetitions and give-up. Time reaches it only
// through Tick(), bytes only through ReceiveByte()/PumpReceived(); it never blocks.
class CommManager {
public:
    static constexpr int kStations = 256;
    using PortFactory = std::function<std::unique_ptr<CommPort>()>;
    // 1 frame sent, 2 reply accepted (a Modbus exception included: the drive answered), 3 attempt failed.
    using TrafficHandler = std::function<void(int kind)>;
    enum Traffic { kFrameSent = 1, kReplyAccepted = 2, kAttemptFailed = 3 };

    CommManager();
    ~CommManager();
    CommManager(const CommManager&) = delete;
    CommManager& operator=(const CommManager&) = delete;

    // 0 ok, 2 the port could not be opened or started. May be called again with new settings.
    int Start(const CommSettings& settings);
    // Closes the port; nothing is sent until the next successful Start.
    void Stop();
    // True when the port's device has gone away; requests then time out and give up as usual.
    bool PortLost() const { return m_port && m_port->IsLost(); }
    // Opens a fresh port in place of the current one, keeping stations, monitors and queue;
    // false, with the current port kept, when it cannot be opened.
    bool ReopenPort(const PortSettings& settings);

    void QueueRead(int station, uint16_t address, CommClient* replyTo = nullptr);
    void QueueWrite(int station, uint16_t address, uint32_t value, CommClient* replyTo = nullptr);
    // Reads count consecutive registers from first. In Modbus, while the station takes block
    // reads, they go out as one request (up to the block maximum); otherwise, or after the
    // station refused one, as a read of first alone. The reply says how many were read.
    void QueueBlockRead(int station, uint16_t first, int count, CommClient* replyTo = nullptr);
    // A read that cannot wait (a trip's fault word): it goes before every queued request but the
    // one on the line, after one monitor visit at most, and past the cycle's limit of requests.
    void QueueUrgentRead(int station, uint16_t address, CommClient* replyTo = nullptr);
    // A read that asks whether anything answers at an ID: one attempt only, given up after
    // timeoutMs plus the time the request and a reply take on the wire.
    void QueueProbe(int station, uint16_t address, int timeoutMs, CommClient* replyTo = nullptr);
    int AddMonitor(int station, std::span<const uint16_t> addresses);
    int RemoveMonitor(int station, std::span<const uint16_t> addresses);
    bool AddListener(int station, CommClient* client);
    bool RemoveListener(int station, CommClient* client);
    void DropStation(int station);
    void SetPollRange(int first, int last);
    // Forgets a client everywhere: listener lists and pending reply targets.
    void RemoveClient(CommClient* client);
    // Withdraws the client's requests that have not gone out yet. A request already on the line
    // still completes and is still answered; returns how many were withdrawn.
    size_t DropRequests(const CommClient* client);
    // True while a request of this client is on the line.
    bool HasRequestOnLine(const CommClient* client) const;
    static const char* ErrorText(int code);

    // Lost stations: each is asked, one at a time and between monitor cycles, whether it is back:
    // one read of the address, one attempt. Every answer or miss goes to the client, until
    // ForgetLostStation. Misses in a row slow the asking down.
    struct LostProbeTiming {
        bool enabled = true;
        int intervalMs = 3000;
        int slowIntervalMs = 30000;
        int missesBeforeSlow = 5;
    };
    void WatchLostStation(int station, uint16_t address, CommClient* client);
    void ForgetLostStation(int station);
    bool WatchingLost(int station) const { return m_lost.count(station) != 0; }
    int LostMisses(int station) const;
    void SetLostProbeTiming(const LostProbeTiming& timing) { m_lostTiming = timing; }
    const LostProbeTiming& LostTiming() const { return m_lostTiming; }
    // Well-formed replies heard that answer no request of ours: another master on the line.
    uint64_t ForeignReplies() const { return m_foreignReplies; }

    // Only graph monitor views and the main window get monitor results while this is on.
    void SetGraphWatch(bool on) { m_graphWatch = on; }
    bool GraphWatch() const { return m_graphWatch; }

    // The 30 ms tick; when line-paced, any call at or after NextDueUs() (extra calls are harmless).
    void Tick();
    // Line-paced: when Tick should next be called on the manager's clock; -1 when tick-paced or
    // when nothing is due (the line is free and idle: the caller's regular tick will do).
    int64_t NextDueUs() const;
    bool LinePaced() const { return m_pacing.LinePaced(); }
    int64_t GapUs() const { return m_pacing.GapUs(); }
    // Whether the monitor cycle reads consecutive registers of a station in one request.
    BlockReadUse BlockReads(int station) const
    {
        return m_mode == kModbusRtu ? m_blocks.Use(station) : BlockReadUse::Off;
    }
    // One received byte, in order, on the owner's thread.
    void ReceiveByte(uint8_t byte);
    // Feeds every byte the port holds to ReceiveByte.
    void PumpReceived();

    void SetPortFactory(PortFactory factory) { m_portFactory = std::move(factory); }
    void SetErrorSink(CommErrorSink* sink) { m_errorSink = sink; }
    // Called by the port (possibly on its own thread) when received bytes wait for PumpReceived.
    void SetReceiveNotifier(std::function<void()> notify) { m_receiveNotifier = std::move(notify); }
    void SetTrafficHandler(TrafficHandler handler) { m_traffic = std::move(handler); }
    // Line-paced: called when a request is queued while the line is idle, so that the caller
    // steps the manager at once rather than at its next regular tick.
    void SetWorkNotifier(std::function<void()> notify) { m_workNotifier = std::move(notify); }

    // Inspection.
    bool IsStarted() const { return m_started; }
    int ProtocolMode() const { return m_mode; }
    int RetryLimit() const { return m_retryLimit; }
    int TimeoutTicks() const { return m_timeoutTicks; }
    // The ticks a probe with this time-out waits for its reply at the current line settings.
    int ProbeTimeoutTicks(int timeoutMs) const;
    bool IsWaiting() const { return m_waiting; }
    size_t QueueLength() const { return m_queue.size(); }
    int PollFirst() const { return m_pollFirst; }
    int PollLast() const { return m_pollLast; }
    int MonitorCount(int station) const;
    std::vector<uint16_t> MonitorAddresses(int station) const;
    int MonitorRefCount(int station, uint16_t address) const;
    std::string RegisterText(int station) const;
    bool IsListener(int station, const CommClient* client) const;
    const CommReply& CurrentReply() const { return m_reply; }
    CommPort* Port() const { return m_port.get(); }

    // Line health per station, counted since the start or the last ResetHealth.
    const StationHealth& Health(int station) const;
    void ResetHealth();
    // The clock reply times are measured on when the port cannot time them itself (microseconds;
    // the steady clock unless replaced).
    void SetClock(std::function<int64_t()> nowUs) { m_clock = std::move(nowUs); }

private:
    struct MonitorEntry {
        uint16_t address = 0;
        int refs = 0;
    };
    struct Station {
        std::vector<MonitorEntry> monitors;
        std::vector<CommClient*> listeners;
        std::string registerText;
        bool reregister = false;
    };
    struct Request {
        char command = 'R';
        int station = 0;
        uint16_t address = 0;
        uint32_t value = 0;
        CommClient* replyTo = nullptr;
        int retryLimit = -1;  // -1: the manager's; a probe's own otherwise
        int timeoutTicks = -1;
        bool lostProbe = false;  // asks whether a lost station is back
        int count = 1;           // registers a read takes (a block read when above 1)
        bool urgent = false;
    };
    struct LostStation {
        uint16_t address = 0;
        CommClient* client = nullptr;
        uint64_t serial = 0;
        int misses = 0;
        int64_t dueTick = 0;
    };
    struct ClientRef {
        CommClient* client = nullptr;
        uint64_t serial = 0;
    };

    static std::vector<MonitorEntry>::iterator FindMonitor(Station& s, uint16_t address);
    // Counts each address in (or out); the register text is rebuilt when the set changed.
    int ChangeMonitors(int station, std::span<const uint16_t> addresses, bool removing);
    void Track(CommClient* client);
    bool Alive(const ClientRef& ref) const;
    void RebuildRegisterText(int station, bool removing);
    void RecomputeMonitoring();
    bool SelectStation();
    void BuildRequest(const Request& request);
    void BuildMonitor(int station, int step);
    void Send();
    // When a frame may go out (both pacings).
    bool AttemptTimedOut();
    bool LineFreeForNextFrame() const;
    int64_t CurrentTimeoutUs() const;
    // How consecutive Modbus reads are framed.
    void BuildModbusMonitorRead(int station, int step);
    void TakeModbusValues(std::span<const uint8_t> frame);
    // A refused block read: the station falls back to single reads and the same step goes out
    // again as one; true when it did.
    bool FallBackFromBlockRead(int error);
    // The registers a queued read may take now.
    int RequestCount(const Request& request) const;
    void WorkArrived();
    void Complete(int error);
    void GiveUp();
    // A port of the factory, opened and started; nullptr when it cannot be.
    std::unique_ptr<CommPort> OpenPort(const PortSettings& settings);
    // Forgets the transaction on the line, so that it goes out again from its first attempt.
    void AbandonTransaction();
    // Limits of the transaction on the line: a probe's own, else the manager's.
    int CurrentRetryLimit() const;
    int CurrentTimeoutTicks() const;
    std::vector<ClientRef> Listeners(int station) const;
    void NotifyListeners(const std::vector<ClientRef>& clients, int station, const CommReply& reply,
                         bool mustListen);
    void NotifyTraffic(int kind);
    void CountSent();
    void CountOutcome(int error);
    int64_t NowUs() const;
    // Choice of the next transaction (CommManagerTurns.cpp).
    bool MonitorTurnFirst();
    // Whether the cycle has let through as many requests as it may.
    bool CycleFullOfRequests() const;
    void StartCycleWhenDone();
    bool AtCycleEnd() const;
    void QueueDueLostProbe();
    void LostProbeDone(const Request& request, const CommReply& reply);
    void CountForeignKx485(std::span<const uint8_t> frame, bool waiting);
    void CountForeignModbus(std::span<const uint8_t> reply);
    int64_t ReplyTimeUs() const;
    static bool ValidStation(int station) { return station >= 0 && station < kStations; }

    std::array<Station, kStations> m_stations;
    std::deque<Request> m_queue;
    std::deque<uint8_t> m_rxPending;  // taken from the port, not yet fed to ReceiveByte
    std::unordered_map<CommClient*, uint64_t> m_clients;
    uint64_t m_nextSerial = 1;

    std::unique_ptr<CommPort> m_port;
    PortFactory m_portFactory;
    CommErrorSink* m_errorSink = nullptr;
    std::function<void()> m_receiveNotifier;
    TrafficHandler m_traffic;
    std::function<void()> m_workNotifier;

    bool m_started = false;
    int m_mode = kKx485;
    int m_retryLimit = 3;
    int m_timeoutTicks = 33;
    int m_tickMs = 30;
    int m_timeoutMs = 1000;
    LinePacing m_pacing;
    BlockReadTable m_blocks;
    int m_allowanceMs = 0;  // the network's share of every time-out
    PortSettings m_line;
    bool m_requestInProgress = false;
    bool m_waiting = false;
    int m_tickCounter = 0;
    int m_failed = 0;
    bool m_monitoring = false;
    bool m_monitorActive = false;
    int m_pollFirst = 0;
    int m_pollLast = 0;
    int m_pollStation = 0;
    int m_step = 0;
    bool m_graphWatch = false;
    int64_t m_ticks = 0;
    bool m_monitorTurn = false;  // a request ended: a monitor visit goes before the next one
    int m_requestsPerCycle = 8;
    int m_cycleRequests = 0;      // requests let through since the monitor cycle began
    int m_cycleMonitors = 0;      // monitor transactions of this cycle so far
    int m_lastCycleMonitors = 0;  // and of the cycle before
    std::map<int, LostStation> m_lost;
    LostProbeTiming m_lostTiming;
    uint64_t m_foreignReplies = 0;
    kx485::FrameReceiver m_idleReceiver;

    CommReply m_reply;
    std::string m_kxFrame;
    kx485::FrameReceiver m_kxReceiver;
    modbus::RequestFrame m_mbFrame{};
    modbus::ReplyReceiver m_mbReceiver;

    std::array<StationHealth, kStations> m_health;
    std::function<int64_t()> m_clock;
    int64_t m_sentUs = 0;      // manager's clock when the attempt went out
    int64_t m_arrivalUs = -1;  // port's clock: newest byte taken for this attempt
    bool m_nakReply = false;   // the frame being completed is a KX485 NAK
};

}  // namespace vm
