// What goes to the broker: the broker's URL, the topics and messages, the state's pace, and the
// bounded queue of a publisher whose broker is away.
#include "catalogue/Registers.h"
#include "publish/DriveFeed.h"
#include "publish/MqttOptions.h"
#include "publish/MqttPublisher.h"
#include "tests/support/Loopback.h"

#include <gtest/gtest.h>

using namespace vm;

namespace {

class Collected : public PublishSink {
public:
    void Publish(PublishMessage m) override { messages.push_back(std::move(m)); }
    std::vector<PublishMessage> messages;
};

StationRecord Drive(int id)
{
    StationRecord r;
    r.station = id;
    r.present = r.connected = 1;
    r.model = kModelQmB20X;
    r.capacity = 0x14;
    r.version = 0x0104;
    r.timeScale = 100;
    return r;
}

}  // namespace

TEST(MqttOptions, urlsGiveHostPortTlsAndCredentials)
{
    const auto plain = ParseMqttUrl("mqtt://broker.plant");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain.Value().host, "broker.plant");
    EXPECT_EQ(plain.Value().port, 1883);
    EXPECT_FALSE(plain.Value().tls);
    const auto tls = ParseMqttUrl("mqtts://ops:s3cr:t@[fd00::5]:9883/");
    ASSERT_TRUE(tls);
    const MqttOptions& o = tls.Value();
    EXPECT_TRUE(o.tls);
    EXPECT_EQ(o.host, "fd00::5");
    EXPECT_EQ(o.port, 9883);
    EXPECT_EQ(o.user, "ops");
    EXPECT_EQ(o.password, "s3cr:t");
    EXPECT_EQ(MqttUrl(o), "mqtts://ops@[fd00::5]:9883");
    EXPECT_EQ(ParseMqttUrl("mqtts://h").Value().port, 8883);
    for (const char* bad :
         {"tcp://h:1", "mqtt://", "mqtt://h:0", "mqtt://h:", "mqtt://:pw@h", "mqtt://a b", "mqtt://::1:5"}) {
        const auto result = ParseMqttUrl(bad);
        EXPECT_FALSE(result) << bad;
        EXPECT_NE(result.Text().find("mqtt://[USER[:PASSWORD]@]HOST[:PORT]"), std::string::npos)
            << result.Text();
    }
}

TEST(MqttOptions, aPortsNameBecomesOneTopicLevel)
{
    EXPECT_EQ(LineTopicName("/dev/ttyUSB0"), "ttyUSB0");
    EXPECT_EQ(LineTopicName("rfc2217://10.0.0.5:4001"), "10.0.0.5_4001");
    EXPECT_EQ(LineTopicName("tcp://gw/+#x:1"), "gw___x_1");
    EXPECT_EQ(LineTopicName("/dev/"), "line");
}

TEST(DriveFeed, stateIsTheListsTextsRetainedAndEventsAndFaultsAreQos1)
{
    Collected sink;
    DriveFeed feed(sink, "hall2", 1000);
    StationRecord r = Drive(7);
    r.current = 25;
    r.status = reg::kStatusFault;
    r.fault = 1;
    feed.StationUpdated(r, "Pump \"A\"\n", 1733780405120);
    ASSERT_EQ(sink.messages.size(), 1u);
    const PublishMessage& state = sink.messages[0];
    EXPECT_EQ(state.topic, "varimon/hall2/7/state");
    EXPECT_TRUE(state.retain);
    EXPECT_EQ(state.qos, 0);
    EXPECT_EQ(state.payload.find("{\"id\":7,\"model\":\"QM-B20X\",\"capacity\":"), 0u) << state.payload;
    EXPECT_NE(
        state.payload.find(",\"deviceName\":\"Pump \\\"A\\\"\\n\",\"online\":true,\"frequency\":\"0.00 Hz\""),
        std::string::npos)
        << state.payload;
    EXPECT_NE(state.payload.find("\"status\":\"Fault\",\"fault\":\"Over Current (OCT)\""), std::string::npos)
        << state.payload;
    EXPECT_NE(state.payload.find("\"current\":\"2.5 A\""), std::string::npos) << state.payload;
    EXPECT_NE(state.payload.find("\"time\":\"2024-12-09T21:40:05.120Z\"}"), std::string::npos)
        << state.payload;

    feed.FaultRecorded(r, "", 1733780405120);
    feed.EventLine("2024.12.09 21:40:05 >> 7:QM-B20X Connected");
    ASSERT_EQ(sink.messages.size(), 3u);
    EXPECT_EQ(sink.messages[1].topic, "varimon/hall2/7/fault");
    EXPECT_EQ(sink.messages[1].qos, 1);
    EXPECT_FALSE(sink.messages[1].retain);
    EXPECT_EQ(sink.messages[2].topic, "varimon/hall2/events");
    EXPECT_EQ(sink.messages[2].qos, 1);
    EXPECT_EQ(sink.messages[2].payload, "2024.12.09 21:40:05 >> 7:QM-B20X Connected");

    // A lost station's state says so, whatever the interval.
    r.connected = 0;
    feed.StationUpdated(r, "", 1733780405200);
    feed.Tick(1733780406200);
    ASSERT_EQ(sink.messages.size(), 4u);
    EXPECT_NE(sink.messages[3].payload.find("\"online\":false,\"status\":\"No Connection\""),
              std::string::npos);
}

