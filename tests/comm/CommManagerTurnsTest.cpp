// The choice of the next transaction: monitor visits between queued requests, probes of lost
// stations, and replies heard that answer nothing of ours.
#include "FakePort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <set>

using namespace vm;
using namespace vm::test;

namespace {

std::string Hex4(int value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04X", value);
    return text;
}

class CommManagerTurns : public ::testing::Test {
protected:
    void SetUp() override
    {
        m.SetPortFactory([this] { return std::make_unique<FakePort>(line); });
        settings.timeoutMs = 300;  // 10 ticks
        settings.retryCount = 1;
        ASSERT_EQ(m.Start(settings), 0);
    }
    void Feed(std::string_view bytes)
    {
        for (char c : bytes)
            m.ReceiveByte(static_cast<uint8_t>(c));
    }
    // One tick; a frame that went out is answered unless its station is silent. Returns the
    // frame's text without lead, checksum and end.
    std::string Step()
    {
        const size_t before = line->written.size();
        m.Tick();
        if (line->written.size() == before)
            return {};
        const std::string sent = line->LastText();
        auto request = kx485::ParseRequest(Bytes(sent));
        if (!request || silent.count(request->station))
            return sent.substr(1, sent.size() - 4);
        const int s = request->station;
        switch (request->command) {
        case 'X':
            Feed(kx485::BuildAck(s, 'X'));
            break;
        case 'Y':
            Feed(kx485::BuildAck(s, 'Y', std::vector<uint16_t>(request->addresses.size() + 1, 7)));
            break;
        default:
            Feed(kx485::BuildAck(s, request->command, std::vector<uint16_t>{7}));
            break;
        }
        return sent.substr(1, sent.size() - 4);
    }
    // Reads of count registers from 0x100 at station, queued for client.
    void QueueSeries(int station, int count, Recorder& client)
    {
        for (uint16_t a = 0x100; a < 0x100 + count; ++a)
            m.QueueRead(station, a, &client);
    }
    // Steps until done() or until most frames went out; the frames, in order.
    std::vector<std::string> StepUntil(const std::function<bool()>& done, size_t most)
    {
        std::vector<std::string> sent;
        while (!done() && sent.size() < most)
            if (std::string t = Step(); !t.empty())
                sent.push_back(t);
        return sent;
    }
    // All 32 stations monitored, their registrations answered.
    void MonitorFullLine()
    {
        const uint16_t a[] = {5};
        for (int s = 1; s <= 32; ++s)
            m.AddMonitor(s, a);
        m.SetPollRange(1, 32);
        for (int i = 0; i < 32; ++i)
            Step();
    }
    void Monitor(std::initializer_list<int> stations)
    {
        const uint16_t a[] = {5};
        for (int s : stations)
            m.AddMonitor(s, a);
        m.SetPollRange(*stations.begin(), *(stations.end() - 1));
    }

