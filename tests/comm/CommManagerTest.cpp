#include "FakePort.h"

#include <gtest/gtest.h>

#include <random>

using namespace vm;
using namespace vm::test;

namespace {

std::string Req(const std::string& text)
{
    return kx485::Frame(text);
}

class CommManagerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m.SetPortFactory([this] { return std::make_unique<FakePort>(line); });
        m.SetTrafficHandler([this](int kind) { traffic.push_back(kind); });
        ASSERT_EQ(m.Start(settings), 0);
    }

    void Feed(std::string_view bytes)
    {
        for (char c : bytes)
            m.ReceiveByte(static_cast<uint8_t>(c));
    }
    void Feed(const std::vector<uint8_t>& bytes)
    {
        for (uint8_t b : bytes)
            m.ReceiveByte(b);
    }
    void Ticks(int n)
    {
        for (int i = 0; i < n; ++i)
            m.Tick();
    }
    size_t Sent() const { return line->written.size(); }
    std::string Last() const { return line->LastText(); }

    std::shared_ptr<FakeLine> line = std::make_shared<FakeLine>();
    CommSettings settings;
    std::vector<int> traffic;
    CommManager m;
};

TEST_F(CommManagerTest, errorTextsCoverTheTableAndDefaultToUndefined)
{
    EXPECT_STREQ(CommManager::ErrorText(0), "No Error");
    EXPECT_STREQ(CommManager::ErrorText(2), "Sum Error");
    EXPECT_STREQ(CommManager::ErrorText(4), "Timeout Error");
    EXPECT_STREQ(CommManager::ErrorText(9), "DPRAM TimeOut Error");
    EXPECT_STREQ(CommManager::ErrorText(11), "CRC Error");
    EXPECT_STREQ(CommManager::ErrorText(13), "Modbus Exception Code");
    EXPECT_STREQ(CommManager::ErrorText(14), "Undefined Error");
    EXPECT_STREQ(CommManager::ErrorText(100), "Undefined Error");
    EXPECT_STREQ(CommManager::ErrorText(-1), "Undefined Error");
}

TEST_F(CommManagerTest, queuedReadIsSentAtTheNextTickAndItsReplyDelivered)
{
    Recorder client;
    m.QueueRead(1, 0x0005, &client);
    EXPECT_EQ(Sent(), 0u);  // never sent immediately
    m.Tick();
    ASSERT_EQ(Sent(), 1u);
    EXPECT_EQ(Last(),
              "\x05"
              "01R00051A9\x04");
    EXPECT_TRUE(m.IsWaiting());

    Feed(
        "\x06"
        "01R177082\x04");
    ASSERT_EQ(client.replies.size(), 1u);
    const CommReply& r = client.replies[0];
    EXPECT_EQ(r.error, 0);
    EXPECT_EQ(r.station, 1);
    EXPECT_EQ(r.command, 'R');
    EXPECT_EQ(r.count, 1);
    EXPECT_EQ(r.addresses[0], 5u);
    EXPECT_EQ(r.values[0], 0x1770u);
    EXPECT_EQ(m.QueueLength(), 0u);
    EXPECT_EQ(traffic, (std::vector<int>{1, 2}));
}

TEST_F(CommManagerTest, writeMasksTheValueAndReportsTheEcho)
{
    Recorder client;
    m.QueueWrite(1, 0x0005, 0x10BB8, &client);
    m.Tick();
    EXPECT_EQ(Last(), Req("01W000510BB8"));
    Feed(kx485::BuildAck(1, 'W', std::vector<uint16_t>{0x0BB8}));
    ASSERT_EQ(client.replies.size(), 1u);
    EXPECT_EQ(client.replies[0].error, 0);
    EXPECT_EQ(client.replies[0].values[0], 0x0BB8u);
}

TEST_F(CommManagerTest, oneFramePerTickAndRequestsInOrder)
{
    Recorder client;
    m.QueueRead(1, 1, &client);
    m.QueueRead(2, 2, &client);
    m.Tick();
    Feed(kx485::BuildAck(1, 'R', std::vector<uint16_t>{7}));
    EXPECT_EQ(Sent(), 1u);  // the next request waits for the next tick
    m.Tick();
    ASSERT_EQ(Sent(), 2u);
    EXPECT_EQ(Last(), Req("02R00021"));
}

TEST_F(CommManagerTest, timeOutIsDeclaredOnThe34thTickAfterSending)
{
    Recorder client;
    m.QueueRead(1, 5, &client);
    m.Tick();
    Ticks(33);
    EXPECT_TRUE(client.replies.empty());
    m.Tick();
    ASSERT_EQ(client.replies.size(), 1u);
    EXPECT_EQ(client.replies[0].error, kTimeoutError);
    EXPECT_EQ(client.replies[0].retries, 1);
    EXPECT_EQ(traffic.back(), CommManager::kAttemptFailed);
    // The repetition goes out one tick later, the same frame.
    m.Tick();
    ASSERT_EQ(Sent(), 2u);
    EXPECT_EQ(line->written[0], line->written[1]);
}