TEST(DriveFeed, textsAreQuotedWithJsonsShortEscapesAndOtherControlsAsUnicode)
{
    EXPECT_EQ(DriveFeed::JsonString("Pump \"A\"\\1"), R"("Pump \"A\"\\1")");
    EXPECT_EQ(DriveFeed::JsonString("a\nb\tc\rd\be\ff"), R"("a\nb\tc\rd\be\ff")");
    EXPECT_EQ(DriveFeed::JsonString(std::string("\x01\x1f\x7f", 3)), "\"\\u0001\\u001f\x7f\"");
    EXPECT_EQ(DriveFeed::JsonString("Förder"), "\"Förder\"");  // UTF-8 passes through
}

TEST(DriveFeed, stateGoesOutOnChangeAtMostOncePerIntervalAndTheLatestChangeIsNotLost)
{
    Collected sink;
    DriveFeed feed(sink, "l", 1000);
    StationRecord r = Drive(3);
    feed.StationUpdated(r, "", 0);
    feed.StationUpdated(r, "", 2000);  // unchanged: nothing
    EXPECT_EQ(sink.messages.size(), 1u);
    r.current = 10;
    feed.StationUpdated(r, "", 2100);  // changed after the interval: at once
    EXPECT_EQ(sink.messages.size(), 2u);
    r.current = 11;
    feed.StationUpdated(r, "", 2200);  // too soon: held
    r.current = 12;
    feed.StationUpdated(r, "", 2300);
    feed.Tick(3000);
    EXPECT_EQ(sink.messages.size(), 2u);
    feed.Tick(3100);
    ASSERT_EQ(sink.messages.size(), 3u);
    EXPECT_NE(sink.messages[2].payload.find("\"current\":\"1.2 A\""), std::string::npos)
        << sink.messages[2].payload;
    // Back to what was last sent before the held one went: nothing is held any more.
    feed.Tick(5000);
    EXPECT_EQ(sink.messages.size(), 3u);
    // Offline slots and station 0 are not stations of the line.
    feed.StationUpdated(Drive(0), "", 9000);
    feed.StationUpdated(Drive(256), "", 9000);
    EXPECT_EQ(sink.messages.size(), 3u);
}

TEST(MqttPublisher, withTheBrokerAwayEventsAreBoundedAndCountedAndTheStateIsKept)
{
    const int port = test::FreeLoopbackPort();
    MqttOptions o = ParseMqttUrl("mqtt://127.0.0.1:" + std::to_string(port)).Value();
    o.line = "t";
    o.queueLimit = 100;
    MqttPublisher publisher;
    const Result<void> started = publisher.Start(o);
    ASSERT_TRUE(started) << started.Text();
    for (int i = 0; i < 130; ++i)
        publisher.Publish({"varimon/t/events", "line " + std::to_string(i), 1, false});
    for (int i = 0; i < 50; ++i)
        publisher.Publish({"varimon/t/1/state", "{\"n\":" + std::to_string(i) + "}", 0, true});
    const PublisherStats s = publisher.Stats();
    EXPECT_FALSE(s.connected);
    EXPECT_EQ(s.dropped, 30u);
    EXPECT_EQ(s.queued, 101u);  // the newest hundred events and one state
    EXPECT_EQ(s.published, 0u);
    publisher.Stop();
}

TEST(MqttPublisher, aHostThatCannotBeLookedUpOrAMissingCaFileIsAClearError)
{
    MqttPublisher publisher;
    MqttOptions o = ParseMqttUrl("mqtt://no-such-broker.invalid").Value();
    o.line = "t";
    Result<void> started = publisher.Start(o);
    EXPECT_FALSE(started);
    EXPECT_NE(started.Text().find("no-such-broker.invalid"), std::string::npos) << started.Text();
    o = ParseMqttUrl("mqtts://127.0.0.1").Value();
    o.line = "t";
    o.caFile = "/nonexistent/ca.pem";
    started = publisher.Start(o);
    EXPECT_FALSE(started);
    EXPECT_NE(started.Text().find("TLS"), std::string::npos) << started.Text();
    EXPECT_NE(started.Text().find("/nonexistent/ca.pem"), std::string::npos) << started.Text();
    EXPECT_FALSE(publisher.IsStarted());
}
