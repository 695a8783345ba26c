// The manager's choice of the next transaction besides the queue order: a monitor visit between
// queued requests and a limit to the requests one monitor cycle lets through, so that a long
// series of reads does not hide a station's trip, and the probes
// that ask lost stations whether they are back. Also the count of replies that belong to no
// request of ours.
#include "comm/CommManager.h"

#include <algorithm>

namespace vm {

bool CommManager::MonitorTurnFirst()
{
    if (!m_monitorTurn && !CycleFullOfRequests())
        return false;
    if (m_monitoring && m_pollFirst != 0 && m_pollLast != 0 && SelectStation())
        return true;
    m_monitorTurn = false;
    return false;
}

bool CommManager::CycleFullOfRequests() const
{
    // A share of the line for requests, so that on a long line a series of reads cannot leave a
    // station unpolled for much more than one cycle, and a short line still serves them quickly.
    if (!m_monitoring || m_requestsPerCycle <= 0 || (!m_queue.empty() && m_queue.front().urgent))
        return false;
    return m_cycleRequests >= std::max(m_requestsPerCycle, m_lastCycleMonitors / 4);
}

void CommManager::StartCycleWhenDone()
{
    if (m_cycleMonitors == 0 || !AtCycleEnd())
        return;
    m_lastCycleMonitors = m_cycleMonitors;
    m_cycleMonitors = 0;
    m_cycleRequests = 0;
}

bool CommManager::AtCycleEnd() const
{
    if (!m_monitoring || m_pollFirst == 0 || m_pollLast == 0)
        return true;
    const bool inRange = m_pollStation >= m_pollFirst && m_pollStation <= m_pollLast;
    if (inRange && m_step < static_cast<int>(m_stations[m_pollStation].monitors.size()))
        return false;
    for (int id = std::max(m_pollStation + 1, m_pollFirst); id <= m_pollLast; ++id)
        if (!m_stations[id].monitors.empty())
            return false;
    return true;
}

void CommManager::WatchLostStation(int station, uint16_t address, CommClient* client)
{
    if (!ValidStation(station) || station == 0 || !client)
        return;
    Track(client);
    LostStation& lost = m_lost[station];
    if (lost.client == client && lost.address == address)
        return;  // already asked about: its misses and its turn stay
    lost = {address, client, client->m_commSerial, 0,
            m_ticks + m_lostTiming.intervalMs / std::max(m_tickMs, 1)};
}

void CommManager::ForgetLostStation(int station)
{
    m_lost.erase(station);
}

int CommManager::LostMisses(int station) const
{
    const auto it = m_lost.find(station);
    return it == m_lost.end() ? 0 : it->second.misses;
}

void CommManager::QueueDueLostProbe()
{
    if (!m_lostTiming.enabled || m_lost.empty() || PortLost() || !AtCycleEnd())
        return;
    // One at a time: the next waits until this one is answered or missed.
    if (std::any_of(m_queue.begin(), m_queue.end(), [](const Request& r) { return r.lostProbe; }))
        return;
    // The station waiting longest past its turn goes first.
    auto due = m_lost.end();
    for (auto it = m_lost.begin(); it != m_lost.end(); ++it)
        if (it->second.dueTick <= m_ticks &&
            (due == m_lost.end() || it->second.dueTick < due->second.dueTick))
            due = it;
    if (due == m_lost.end())
        return;
    const LostStation& lost = due->second;
    if (!Alive({lost.client, lost.serial})) {
        m_lost.erase(due);
        return;
    }
    Request probe{'R', due->first, lost.address, 0, lost.client, 0, -1, true};
    m_queue.push_back(probe);
}

void CommManager::LostProbeDone(const Request& request, const CommReply& reply)
{
    const auto it = m_lost.find(request.station);
    if (it == m_lost.end())
        return;
    LostStation& lost = it->second;
    // Silence counts as a miss; anything heard (a garbled reply too) is worth the normal pace.
    const bool silent = reply.error == kGiveUp && reply.lastError == kTimeoutError;
    if (silent)
        ++lost.misses;
    const int intervalMs =
        lost.misses >= m_lostTiming.missesBeforeSlow ? m_lostTiming.slowIntervalMs : m_lostTiming.intervalMs;
    lost.dueTick = m_ticks + std::max(intervalMs / std::max(m_tickMs, 1), 1);
}

void CommManager::CountForeignKx485(std::span<const uint8_t> frame, bool waiting)
{
    // A whole, well-formed reply: lead ACK or NAK, matching checksum, EOT.
    const size_t length = frame.size();
    if (length < 7 || (frame[0] != kx485::kAck && frame[0] != kx485::kNak) ||
        frame[length - 1] != kx485::kEot)
        return;
    const long sum = kx485::ParseHex(frame, length - 3, 2);
    if (sum < 0 || sum != kx485::Checksum(frame.subspan(1, length - 4)))
        return;
    if (waiting) {
        // Our station and command with a wrong length is a damaged answer of ours.
        const long station = kx485::ParseHex(frame, 1, 2);
        if (station == m_reply.station && frame[3] == static_cast<uint8_t>(m_reply.command))
            return;
    }
    ++m_foreignReplies;
}

void CommManager::CountForeignModbus(std::span<const uint8_t> reply)
{
    if (reply.size() >= 4 && modbus::CrcMatches(reply) && reply[0] != m_mbFrame[0])
        ++m_foreignReplies;
}

}  // namespace vm