TEST_F(CommManagerTest, silentStationGivesFourFourFourThenHundredWithRetryCountTwo)
{
    settings.retryCount = 2;
    ASSERT_EQ(m.Start(settings), 0);
    Recorder client;
    m.QueueRead(7, 5, &client);
    Ticks(400);
    std::vector<int> errors;
    for (const CommReply& r : client.replies)
        errors.push_back(r.error);
    EXPECT_EQ(errors, (std::vector<int>{4, 4, 4, 100}));
    EXPECT_EQ(client.replies.back().lastError, kTimeoutError);
    EXPECT_EQ(client.replies.back().retries, 3);
    EXPECT_EQ(Sent(), 3u);  // retry count + 1 attempts
    EXPECT_EQ(m.QueueLength(), 0u);
}

TEST_F(CommManagerTest, failedAttemptsAreRepeatedUntilOneSucceeds)
{
    Recorder client;
    m.QueueRead(1, 5, &client);
    m.Tick();
    Feed(kx485::BuildNak(1, 'R', "IA"));
    m.Tick();
    Feed(
        "\x06"
        "01R177083\x04");  // bad checksum
    m.Tick();
    Feed(kx485::BuildAck(1, 'R', std::vector<uint16_t>{0x1234}));
    ASSERT_EQ(client.replies.size(), 3u);
    EXPECT_EQ(client.replies[0].error, kAddressRangeError);
    EXPECT_EQ(client.replies[1].error, kSumError);
    EXPECT_EQ(client.replies[1].retries, 2);
    EXPECT_EQ(client.replies[2].error, 0);
    EXPECT_EQ(client.replies[2].retries, 0);
    EXPECT_EQ(client.replies[2].values[0], 0x1234u);
    EXPECT_EQ(Sent(), 3u);
}

TEST_F(CommManagerTest, replySplitAtAnyPointAcrossTicksIsTheSame)
{
    const std::string reply =
        "\x06"
        "01R177082\x04";
    for (size_t split = 0; split <= reply.size(); ++split) {
        Recorder client;
        m.QueueRead(1, 5, &client);
        m.Tick();
        Feed(reply.substr(0, split));
        m.Tick();
        m.Tick();
        Feed(reply.substr(split));
        ASSERT_EQ(client.replies.size(), 1u) << "split " << split;
        EXPECT_EQ(client.replies[0].error, 0) << "split " << split;
        EXPECT_EQ(client.replies[0].values[0], 0x1770u);
    }
}

TEST_F(CommManagerTest, bytesWithNothingPendingAreIgnored)
{
    Recorder client;
    Feed(
        "\x06"
        "01R177082\x04");
    Feed(std::string(500, '\x04'));
    m.QueueRead(1, 5, &client);
    m.Tick();
    Feed(
        "\x06"
        "01R177082\x04");
    ASSERT_EQ(client.replies.size(), 1u);
    EXPECT_EQ(client.replies[0].error, 0);
    // A late duplicate after completion changes nothing.
    Feed(
        "\x06"
        "01R177082\x04");
    EXPECT_EQ(client.replies.size(), 1u);
}

TEST_F(CommManagerTest, shortFrameEndingInEotIsAFrameError)
{
    Recorder client;
    m.QueueRead(1, 5, &client);
    m.Tick();
    Feed(
        "\x06"
        "01\x04");
    ASSERT_EQ(client.replies.size(), 1u);
    EXPECT_EQ(client.replies[0].error, kFrameError);
}

TEST_F(CommManagerTest, echoOfTheRequestIsNotTakenForTheReply)
{
    Recorder client;
    m.QueueRead(1, 5, &client);
    m.Tick();
    Feed(Last());  // the converter echoes what we sent
    EXPECT_TRUE(client.replies.empty());
    Feed(
        "\x06"
        "01R177082\x04");
    ASSERT_EQ(client.replies.size(), 1u);
    EXPECT_EQ(client.replies[0].error, 0);
    EXPECT_EQ(client.replies[0].values[0], 0x1770u);
}

