#include "comm/CommManager.h"

#include "comm/LinePort.h"
#include "comm/NetAddress.h"

#include <algorithm>
#include <string>

namespace vm {

CommClient::~CommClient()
{
    if (m_commManager)
        m_commManager->RemoveClient(this);
}

CommManager::CommManager() : m_portFactory([] { return std::make_unique<LinePort>(); })
{}

CommManager::~CommManager()
{
    Stop();
    for (auto& [client, serial] : m_clients)
        client->m_commManager = nullptr;
}

namespace {

// "Modbus Exception 2 (Illegal Data Address)"; codes without a standard name by number only.
const std::array<std::string, 256>& ModbusExceptionTexts()
{
    static const std::array<std::string, 256> texts = [] {
        static constexpr const char* kNames[] = {
            nullptr,
            "Illegal Function",
            "Illegal Data Address",
            "Illegal Data Value",
            "Slave Device Failure",
            "Acknowledge",
            "Slave Device Busy",
            "Negative Acknowledge",
            "Memory Parity Error",
            nullptr,
            "Gateway Path Unavailable",
            "Gateway Target Device Failed to Respond",
        };
        std::array<std::string, 256> out;
        for (size_t i = 0; i < out.size(); ++i) {
            out[i] = "Modbus Exception " + std::to_string(i);
            if (i < std::size(kNames) && kNames[i])
                out[i] += std::string(" (") + kNames[i] + ")";
        }
        return out;
    }();
    return texts;
}

}  // namespace

const char* CommManager::ErrorText(int code)
{
    static constexpr const char* kTexts[] = {
        "No Error",           "Frame Error",           "Sum Error",           "NAK Error",
        "Timeout Error",      "Illegal Function",      "Address Range Error", "Data Range Error",
        "Write Mode Error",   "DPRAM TimeOut Error",   "DPRAM Offline Error", "CRC Error",
        "Slave Device Error", "Modbus Exception Code",
    };
    if (code >= 0 && code < static_cast<int>(std::size(kTexts)))
        return kTexts[code];
    if (IsModbusException(code))
        return ModbusExceptionTexts()[static_cast<size_t>(ModbusExceptionCode(code))].c_str();
    return "Undefined Error";
}

int CommManager::Start(const CommSettings& settings)
{
    m_started = false;
    m_port.reset();

    if (settings.protocolMode != m_mode) {
        for (Station& s : m_stations)
            if (!s.monitors.empty())
                s.reregister = true;
        m_mode = settings.protocolMode;
        m_pollStation = 0;
        m_step = 0;
    }
    // A registration cut off by the restart must go out again.
    if (m_monitorActive && m_reply.command == 'X' && ValidStation(m_reply.station) &&
        !m_stations[m_reply.station].monitors.empty())
        m_stations[m_reply.station].reregister = true;

    AbandonTransaction();
    m_retryLimit = settings.retryCount;

    m_port = OpenPort(settings);
    if (!m_port)
        return 2;

    const int tick = settings.tickMs > 0 ? settings.tickMs : 30;
    m_allowanceMs = IsNetworkPortName(settings.portName) ? std::max(settings.networkAllowanceMs, 0) : 0;
    m_timeoutTicks = (settings.timeoutMs + m_allowanceMs) / tick;
    m_tickMs = tick;
    m_timeoutMs = settings.timeoutMs;
    m_pacing.Configure(settings.pacing,
                       InterFrameGapUs(settings, m_mode == kModbusRtu, settings.turnaroundUs));
    m_blocks.Configure(settings.blockReads, settings.blockReadMax);
    m_requestsPerCycle = std::max(settings.requestsPerCycle, 0);
    m_line = settings;
    m_started = true;
    return 0;
}

void CommManager::Stop()
{
    m_started = false;
    m_waiting = false;
    m_rxPending.clear();
    m_port.reset();
}

bool CommManager::ReopenPort(const PortSettings& settings)
{
    if (!m_started)
        return false;
    std::unique_ptr<CommPort> port = OpenPort(settings);
    if (!port)
        return false;
    m_port = std::move(port);
    // As after Start: the transaction cut off goes out again from its first attempt, and the
    // drives, perhaps restarted along with the device, are registered anew.
    if (m_mode == kKx485)
        for (Station& s : m_stations)
            if (!s.monitors.empty())
                s.reregister = true;
    AbandonTransaction();
    return true;
}

std::unique_ptr<CommPort> CommManager::OpenPort(const PortSettings& settings)
{
    std::unique_ptr<CommPort> port = m_portFactory ? m_portFactory() : nullptr;
    if (!port || !port->Open(settings, m_errorSink, m_receiveNotifier) || !port->Start())
        return nullptr;
    return port;
}

void CommManager::AbandonTransaction()
{
    m_waiting = false;
    m_requestInProgress = false;
    m_monitorActive = false;
    m_failed = 0;
    m_tickCounter = 0;
    m_kxReceiver.Reset();
    m_mbReceiver.Reset();
    m_rxPending.clear();
}

void CommManager::Track(CommClient* client)
{
    if (!client || m_clients.count(client))
        return;
    // A client belongs to one manager at a time.
    if (client->m_commManager && client->m_commManager != this)
        client->m_commManager->RemoveClient(client);
    client->m_commManager = this;
    client->m_commSerial = m_nextSerial++;
    m_clients.emplace(client, client->m_commSerial);
}

bool CommManager::Alive(const ClientRef& ref) const
{
    auto it = m_clients.find(ref.client);
    return it != m_clients.end() && it->second == ref.serial;
}

void CommManager::RemoveClient(CommClient* client)
{
    auto it = m_clients.find(client);
    if (it == m_clients.end())
        return;
    m_clients.erase(it);
    client->m_commManager = nullptr;
    for (Station& s : m_stations)
        std::erase(s.listeners, client);
    for (Request& r : m_queue)
        if (r.replyTo == client)
            r.replyTo = nullptr;
    std::erase_if(m_lost, [client](const auto& entry) { return entry.second.client == client; });
}

size_t CommManager::DropRequests(const CommClient* client)
{
    if (!client)
        return 0;
    const size_t before = m_queue.size();
    auto first = m_queue.begin();
    if (m_requestInProgress && first != m_queue.end())
        ++first;  // on the line: it finishes as any other
    m_queue.erase(
        std::remove_if(first, m_queue.end(), [client](const Request& r) { return r.replyTo == client; }),
        m_queue.end());
    return before - m_queue.size();
}

bool CommManager::HasRequestOnLine(const CommClient* client) const
{
    return client && m_requestInProgress && !m_queue.empty() && m_queue.front().replyTo == client;
}

void CommManager::QueueRead(int station, uint16_t address, CommClient* replyTo)
{
    if (!ValidStation(station))
        return;
    Track(replyTo);
    m_queue.push_back({'R', station, address, 0, replyTo});
    WorkArrived();
}

void CommManager::QueueWrite(int station, uint16_t address, uint32_t value, CommClient* replyTo)
{
    if (!ValidStation(station))
        return;
    Track(replyTo);
    m_queue.push_back({'W', station, address, value, replyTo});
    WorkArrived();
}

void CommManager::QueueUrgentRead(int station, uint16_t address, CommClient* replyTo)
{
    if (!ValidStation(station))
        return;
    Track(replyTo);
    Request request{'R', station, address, 0, replyTo};
    request.urgent = true;
    // Behind the request on the line and the urgent ones before it, ahead of the rest.
    auto at = m_queue.begin();
    if (m_requestInProgress && at != m_queue.end())
        ++at;
    while (at != m_queue.end() && at->urgent)
        ++at;
    m_queue.insert(at, request);
    WorkArrived();
}

void CommManager::QueueBlockRead(int station, uint16_t first, int count, CommClient* replyTo)
{
    if (!ValidStation(station))
        return;
    Track(replyTo);
    Request request{'R', station, first, 0, replyTo};
    request.count = std::clamp(count, 1, kMaxReplyValues);
    m_queue.push_back(request);
    WorkArrived();
}

void CommManager::QueueProbe(int station, uint16_t address, int timeoutMs, CommClient* replyTo)
{
    if (!ValidStation(station))
        return;
    Track(replyTo);
    m_queue.push_back({'R', station, address, 0, replyTo, 0, ProbeTimeoutTicks(timeoutMs)});
    WorkArrived();
}

int CommManager::ProbeTimeoutTicks(int timeoutMs) const
{
    // The time-out runs from the hand-over of the request, so a slow line must not eat it up:
    // the request and the longest read reply of either protocol are added at the line's rate.
    constexpr int kWireBytes = 2 * 20;
    const int bitsPerByte =
        1 + m_line.dataBits + (m_line.parity != 0 ? 1 : 0) + (m_line.stopBits != 0 ? 2 : 1);
    const int baud = m_line.baudRate > 0 ? m_line.baudRate : 9600;
    const int wireMs = (kWireBytes * bitsPerByte * 1000 + baud - 1) / baud;
    const int ticks = (std::max(timeoutMs, 0) + wireMs + m_allowanceMs + m_tickMs - 1) / m_tickMs;
    return std::max(ticks, 1);
}

int CommManager::CurrentRetryLimit() const
{
    if (m_requestInProgress && !m_queue.empty() && m_queue.front().retryLimit >= 0)
        return m_queue.front().retryLimit;
    return m_retryLimit;
}

int CommManager::CurrentTimeoutTicks() const
{
    if (m_requestInProgress && !m_queue.empty() && m_queue.front().timeoutTicks >= 0)
        return m_queue.front().timeoutTicks;
    return m_timeoutTicks;
}

std::vector<CommManager::MonitorEntry>::iterator CommManager::FindMonitor(Station& s, uint16_t address)
{
    return std::find_if(s.monitors.begin(), s.monitors.end(),
                        [address](const MonitorEntry& e) { return e.address == address; });
}

int CommManager::AddMonitor(int station, std::span<const uint16_t> addresses)
{
    return ChangeMonitors(station, addresses, false);
}

int CommManager::RemoveMonitor(int station, std::span<const uint16_t> addresses)
{
    return ChangeMonitors(station, addresses, true);
}

int CommManager::ChangeMonitors(int station, std::span<const uint16_t> addresses, bool removing)
{
    if (!ValidStation(station))
        return 0;
    Station& s = m_stations[station];
    bool changed = false;
    for (uint16_t address : addresses) {
        auto it = FindMonitor(s, address);
        if (!removing && it != s.monitors.end()) {
            ++it->refs;
        } else if (!removing) {
            s.monitors.push_back({address, 1});
            changed = true;
        } else if (it != s.monitors.end() && --it->refs <= 0) {
            s.monitors.erase(it);
            changed = true;
        }
    }
    if (changed) {
        RebuildRegisterText(station, removing);
        RecomputeMonitoring();
    }
    return 1;
}

void CommManager::RebuildRegisterText(int station, bool removing)
{
    Station& s = m_stations[station];
    std::string text;
    if (!s.monitors.empty()) {
        std::vector<uint16_t> first;
        for (size_t i = 0; i < s.monitors.size() && i < kx485::kMaxWords; ++i)
            first.push_back(s.monitors[i].address);
        text = kx485::BuildRegister(station, first);
    }
    if (text.empty() && removing) {
        s.registerText.clear();
        s.reregister = false;
    } else if (text != s.registerText) {
        s.registerText = text;
        s.reregister = true;
    }
}

void CommManager::RecomputeMonitoring()
{
    m_monitoring = std::any_of(m_stations.begin() + 1, m_stations.end(),
                               [](const Station& s) { return !s.monitors.empty(); });
}

bool CommManager::AddListener(int station, CommClient* client)
{
    if (!ValidStation(station) || !client)
        return false;
    auto& list = m_stations[station].listeners;
    if (std::find(list.begin(), list.end(), client) != list.end())
        return false;
    Track(client);
    list.push_back(client);
    return true;
}

bool CommManager::RemoveListener(int station, CommClient* client)
{
    if (!ValidStation(station))
        return false;
    return std::erase(m_stations[station].listeners, client) > 0;
}

void CommManager::DropStation(int station)
{
    if (!ValidStation(station))
        return;
    Station& s = m_stations[station];
    s.monitors.clear();
    s.listeners.clear();
    s.registerText.clear();
    s.reregister = false;
    RecomputeMonitoring();
}

void CommManager::SetPollRange(int first, int last)
{
    m_pollFirst = std::clamp(first, 0, kStations - 1);
    m_pollLast = std::clamp(last, 0, kStations - 1);
}

int CommManager::MonitorCount(int station) const
{
    return ValidStation(station) ? static_cast<int>(m_stations[station].monitors.size()) : 0;
}

std::vector<uint16_t> CommManager::MonitorAddresses(int station) const
{
    std::vector<uint16_t> out;
    if (ValidStation(station))
        for (const MonitorEntry& e : m_stations[station].monitors)
            out.push_back(e.address);
    return out;
}

int CommManager::MonitorRefCount(int station, uint16_t address) const
{
    if (!ValidStation(station))
        return 0;
    for (const MonitorEntry& e : m_stations[station].monitors)
        if (e.address == address)
            return e.refs;
    return 0;
}

std::string CommManager::RegisterText(int station) const
{
    return ValidStation(station) ? m_stations[station].registerText : std::string();
}

bool CommManager::IsListener(int station, const CommClient* client) const
{
    if (!ValidStation(station))
        return false;
    const auto& list = m_stations[station].listeners;
    return std::find(list.begin(), list.end(), client) != list.end();
}

void CommManager::Tick()
{
    if (!m_started)
        return;
    ++m_ticks;

    if (m_failed > CurrentRetryLimit())
        GiveUp();

    if (m_waiting) {
        if (AttemptTimedOut()) {
            m_tickCounter = 0;
            Complete(kTimeoutError);
        }
        return;
    }
    if (!LineFreeForNextFrame())
        return;
    m_pacing.Idle();  // until a frame goes out below

    // A failed monitor transaction whose station nobody monitors any more is not repeated,
    // so that queued requests are served.
    if (m_failed != 0 && !m_requestInProgress &&
        (!m_monitorActive || !ValidStation(m_reply.station) ||
         m_stations[m_reply.station].monitors.empty())) {
        m_failed = 0;
        m_monitorActive = false;
    }

    StartCycleWhenDone();
    if (!m_queue.empty() && !m_requestInProgress && m_failed == 0 && !MonitorTurnFirst()) {
        m_requestInProgress = true;
        ++m_cycleRequests;
    }

    if (m_requestInProgress) {
        if (m_failed == 0)
            BuildRequest(m_queue.front());
        Send();
        return;
    }

    if (m_failed != 0) {
        Send();
        return;
    }

    QueueDueLostProbe();
    if (!m_monitoring || m_pollFirst == 0 || m_pollLast == 0 || !SelectStation()) {
        // Nothing to monitor: a probe of a lost station may use the idle line.
        if (!m_queue.empty()) {
            m_requestInProgress = true;
            BuildRequest(m_queue.front());
            Send();
        }
        return;
    }
    BuildMonitor(m_pollStation, m_step);
    ++m_cycleMonitors;
    Send();
    m_monitorActive = true;
    m_monitorTurn = false;
}

bool CommManager::SelectStation()
{
    const bool inRange = m_pollStation >= m_pollFirst && m_pollStation <= m_pollLast;
    if (inRange && m_step < static_cast<int>(m_stations[m_pollStation].monitors.size()))
        return true;
    m_step = 0;
    auto monitored = [this](int id) { return !m_stations[id].monitors.empty(); };
    for (int id = std::max(m_pollStation + 1, m_pollFirst); id <= m_pollLast; ++id)
        if (monitored(id)) {
            m_pollStation = id;
            return true;
        }
    for (int id = m_pollFirst; id <= std::min(m_pollStation, m_pollLast); ++id)
        if (monitored(id)) {
            m_pollStation = id;
            return true;
        }
    return false;
}

void CommManager::BuildRequest(const Request& request)
{
    m_reply = CommReply{};
    m_reply.station = request.station;
    m_reply.command = request.command;
    m_reply.count = RequestCount(request);
    for (int i = 0; i < m_reply.count; ++i)
        m_reply.addresses[static_cast<size_t>(i)] = static_cast<uint16_t>(request.address + i);
    m_reply.values[0] = request.command == 'W' ? (request.value & 0xFFFF) : 0;
    if (m_mode == kModbusRtu && m_reply.count > 1) {
        m_mbFrame = modbus::BuildBlockRead(request.station, request.address, m_reply.count);
        m_mbReceiver.Expect(m_mbFrame);
    } else if (m_mode == kKx485) {
        std::string text = request.command == 'W'
                               ? kx485::BuildWrite(request.station, request.address, request.value)
                               : kx485::BuildRead(request.station, request.address);
        m_kxFrame = kx485::Frame(text);
    } else {
        m_mbFrame = request.command == 'W' ? modbus::BuildWrite(request.station, request.address,
                                                                static_cast<uint16_t>(request.value))
                                           : modbus::BuildRead(request.station, request.address);
        m_mbReceiver.Expect(m_mbFrame);
    }
}

void CommManager::BuildMonitor(int station, int step)
{
    Station& s = m_stations[station];
    m_reply = CommReply{};
    m_reply.station = station;
    if (m_mode == kKx485) {
        std::string text;
        if (s.reregister) {
            s.reregister = false;
            text = s.registerText;
            m_step = 0;
            m_reply.command = 'X';
        } else if (step == 0) {
            text = kx485::BuildExecute(station);
            m_reply.command = 'Y';
            for (size_t i = 0; i < s.monitors.size() && i < kx485::kMaxWords; ++i)
                m_reply.addresses[m_reply.count++] = s.monitors[i].address;
        } else {
            text = kx485::BuildRead(station, s.monitors[step].address);
            m_reply.command = 'R';
            m_reply.count = 1;
            m_reply.addresses[0] = s.monitors[step].address;
        }
        m_kxFrame = kx485::Frame(text);
    } else {
        BuildModbusMonitorRead(station, step);
    }
}

void CommManager::Send()
{
    // Like the port, a frame going out discards what was received and not yet fed.
    m_rxPending.clear();
    m_kxReceiver.Reset();
    m_mbReceiver.Reset();
    m_idleReceiver.Reset();
    if (m_port) {
        if (m_mode == kKx485)
            m_port->WriteText(m_kxFrame);
        else
            m_port->WriteBytes(m_mbFrame);
    }
    m_waiting = true;
    m_tickCounter = 0;
    m_reply.error = kNoError;
    CountSent();
    m_pacing.FrameSent(m_sentUs, CurrentTimeoutUs());
    NotifyTraffic(kFrameSent);
}

void CommManager::ReceiveByte(uint8_t byte)
{
    if (!m_started)
        return;
    // Nothing on the line expects an answer: the byte is noise, or another master's traffic.
    if (!m_waiting) {
        if (m_mode == kKx485 && m_idleReceiver.Feed(byte))
            CountForeignKx485(m_idleReceiver.Frame(), false);
        return;
    }
    int error = kNoError;
    if (m_mode == kKx485) {
        if (!m_kxReceiver.Feed(byte))
            return;
        kx485::Expected expected{m_reply.station, static_cast<char>(m_reply.command), 1};
        if (m_reply.command == 'Y')
            expected.words = m_reply.count;
        else if (m_reply.command == 'X')
            expected.words = 0;
        kx485::Evaluation ev = kx485::Evaluate(m_kxReceiver.Frame(), expected);
        if (ev.notReply)
            return;
        if (ev.error == kFrameError)
            CountForeignKx485(m_kxReceiver.Frame(), true);
        m_nakReply = ev.nak;
        error = ev.error;
        if (error == kNoError)
            for (int i = 0; i < ev.count; ++i)
                m_reply.values[i] = ev.values[i];
    } else {
        if (!m_mbReceiver.Feed(byte))
            return;
        modbus::Evaluation ev = modbus::Evaluate(m_mbReceiver.Frame(), m_mbFrame);
        error = ev.error;
        if (error == kFrameError)
            CountForeignModbus(m_mbReceiver.Frame());
        if (error == kNoError)
            TakeModbusValues(m_mbReceiver.Frame());
    }
    m_tickCounter = 0;
    Complete(error);
}

void CommManager::PumpReceived()
{
    // Everything waiting is taken at once, which re-arms the port's hand-over: a client that
    // runs a nested event loop while notified below does not hold up later bytes. All pumps
    // feed from one queue, so a nested one carries on in order where the outer one stopped.
    std::vector<uint8_t> taken;
    if (m_port && m_port->ReadAll(taken) > 0)
        m_rxPending.insert(m_rxPending.end(), taken.begin(), taken.end());
    if (!taken.empty())
        m_arrivalUs = m_port->LastArrivalUs();
    while (!m_rxPending.empty()) {
        const uint8_t byte = m_rxPending.front();
        m_rxPending.pop_front();
        ReceiveByte(byte);
    }
}

void CommManager::Complete(int error)
{
    // An exception is the drive's answer, not a line fault: repeating the request would only get
    // the same answer, and the station is plainly there.
    const bool answered = error == kNoError || IsModbusException(error);
    m_pacing.TransactionEnded(NowUs());
    if (FallBackFromBlockRead(error))
        return;
    CountOutcome(error);
    if (!answered)
        ++m_failed;
    m_reply.error = error;
    m_reply.retries = error == kNoError ? 0 : m_failed;
    if (answered)
        m_failed = 0;
    m_waiting = false;
    const CommReply reply = m_reply;  // clients may start new transactions while notified

    if (m_requestInProgress) {
        const Request request = m_queue.empty() ? Request{} : m_queue.front();
        CommClient* target = request.replyTo;
        // Retire the request first so that one queued by the handler lines up behind the rest.
        if (answered) {
            if (!m_queue.empty())
                m_queue.pop_front();
            m_requestInProgress = false;
            m_monitorTurn = true;
            if (request.lostProbe)
                LostProbeDone(request, reply);
        }
        if (target)
            target->OnCommReply(reply.station, reply);
    } else {
        if (m_mode == kKx485) {
            if (error == kNoError)
                m_step = m_step == 0 ? 8 : m_step + 1;
            else if (reply.command == 'X' && ValidStation(reply.station))
                m_stations[reply.station].reregister = true;
        } else if (answered) {
            m_step += std::max(reply.count, 1);
        }
        NotifyListeners(Listeners(reply.station), reply.station, reply, true);
    }
    NotifyTraffic(answered ? kReplyAccepted : kAttemptFailed);
}

void CommManager::GiveUp()
{
    m_reply.lastError = m_reply.error;
    m_reply.error = kGiveUp;
    m_reply.retries = m_failed;
    const CommReply reply = m_reply;
    if (ValidStation(reply.station))
        ++m_health[reply.station].giveUps;
    m_failed = 0;
    m_tickCounter = 0;
    m_waiting = false;

    if (m_requestInProgress) {
        CommClient* target = nullptr;
        if (!m_queue.empty()) {
            const Request request = m_queue.front();
            target = request.replyTo;
            m_queue.pop_front();
            if (request.lostProbe)
                LostProbeDone(request, reply);
        }
        m_requestInProgress = false;
        m_monitorTurn = true;
        if (target)
            target->OnCommReply(reply.station, reply);
    } else {
        // The station is dropped before its listeners hear of it, so that a listener may
        // register again from its handler.
        std::vector<ClientRef> listeners = Listeners(reply.station);
        m_monitorActive = false;
        DropStation(reply.station);
        NotifyListeners(listeners, reply.station, reply, false);
    }
    NotifyTraffic(kAttemptFailed);
}

std::vector<CommManager::ClientRef> CommManager::Listeners(int station) const
{
    std::vector<ClientRef> out;
    if (ValidStation(station))
        for (CommClient* c : m_stations[station].listeners)
            out.push_back({c, c->m_commSerial});
    return out;
}

void CommManager::NotifyListeners(const std::vector<ClientRef>& clients, int station, const CommReply& reply,
                                  bool mustListen)
{
    for (const ClientRef& ref : clients) {
        if (!Alive(ref))
            continue;
        if (mustListen && !IsListener(station, ref.client))
            continue;
        if (m_graphWatch && ref.client->CommRole() == CommClient::Role::Other)
            continue;
        ref.client->OnCommMonitor(station, reply);
    }
}

void CommManager::NotifyTraffic(int kind)
{
    if (m_traffic)
        m_traffic(kind);
}

const StationHealth& CommManager::Health(int station) const
{
    static const StationHealth kNone;
    return ValidStation(station) ? m_health[station] : kNone;
}

void CommManager::ResetHealth()
{
    m_health.fill(StationHealth{});
}

int64_t CommManager::NowUs() const
{
    return m_clock ? m_clock() : SteadyMicroseconds();
}

void CommManager::CountSent()
{
    m_sentUs = NowUs();
    m_arrivalUs = -1;
    m_nakReply = false;
    if (!ValidStation(m_reply.station))
        return;
    StationHealth& h = m_health[m_reply.station];
    ++h.attempts;
    // Send goes out with m_failed at zero only for the first attempt of a transaction.
    if (m_failed == 0)
        ++h.requests;
    else
        ++h.repetitions;
}

int64_t CommManager::ReplyTimeUs() const
{
    // Both ends from the port when it timed them, else both from our clock: never mixed.
    const int64_t writeDone = m_port ? m_port->LastWriteDoneUs() : -1;
    if (writeDone >= 0 && m_arrivalUs >= writeDone)
        return m_arrivalUs - writeDone;
    return NowUs() - m_sentUs;
}

void CommManager::CountOutcome(int error)
{
    const bool nak = m_nakReply;
    m_nakReply = false;
    if (!ValidStation(m_reply.station))
        return;
    StationHealth& h = m_health[m_reply.station];
    if (error == kNoError || nak || IsModbusException(error)) {
        ++h.replies;
        h.AddReplyTime(ReplyTimeUs());
        if (error != kNoError)
            ++h.rejections[error];
        else if (!m_requestInProgress)
            h.valuesRefreshed += static_cast<uint64_t>(m_reply.count);
    } else if (error == kTimeoutError) {
        ++h.timeouts;
    } else if (error == kSumError || error == kCrcError) {
        ++h.checksumErrors;
    } else {
        ++h.frameErrors;
    }
}

}  // namespace vm