    std::shared_ptr<FakeLine> line = std::make_shared<FakeLine>();
    CommSettings settings;
    CommManager m;
    std::set<int> silent;
};

TEST_F(CommManagerTurns, monitorVisitGoesBetweenQueuedRequestsSoNoStationWaitsForAWholeSeries)
{
    Monitor({1, 2, 3});
    for (int i = 0; i < 3; ++i)
        Step();  // the three registrations
    Recorder editor;
    QueueSeries(2, 40, editor);
    const std::vector<std::string> sent = StepUntil([&] { return editor.replies.size() >= 40; }, 200);
    ASSERT_EQ(editor.replies.size(), 40u);
    // Requests keep their order and each one is followed by one monitor visit.
    int reads = 0;
    std::map<std::string, size_t> lastVisit;
    for (size_t i = 0; i < sent.size(); ++i) {
        const bool request = sent[i].find('R') == 2;
        if (request) {
            EXPECT_EQ(sent[i].substr(3, 4), Hex4(0x100 + reads));
            ++reads;
            if (reads < 40) {
                EXPECT_EQ(sent.at(i + 1).substr(2), "Y") << i;
            }
        } else {
            const std::string station = sent[i].substr(0, 2);
            // Three stations: visited again within three visits and three requests.
            if (auto it = lastVisit.find(station); it != lastVisit.end()) {
                EXPECT_LE(i - it->second, 6u) << station << " at " << i;
            }
            lastVisit[station] = i;
        }
    }
    EXPECT_EQ(lastVisit.size(), 3u);
}

TEST_F(CommManagerTurns, withoutMonitoringRequestsFollowEachOtherAtOnce)
{
    Recorder client;
    m.QueueRead(1, 5, &client);
    m.QueueRead(1, 6, &client);
    EXPECT_EQ(Step(), "01R00051");
    EXPECT_EQ(Step(), "01R00061");
}

TEST_F(CommManagerTurns, lostStationIsProbedAtCycleEndsOneAtATimeAndMoreSlowlyAfterMisses)
{
    m.SetLostProbeTiming({true, 300, 1500, 2});  // every 10 ticks, after two misses every 50
    Monitor({1});
    silent = {3, 4};
    Recorder network;
    m.WatchLostStation(3, 0, &network);
    m.WatchLostStation(4, 0, &network);
    std::vector<int> probeTicks;
    std::vector<int> stations;
    int probesOnLine = 0;
    for (int tick = 0; tick < 400; ++tick) {
        const std::string t = Step();
        if (t.size() >= 3 && (t.substr(0, 2) == "03" || t.substr(0, 2) == "04")) {
            EXPECT_EQ(t.substr(2), "R00001");
            probeTicks.push_back(tick);
            stations.push_back(std::stoi(t.substr(0, 2)));
        }
        const auto finals = std::count_if(network.replies.begin(), network.replies.end(),
                                          [](const CommReply& r) { return IsFinalError(r.error); });
        probesOnLine = static_cast<int>(probeTicks.size()) - static_cast<int>(finals);
        ASSERT_LE(probesOnLine, 1) << "one probe at a time, at tick " << tick;
    }
    // Both stations are asked in turn; a probe is one attempt, its miss an error 100.
    ASSERT_GE(probeTicks.size(), 6u);
    EXPECT_NE(stations[0], stations[1]);
    for (const CommReply& r : network.replies) {
        if (!IsFinalError(r.error))
            continue;
        EXPECT_EQ(r.error, kGiveUp);
        EXPECT_EQ(r.lastError, kTimeoutError);
        EXPECT_EQ(r.retries, 1);
    }
    EXPECT_GE(m.LostMisses(3), 2);
    // After the second miss of a station its next probe waits the slow interval.
    std::vector<int> ticksOf3;
    for (size_t i = 0; i < stations.size(); ++i)
        if (stations[i] == 3)
            ticksOf3.push_back(probeTicks[i]);
    ASSERT_GE(ticksOf3.size(), 3u);
    EXPECT_LT(ticksOf3[1] - ticksOf3[0], 30);
    EXPECT_GE(ticksOf3[2] - ticksOf3[1], 50);
    // The monitored station is still served all along.
    EXPECT_EQ(m.MonitorCount(1), 1);

    // Station 3 is back: its probe is answered, and the client hears it.
    silent.erase(3);
    network.replies.clear();
    for (int tick = 0; tick < 200 && network.replies.empty(); ++tick)
        Step();
    for (int tick = 0; tick < 200; ++tick) {
        Step();
        if (std::any_of(network.replies.begin(), network.replies.end(),
                        [](const CommReply& r) { return r.station == 3 && r.error == kNoError; }))
            break;
    }
    const auto answered =
        std::find_if(network.replies.begin(), network.replies.end(),
                     [](const CommReply& r) { return r.station == 3 && r.error == kNoError; });
    ASSERT_NE(answered, network.replies.end());
    EXPECT_EQ(answered->error, kNoError);
    EXPECT_TRUE(m.WatchingLost(3));  // until the client has identified it
    m.ForgetLostStation(3);
    m.ForgetLostStation(4);
    const size_t before = line->written.size();
    for (int tick = 0; tick < 200; ++tick)
        EXPECT_NE(Step().substr(0, 2), "03");
    EXPECT_GT(line->written.size(), before);
}

TEST_F(CommManagerTurns, probesStopWhenSwitchedOffOrTheClientIsGone)
{
    silent = {3};
    {
        Recorder gone;
        m.WatchLostStation(3, 0, &gone);
    }
    EXPECT_FALSE(m.WatchingLost(3));
    Recorder network;
    m.SetLostProbeTiming({false, 300, 300, 1});
    m.WatchLostStation(3, 0, &network);
    for (int tick = 0; tick < 100; ++tick)
        EXPECT_EQ(Step(), "");
}

TEST_F(CommManagerTurns, repliesThatAnswerNoRequestOfOursAreCounted)
{
    // Another master's exchange on an idle line.
    Feed(kx485::Frame("09R00051"));  // its request: not a reply, not counted
    Feed(kx485::BuildAck(9, 'R', std::vector<uint16_t>{1}));
    EXPECT_EQ(m.ForeignReplies(), 1u);

    Recorder client;
    m.QueueRead(1, 5, &client);
    m.Tick();
    Feed(line->LastText());                                   // our own echo
    Feed(kx485::BuildAck(9, 'R', std::vector<uint16_t>{2}));  // while we wait: someone else's
    EXPECT_EQ(m.ForeignReplies(), 2u);
    // Our station's answer of the wrong length is a damaged reply of ours, not a stranger's.
    for (int i = 0; i < 20 && client.replies.size() < 1; ++i)
        m.Tick();
    m.Tick();
    Feed(kx485::BuildAck(1, 'R', std::vector<uint16_t>{1, 2}));
    EXPECT_EQ(m.ForeignReplies(), 2u);
}

}  // namespace