// Monitor cycle in KX485 mode.
class MonitorTest : public CommManagerTest {
protected:
    // Answers the frame now on the line as a healthy station holding value(address) would.
    void Answer(const std::function<uint16_t(uint16_t)>& value = [](uint16_t a) -> uint16_t {
        return a * 10;
    })
    {
        const std::string sent = Last();
        auto request = kx485::ParseRequest(Bytes(sent));
        ASSERT_TRUE(request.has_value()) << sent;
        const int s = request->station;
        switch (request->command) {
        case 'X':
            registered[s] = request->addresses;
            Feed(kx485::BuildAck(s, 'X'));
            break;
        case 'Y': {
            std::vector<uint16_t> words;
            for (uint16_t a : registered[s])
                words.push_back(value(a));
            Feed(kx485::BuildAck(s, 'Y', words));
            break;
        }
        case 'R':
            Feed(kx485::BuildAck(s, 'R', std::vector<uint16_t>{value(request->address)}));
            break;
        case 'W':
            Feed(kx485::BuildAck(s, 'W', std::vector<uint16_t>{request->value}));
            break;
        }
    }
    // One tick and, if a frame went out, its answer. Returns the frame's text.
    std::string Step()
    {
        const size_t before = Sent();
        m.Tick();
        if (Sent() == before)
            return {};
        std::string text = Last();
        Answer();
        return text.substr(1, text.size() - 4);
    }
    // Monitors the addresses of station 1 alone, for the listeners given.
    void WatchStationOne(std::initializer_list<Recorder*> listeners, std::vector<uint16_t> addresses = {5})
    {
        m.AddMonitor(1, addresses);
        for (Recorder* r : listeners)
            m.AddListener(1, r);
        m.SetPollRange(1, 1);
    }
    std::map<int, std::vector<uint16_t>> registered;
};

TEST_F(MonitorTest, registersWithXThenReadsAllWithY)
{
    Recorder listener;
    WatchStationOne({&listener}, {5, 10});
    EXPECT_EQ(m.RegisterText(1), "01X20005000A");
    EXPECT_EQ(Req(m.RegisterText(1)),
              "\x05"
              "01X20005000A81\x04");  // 8 + 4n bytes
    EXPECT_EQ(Step(), "01X20005000A");
    EXPECT_EQ(Step(), "01Y");
    EXPECT_EQ(Step(), "01Y");
    ASSERT_EQ(listener.monitors.size(), 3u);
    EXPECT_EQ(listener.monitors[0].command, 'X');
    EXPECT_EQ(listener.monitors[0].count, 0);
    EXPECT_EQ(listener.monitors[1].command, 'Y');
    EXPECT_EQ(listener.monitors[1].count, 2);
    EXPECT_EQ(listener.monitors[1].addresses[1], 10u);
    EXPECT_EQ(listener.monitors[1].values[0], 50u);
    EXPECT_EQ(listener.monitors[1].values[1], 100u);
}

TEST_F(MonitorTest, ninthAddressIsReadSinglyAfterEachY)
{
    Recorder listener;
    std::vector<uint16_t> addrs{1, 2, 3, 4, 5, 6, 7, 8};
    m.AddMonitor(1, addrs);
    m.SetPollRange(1, 1);
    m.AddListener(1, &listener);
    const std::string eight = m.RegisterText(1);
    const uint16_t ninth[] = {0x20};
    m.AddMonitor(1, ninth);
    EXPECT_EQ(m.RegisterText(1), eight);  // only the first eight are registered
    EXPECT_EQ(eight, "01X800010002000300040005000600070008");
    // An 'X' covers the first eight like a 'Y' does, so the ninth follows it too.
    EXPECT_EQ(Step(), eight);
    EXPECT_EQ(Step(), "01R00201");
    EXPECT_EQ(Step(), "01Y");
    EXPECT_EQ(Step(), "01R00201");
    EXPECT_EQ(Step(), "01Y");
    EXPECT_EQ(listener.monitors[1].values[0], 0x20u * 10);
    EXPECT_EQ(listener.monitors[2].count, 8);
}

TEST_F(MonitorTest, stationsAreVisitedInTurnWithinThePollRange)
{
    const uint16_t a[] = {5};
    m.AddMonitor(2, a);
    m.AddMonitor(4, a);
    m.AddMonitor(9, a);  // outside the range: never polled
    m.SetPollRange(2, 5);
    std::vector<std::string> texts;
    for (int i = 0; i < 8; ++i)
        texts.push_back(Step());
    EXPECT_EQ(texts,
              (std::vector<std::string>{"02X10005", "04X10005", "02Y", "04Y", "02Y", "04Y", "02Y", "04Y"}));
    // A request to the unpolled station is still served, ahead of monitor traffic.
    m.QueueRead(9, 3);
    EXPECT_EQ(Step(), "09R00031");
}

TEST_F(MonitorTest, pollRangeStartingAboveOneSkipsLowerStations)
{
    const uint16_t a[] = {5};
    m.AddMonitor(1, a);
    m.AddMonitor(3, a);
    m.SetPollRange(3, 3);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(Step().substr(0, 2), "03");
    // Shrinking the range below the current station moves on to the new range.
    m.SetPollRange(1, 1);
    EXPECT_EQ(Step().substr(0, 2), "01");
}

TEST_F(MonitorTest, noPollRangeOrNoMonitorsMeansAnIdleLine)
{
    const uint16_t a[] = {5};
    m.AddMonitor(1, a);
    Ticks(5);
    EXPECT_EQ(Sent(), 0u);
    m.SetPollRange(1, 1);
    m.RemoveMonitor(1, a);
    Ticks(5);
    EXPECT_EQ(Sent(), 0u);
}

TEST_F(MonitorTest, monitorAddressesAreReferenceCounted)
{
    const uint16_t both[] = {5, 6};
    const uint16_t five[] = {5};
    const uint16_t six[] = {6};
    m.AddMonitor(3, both);
    m.AddMonitor(3, five);  // a second window wants address 5 too
    EXPECT_EQ(m.MonitorRefCount(3, 5), 2);
    m.SetPollRange(3, 3);
    EXPECT_EQ(Step(), "03X200050006");
    EXPECT_EQ(Step(), "03Y");

    m.RemoveMonitor(3, five);
    EXPECT_EQ(m.MonitorAddresses(3), (std::vector<uint16_t>{5, 6}));
    EXPECT_EQ(Step(), "03Y");  // unchanged: no new registration

    m.RemoveMonitor(3, five);
    EXPECT_EQ(m.MonitorAddresses(3), (std::vector<uint16_t>{6}));
    EXPECT_EQ(Step(), "03X10006");
    EXPECT_EQ(Step(), "03Y");

    m.RemoveMonitor(3, six);
    m.RemoveMonitor(3, six);  // unknown addresses are ignored
    EXPECT_EQ(m.MonitorCount(3), 0);
    EXPECT_EQ(m.RegisterText(3), "");
    EXPECT_EQ(Step(), "");  // station 3 is no longer visited
}

TEST_F(MonitorTest, requestQueuedWhileMonitorFailsWaitsForItsEnd)
{
    Recorder listener, client;
    WatchStationOne({&listener});
    EXPECT_EQ(Step(), "01X10005");
    m.Tick();  // 'Y' goes out and is not answered
    m.QueueRead(2, 7, &client);
    Ticks(34);  // time-out
    m.Tick();   // the repetition goes before the request
    EXPECT_EQ(Last(), Req("01Y"));
    Answer();
    EXPECT_EQ(listener.monitors.back().error, 0);
    EXPECT_EQ(Step(), "02R00071");
    EXPECT_EQ(client.replies.size(), 1u);
}

TEST_F(MonitorTest, requestQueuedWhileMonitorFailsGoesAfterTheGiveUp)
{
    Recorder listener, client;
    WatchStationOne({&listener});
    m.Tick();  // 'X' unanswered
    m.QueueRead(2, 7, &client);
    while (listener.monitors.empty() || listener.monitors.back().error != kGiveUp)
        m.Tick();
    // Four 'X' attempts and nothing else; the tick that gives up sends the request.
    ASSERT_EQ(Sent(), 5u);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(line->written[i], Bytes(Req("01X10005")));
    EXPECT_EQ(Last(), Req("02R00071"));
}

TEST_F(MonitorTest, givingUpDropsTheStationButListenersMayRegisterAgain)
{
    Recorder quitter, stayer;
    WatchStationOne({&quitter, &stayer});
    const uint16_t a[] = {5};
    stayer.onMonitor = [&](const CommReply& r) {
        if (r.error == kGiveUp) {
            m.AddMonitor(1, a);
            m.AddListener(1, &stayer);
        }
    };
    Ticks(4 * 35 + 1);
    ASSERT_FALSE(quitter.monitors.empty());
    std::vector<int> errors;
    for (const CommReply& r : quitter.monitors)
        errors.push_back(r.error);
    EXPECT_EQ(errors, (std::vector<int>{4, 4, 4, 4, 100}));
    EXPECT_EQ(quitter.monitors.back().lastError, kTimeoutError);
    EXPECT_FALSE(m.IsListener(1, &quitter));
    EXPECT_TRUE(m.IsListener(1, &stayer));
    EXPECT_EQ(m.MonitorAddresses(1), (std::vector<uint16_t>{5}));
    // The new registration goes out as a fresh 'X'.
    m.Tick();
    EXPECT_EQ(Last(), Req("01X10005"));
}

TEST_F(MonitorTest, failedXIsSentAgainBeforeAnyY)
{
    WatchStationOne({});
    m.Tick();
    Feed(kx485::BuildNak(1, 'X', "FE"));
    m.Tick();
    EXPECT_EQ(Last(), Req("01X10005"));
    Answer();
    // The failure asked for a fresh registration; no 'Y' before it.
    EXPECT_EQ(Step(), "01X10005");
    EXPECT_EQ(Step(), "01Y");
}