TEST_F(CommManagerTurns, onALongLineASeriesOfRequestsStretchesTheCycleByAFewRequestsOnly)
{
    MonitorFullLine();
    Recorder editor;
    QueueSeries(33, 60, editor);
    const std::vector<std::string> sent = StepUntil([&] { return editor.replies.size() >= 60; }, 2000);
    ASSERT_EQ(editor.replies.size(), 60u);
    // Between two visits of a station: the 31 others and at most eight requests.
    std::map<std::string, size_t> lastVisit;
    size_t longest = 0;
    for (size_t i = 0; i < sent.size(); ++i) {
        if (sent[i].substr(2) != "Y")
            continue;
        const std::string station = sent[i].substr(0, 2);
        if (auto it = lastVisit.find(station); it != lastVisit.end())
            longest = std::max(longest, i - it->second);
        lastVisit[station] = i;
    }
    EXPECT_EQ(lastVisit.size(), 32u);
    EXPECT_GE(longest, 32u);
    EXPECT_LE(longest, 32u + 8u);
    // The series is still served in every cycle, not one request per cycle.
    EXPECT_LE(sent.size(), 60u + 32u * (60u / 8u + 1u));
}

TEST_F(CommManagerTurns, anUrgentReadGoesBeforeTheQueuedSeriesAndPastTheCyclesLimit)
{
    MonitorFullLine();
    Recorder editor, urgent;
    QueueSeries(33, 40, editor);
    // Into the cycle until its eight requests are used up: only monitor visits follow.
    while (editor.replies.size() < 8)
        Step();
    m.QueueUrgentRead(2, 0x0F, &urgent);
    const std::vector<std::string> sent = StepUntil([&] { return !urgent.replies.empty(); }, 10);
    ASSERT_EQ(urgent.replies.size(), 1u);
    EXPECT_LE(sent.size(), 2u);  // a monitor visit at most, then the urgent read
    EXPECT_EQ(sent.back(), "02R000F1");
    EXPECT_EQ(editor.replies.size(), 8u);
}