TEST_F(MonitorTest, repetitionIsAbandonedWhenNobodyMonitorsTheStationAnyMore)
{
    Recorder listener, client;
    WatchStationOne({&listener});
    listener.onMonitor = [&](const CommReply& r) {
        const uint16_t a[] = {5};
        if (r.error != 0)
            m.RemoveMonitor(1, a);
    };
    m.Tick();
    Feed(kx485::BuildNak(1, 'X', "TO"));
    m.QueueRead(1, 9, &client);
    m.Tick();
    EXPECT_EQ(Last(), Req("01R00091"));
}

TEST_F(MonitorTest, graphWatchDeliversOnlyToGraphViewsAndTheMainWindow)
{
    Recorder other, graph(CommClient::Role::GraphMonitor), main(CommClient::Role::MainWindow);
    WatchStationOne({&other, &graph, &main});
    m.SetGraphWatch(true);
    Step();
    Step();
    EXPECT_TRUE(other.monitors.empty());
    EXPECT_EQ(graph.monitors.size(), 2u);
    EXPECT_EQ(main.monitors.size(), 2u);
    EXPECT_TRUE(m.IsListener(1, &other));  // still registered
    m.SetGraphWatch(false);
    Step();
    EXPECT_EQ(other.monitors.size(), 1u);
}

TEST_F(MonitorTest, listenersAndDropStation)
{
    Recorder a, b;
    EXPECT_TRUE(m.AddListener(4, &a));
    EXPECT_FALSE(m.AddListener(4, &a));
    EXPECT_TRUE(m.AddListener(4, &b));
    EXPECT_TRUE(m.RemoveListener(4, &a));
    EXPECT_FALSE(m.RemoveListener(4, &a));
    const uint16_t addr[] = {5};
    m.AddMonitor(4, addr);
    m.DropStation(4);
    EXPECT_FALSE(m.IsListener(4, &b));
    EXPECT_EQ(m.MonitorCount(4), 0);
    EXPECT_EQ(m.RegisterText(4), "");
    m.SetPollRange(1, 10);
    Ticks(3);
    EXPECT_EQ(Sent(), 0u);
    EXPECT_EQ(m.AddMonitor(300, addr), 0);  // out of range station ids are refused
    EXPECT_FALSE(m.AddListener(-1, &a));
}

// Clients that change the manager while being notified.
TEST_F(MonitorTest, listenerMayDestroyAnotherOrUnregisterDuringNotification)
{
    auto victim = std::make_unique<Recorder>();
    Recorder first, last;
    WatchStationOne({&first, victim.get(), &last});
    first.onMonitor = [&](const CommReply&) {
        victim.reset();
        m.RemoveListener(1, &last);
    };
    Step();
    EXPECT_EQ(first.monitors.size(), 1u);
    EXPECT_TRUE(last.monitors.empty());
    Step();
    EXPECT_EQ(first.monitors.size(), 2u);
}

TEST_F(MonitorTest, listenerMayDestroyItselfDuringNotification)
{
    auto* self = new Recorder;
    Recorder after;
    WatchStationOne({self, &after});
    self->onMonitor = [self](const CommReply&) { delete self; };
    Step();
    EXPECT_EQ(after.monitors.size(), 1u);
    Step();
    EXPECT_EQ(after.monitors.size(), 2u);
}

TEST_F(CommManagerTest, requestOfADestroyedClientStillRunsButNotifiesNobody)
{
    Recorder survivor;
    {
        Recorder gone;
        m.QueueRead(1, 5, &gone);
        m.QueueRead(1, 6, &survivor);
    }
    m.Tick();
    EXPECT_EQ(Last(), Req("01R00051"));
    Feed(kx485::BuildAck(1, 'R', std::vector<uint16_t>{1}));
    m.Tick();
    Feed(kx485::BuildAck(1, 'R', std::vector<uint16_t>{2}));
    ASSERT_EQ(survivor.replies.size(), 1u);
    EXPECT_EQ(survivor.replies[0].addresses[0], 6u);
}

TEST_F(CommManagerTest, requestQueuedFromAReplyHandlerGoesBehindTheOthers)
{
    Recorder client;
    client.onReply = [&](const CommReply& r) {
        if (r.addresses[0] == 1 && r.error == 0)
            m.QueueRead(1, 3, &client);
    };
    m.QueueRead(1, 1, &client);
    m.QueueRead(1, 2, &client);
    std::vector<std::string> texts;
    for (int i = 0; i < 3; ++i) {
        m.Tick();
        texts.push_back(Last());
        Feed(kx485::BuildAck(1, 'R', std::vector<uint16_t>{0}));
    }
    EXPECT_EQ(texts, (std::vector<std::string>{Req("01R00011"), Req("01R00021"), Req("01R00031")}));
}

TEST_F(CommManagerTest, clientOutlivingItsManagerOrMovingToAnotherIsSafe)
{
    auto client = std::make_unique<Recorder>();
    {
        CommManager local;
        local.SetPortFactory([this] { return std::make_unique<FakePort>(line); });
        local.AddListener(1, client.get());
        local.QueueRead(1, 1, client.get());
    }
    // Registering with another manager and dying there must not reach the destroyed one (ASan).
    EXPECT_TRUE(m.AddListener(1, client.get()));
    m.QueueRead(1, 1, client.get());
    const CommClient* gone = client.get();
    client.reset();
    EXPECT_FALSE(m.IsListener(1, gone));
    m.Tick();
    Feed(kx485::BuildAck(1, 'R', std::vector<uint16_t>{1}));
    EXPECT_EQ(m.QueueLength(), 0u);
}

TEST_F(CommManagerTest, portThatCannotOpenMakesStartReturnTwoAndSendsNothing)
{
    Recorder client;
    line->failOpen = true;
    EXPECT_EQ(m.Start(settings), 2);
    EXPECT_FALSE(m.IsStarted());
    m.QueueRead(1, 5, &client);
    Ticks(5);
    EXPECT_EQ(Sent(), 0u);
    line->failOpen = false;
    EXPECT_EQ(m.Start(settings), 0);
    m.Tick();
    EXPECT_EQ(Last(), Req("01R00051"));  // the queue survived
}

TEST_F(CommManagerTest, startTakesTimeOutAndRetriesAndResendsAnInterruptedRequest)
{
    Recorder client;
    settings.timeoutMs = 3000;
    settings.retryCount = 5;
    settings.baudRate = 19200;
    ASSERT_EQ(m.Start(settings), 0);
    EXPECT_EQ(m.TimeoutTicks(), 100);
    EXPECT_EQ(m.RetryLimit(), 5);
    EXPECT_EQ(line->settings.baudRate, 19200);
    m.QueueRead(1, 5, &client);
    m.Tick();
    Feed(kx485::BuildNak(1, 'R', "IF"));
    ASSERT_EQ(m.Start(settings), 0);
    m.Tick();
    EXPECT_EQ(Sent(), 2u);
    Feed(kx485::BuildAck(1, 'R', std::vector<uint16_t>{9}));
    EXPECT_EQ(client.replies.back().retries, 0);
    EXPECT_EQ(client.replies.back().error, 0);
}

// Modbus mode.
class ModbusManagerTest : public MonitorTest {
protected:
    void SetUp() override
    {
        settings.protocolMode = kModbusRtu;
        MonitorTest::SetUp();
    }
    void AnswerModbus(uint16_t value)
    {
        auto req = modbus::ParseRequest(line->written.back());
        ASSERT_TRUE(req.has_value());
        if (req->function == modbus::kReadInput)
            Feed(modbus::BuildReadReply(req->station, value));
        else
            Feed(modbus::BuildWriteReply(req->station, req->reg, req->value));
    }
};

TEST_F(ModbusManagerTest, readAndWriteUseFunctionsFourAndSix)
{
    Recorder client;
    m.QueueRead(1, 1, &client);
    m.Tick();
    EXPECT_EQ(line->written.back(), (std::vector<uint8_t>{0x01, 0x04, 0x00, 0x00, 0x00, 0x01, 0x31, 0xCA}));
    Feed(std::vector<uint8_t>{0x01, 0x04, 0x02, 0x17, 0x70, 0xB7, 0x24});
    ASSERT_EQ(client.replies.size(), 1u);
    EXPECT_EQ(client.replies[0].values[0], 0x1770u);

    m.QueueWrite(1, 6, 2, &client);
    m.Tick();
    EXPECT_EQ(line->written.back(), (std::vector<uint8_t>{0x01, 0x06, 0x00, 0x05, 0x00, 0x02, 0x18, 0x0A}));
    AnswerModbus(0);
    EXPECT_EQ(client.replies.back().error, 0);
    EXPECT_EQ(client.replies.back().command, 'W');
    EXPECT_EQ(client.replies.back().values[0], 2u);
}

TEST_F(ModbusManagerTest, refusedWriteEndsAtOnceWithOneReplyAndNoRepetition)
{
    Recorder client;
    m.QueueWrite(1, 0xA101, 7000, &client);
    m.QueueRead(1, 1, &client);
    m.Tick();
    ASSERT_EQ(Sent(), 1u);
    Feed(modbus::BuildException(1, modbus::kWriteSingle, 3));
    ASSERT_EQ(client.replies.size(), 1u);
    EXPECT_EQ(client.replies[0].error, ModbusExceptionError(3));
    EXPECT_STREQ(CommManager::ErrorText(client.replies[0].error), "Modbus Exception 3 (Illegal Data Value)");
    EXPECT_EQ(client.replies[0].command, 'W');
    EXPECT_EQ(client.replies[0].retries, 0);
    EXPECT_FALSE(m.IsWaiting());
    EXPECT_EQ(m.QueueLength(), 1u);
    EXPECT_EQ(traffic.back(), CommManager::kReplyAccepted);

    // The next tick serves the read behind it, not the write again.
    m.Tick();
    auto next = modbus::ParseRequest(line->written.back());
    ASSERT_TRUE(next.has_value());
    EXPECT_EQ(next->function, modbus::kReadInput);
    AnswerModbus(0x42);
    ASSERT_EQ(client.replies.size(), 2u);
    EXPECT_EQ(client.replies[1].error, kNoError);
    Ticks(200);
    EXPECT_EQ(Sent(), 2u);
    EXPECT_EQ(client.replies.size(), 2u);
}

TEST_F(ModbusManagerTest, exceptionAfterFailedAttemptsEndsTheRequestWithoutGivingUp)
{
    settings.retryCount = 2;
    ASSERT_EQ(m.Start(settings), 0);
    Recorder client;
    m.QueueRead(1, 0x7001, &client);
    m.Tick();
    auto bad = modbus::BuildReadReply(1, 5);
    bad.back() ^= 0xFF;
    Feed(bad);
    m.Tick();
    Feed(bad);
    m.Tick();  // third and last attempt
    Feed(modbus::BuildException(1, modbus::kReadInput, 2));
    ASSERT_EQ(client.replies.size(), 3u);
    EXPECT_EQ(client.replies[0].error, kCrcError);
    EXPECT_EQ(client.replies[1].error, kCrcError);
    EXPECT_EQ(client.replies[2].error, ModbusExceptionError(2));
    EXPECT_EQ(client.replies[2].retries, 2);  // the failed attempts before the answer
    Ticks(5);
    EXPECT_EQ(client.replies.size(), 3u);  // no 100 follows
    EXPECT_EQ(Sent(), 3u);
    EXPECT_EQ(m.QueueLength(), 0u);
}

TEST_F(ModbusManagerTest, damagedOrForeignExceptionTimesOutAndIsRepeatedAsBefore)
{
    Recorder client;
    m.QueueRead(1, 1, &client);
    m.Tick();
    auto damaged = modbus::BuildException(1, modbus::kReadInput, 2);
    damaged.back() ^= 0x01;
    Feed(damaged);
    EXPECT_TRUE(client.replies.empty());
    Ticks(34);
    ASSERT_EQ(client.replies.size(), 1u);
    EXPECT_EQ(client.replies[0].error, kTimeoutError);

    m.Tick();  // repetition: the leftover bytes must not shift the new reply
    Feed(modbus::BuildException(2, modbus::kReadInput, 2));
    Ticks(34);
    ASSERT_EQ(client.replies.size(), 2u);
    EXPECT_EQ(client.replies[1].error, kTimeoutError);

    m.Tick();
    AnswerModbus(0x42);
    EXPECT_EQ(client.replies.back().error, 0);
    EXPECT_EQ(client.replies.back().values[0], 0x42u);
}

TEST_F(ModbusManagerTest, refusedMonitorAddressKeepsTheStationAndThePollMovesOn)
{
    Recorder listener;
    const std::vector<uint16_t> a{5, 0x7001};
    WatchStationOne({&listener}, a);
    // Far more refusals than the retry limit would allow failed attempts.
    for (int i = 0; i < 20; ++i) {
        m.Tick();
        auto req = modbus::ParseRequest(line->written.back());
        ASSERT_TRUE(req.has_value());
        if (req->reg == 0x7000)
            Feed(modbus::BuildException(1, modbus::kReadInput, 2));
        else
            AnswerModbus(7);
    }
    ASSERT_EQ(listener.monitors.size(), 20u);
    for (size_t i = 0; i < listener.monitors.size(); ++i) {
        const CommReply& r = listener.monitors[i];
        EXPECT_EQ(r.addresses[0], a[i % 2]);
        EXPECT_EQ(r.error, i % 2 ? ModbusExceptionError(2) : kNoError);
        EXPECT_EQ(r.retries, 0);
    }
    EXPECT_EQ(m.MonitorCount(1), 2);
    EXPECT_TRUE(m.IsListener(1, &listener));
}

TEST_F(ModbusManagerTest, monitorReadsEveryAddressWithItsOwnRequest)
{
    Recorder listener;
    WatchStationOne({&listener}, {5, 10, 9});
    std::vector<int> registers;
    for (int i = 0; i < 6; ++i) {
        m.Tick();
        auto req = modbus::ParseRequest(line->written.back());
        ASSERT_TRUE(req.has_value());
        registers.push_back(req->reg);
        AnswerModbus(static_cast<uint16_t>(req->reg + 1));
    }
    EXPECT_EQ(registers, (std::vector<int>{4, 9, 8, 4, 9, 8}));
    ASSERT_EQ(listener.monitors.size(), 6u);
    EXPECT_EQ(listener.monitors[1].addresses[0], 10u);
    EXPECT_EQ(listener.monitors[1].values[0], 10u);
}

TEST_F(ModbusManagerTest, switchingModesResetsThePollAndReRegistersOnReturn)
{
    const uint16_t a[] = {5, 6};
    m.AddMonitor(1, a);
    m.AddMonitor(2, a);
    m.SetPollRange(1, 2);
    m.Tick();
    AnswerModbus(1);  // station 1, step 1 next

    settings.protocolMode = kKx485;
    ASSERT_EQ(m.Start(settings), 0);
    EXPECT_EQ(Step(), "01X200050006");
    EXPECT_EQ(Step(), "02X200050006");
    EXPECT_EQ(Step(), "01Y");

    settings.protocolMode = kModbusRtu;
    ASSERT_EQ(m.Start(settings), 0);
    m.Tick();
    auto req = modbus::ParseRequest(line->written.back());
    ASSERT_TRUE(req.has_value());
    EXPECT_EQ(req->station, 1);  // the poll starts over
    EXPECT_EQ(req->reg, 4);
    AnswerModbus(0);

    settings.protocolMode = kKx485;
    ASSERT_EQ(m.Start(settings), 0);
    EXPECT_EQ(Step(), "01X200050006");
    EXPECT_EQ(Step(), "02X200050006");
}

TEST_F(CommManagerTest, randomRepliesNeverBreakTheManager)
{
    std::mt19937 rng(1234);
    Recorder client;
    for (int mode : {kKx485, kModbusRtu}) {
        settings.protocolMode = mode;
        ASSERT_EQ(m.Start(settings), 0);
        const uint16_t a[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
        m.AddMonitor(1, a);
        m.AddListener(1, &client);
        m.SetPollRange(1, 1);
        for (int round = 0; round < 3000; ++round) {
            if (round % 7 == 0)
                m.QueueRead(1, static_cast<uint16_t>(rng()), &client);
            m.Tick();
            const int n = static_cast<int>(rng() % 400);
            for (int i = 0; i < n; ++i) {
                // Favour the bytes that drive the framing.
                static constexpr uint8_t kSpecial[] = {0x04, 0x06, 0x15, 0x05, '0', '1', 'R', 'Y'};
                m.ReceiveByte(rng() % 3 == 0 ? kSpecial[rng() % 8] : static_cast<uint8_t>(rng()));
            }
        }
    }
    EXPECT_GT(client.replies.size() + client.monitors.size(), 100u);
    for (const CommReply& r : client.monitors)
        EXPECT_LE(r.count, 8);
}

}  // namespace

namespace {

TEST_F(CommManagerTest, healthTimesRepliesOnTheManagersClockWhenThePortCannot)
{
    int64_t nowUs = 5'000'000;
    m.SetClock([&] { return nowUs; });
    Recorder client;
    m.QueueRead(1, 0x0005, &client);
    m.QueueRead(1, 0x0005, &client);
    m.Tick();
    nowUs += 12'345;
    Feed(kx485::Frame("02R1770", kx485::kAck));  // another station's answer
    m.Tick();                                    // the repetition goes out now
    nowUs += 7'000;
    Feed(
        "\x06"
        "01R177082\x04");
    m.Tick();
    nowUs += 3'000;
    Feed(
        "\x06"
        "01R177082\x04");

    const StationHealth& h = m.Health(1);
    EXPECT_EQ(h.requests, 2u);
    EXPECT_EQ(h.attempts, 3u);
    EXPECT_EQ(h.repetitions, 1u);
    EXPECT_EQ(h.frameErrors, 1u);
    EXPECT_EQ(h.replies, 2u);
    EXPECT_EQ(h.timed, 2u);
    EXPECT_EQ(h.replyLastUs, 3'000);
    EXPECT_EQ(h.replyMaxUs, 7'000);
    EXPECT_EQ(h.ReplyMeanUs(), 5'000);
    EXPECT_EQ(m.Health(2).attempts, 0u);
}

TEST(StationHealth, refusalNamesCarryTheNakLettersOrTheExceptionCode)
{
    EXPECT_EQ(RejectionName(kAddressRangeError), "NAK IA");
    EXPECT_EQ(RejectionName(kFrameError), "NAK FE");
    EXPECT_EQ(RejectionName(kUndefinedError), "NAK");
    EXPECT_EQ(RejectionName(ModbusExceptionError(11)), "Ex 11");
    for (char a : {'I', 'W', 'F', 'T', 'D'}) {
        for (char b : {'F', 'A', 'D', 'M', 'E', 'O'}) {
            if (const int error = kx485::NakError(a, b); error != kUndefinedError) {
                EXPECT_EQ(kx485::NakLetters(error), std::string({a, b}));
            }
        }
    }
}

}  // namespace
