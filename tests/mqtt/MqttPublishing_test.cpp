// SPDX-License-Identifier: GPL-3.0-or-later
// The tick's sink and the network thread's publisher around one outbox, with a fake
// connection: what reaches the broker, in which order, and what the user is told.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "FakeClocks.h"
#include "decode/ReadingJson.h"
#include "decode/TelegramDecoder.h"
#include "mqtt/MqttPublisher.h"
#include "mqtt/MqttSink.h"

namespace tavrolin {
namespace {

using Telegram = std::array<uint8_t, 7>;
constexpr Telegram kOutdoor1 = {0x11, 0, 123, 67, 0, 0, 0x03};
constexpr Telegram kWind3 = {0x33, 0, 125, 2, 2, 14, 0x03};
constexpr Telegram kFensterHigh = {0x70, 0, 0, 0, 0, 0, 0x03};

class FakeClient : public MqttClient {
public:
    struct Message {
        std::string topic;
        std::string payload;
        bool retain;
        int id;
    };
    Handed Publish(const std::string& topic, std::string_view payload, int qos,
                   bool retain) override {
        EXPECT_EQ(qos, 1);
        published.push_back({topic, std::string(payload), retain, ++m_lastId});
        return {Handed::Result::Sent, m_lastId};
    }
    void Subscribe(const std::string& topic) override { subscribed.push_back(topic); }

    // What went out since the last call: "topic payload" for states and availability,
    // "topic" alone for the configs.
    std::vector<std::string> Take() {
        std::vector<std::string> shown;
        for (const Message& m : published) {
            const bool config = m.topic.ends_with("/config");
            shown.push_back(config ? m.topic : m.topic + " " + m.payload);
        }
        published.clear();
        return shown;
    }

    std::vector<Message> published;
    std::vector<std::string> subscribed;

private:
    int m_lastId = 0;
};

class ManualClock : public CoarseClock {
public:
    int64_t ReadMs() override { return now; }
    int64_t now = 1'000'000;
};

struct Rig {
    explicit Rig(std::size_t capacity = MqttOutbox::kDefaultCapacity,
                 MqttPublisher::Options options = {})
        : outbox(capacity), publisher(Settings(), outbox, client, options) {
        recorded.Add(json);
        json.Add(sink);
    }

    static MqttSettings Settings() {
        MqttSettings s;
        s.host = "broker";
        s.receiver = "dach";
        s.receiverName = "Dach";
        return s;
    }
    Rig(const Rig&) = delete;
    // Decodes the telegram now, hands it to the tracker and, by the recording mask, to the
    // sink, and ends the poll; returns its JSON.
    std::string Hear(const Telegram& telegram) {
        const std::optional<Reading> reading = decoder.Decode(telegram);
        tracker.Accept(*reading);
        recorded.Accept(*reading);
        recorded.EndOfPoll();
        std::string json;
        AppendReadingJson(*reading, json);
        return json;
    }
    // What went out since the last call, as FakeClient::Take shows it, each acknowledged by
    // the broker.
    std::vector<std::string> Take() {
        for (const FakeClient::Message& m : client.published) {
            publisher.OnPublished(m.id);
        }
        return client.Take();
    }
    void Advance(int64_t ms) {
        wall.AdvanceMs(ms);
        steady.now += ms;
    }
    std::vector<std::string> Notices() {
        std::vector<std::string> texts;
        while (std::optional<SinkNotice> notice = sink.TakeNotice()) {
            EXPECT_EQ(notice->caption, "MQTT");
            texts.push_back(notice->text);
        }
        return texts;
    }

    testing::FakeWallClock wall;
    ManualClock steady;
    TelegramDecoder decoder{wall, wall};
    MqttOutbox outbox;
    FakeClient client;
    MqttPublisher publisher;
    SensorTracker tracker;
    MqttSink sink{Settings(), SensorNames(), outbox, tracker, wall, steady};
    RecordingFilter recorded;
    JsonOutputs json;
};

const std::string kStatus = "tavrolin/dach/status";
const std::string kReceiverConfig = "homeassistant/device/tavrolin_dach/config";
const std::string kOutdoorConfig = "homeassistant/device/tavrolin_dach_outdoor-1/config";
const std::string kOutdoorState = "tavrolin/dach/outdoor-1/state ";
const std::string kOutdoorAvailability = "tavrolin/dach/outdoor-1/availability";

TEST(MqttPublishing, ReadingsFollowTheirConfigAndKeepTheirOrderAcrossAnOutage) {
    Rig rig;
    rig.publisher.OnConnected(0);
    EXPECT_EQ(rig.Take(), (std::vector<std::string>{kStatus + " online", kReceiverConfig}));
    EXPECT_TRUE(rig.client.published.empty());
    EXPECT_EQ(rig.client.subscribed, std::vector<std::string>{"homeassistant/status"});

    const std::string first = rig.Hear(kOutdoor1);
    rig.publisher.Pump(0);
    // The broker acknowledges the config and the availability; the reading is on its way.
    ASSERT_EQ(rig.client.published.size(), 3u);
    rig.publisher.OnPublished(rig.client.published[0].id);
    rig.publisher.OnPublished(rig.client.published[1].id);
    EXPECT_EQ(rig.client.Take(),
              (std::vector<std::string>{kOutdoorConfig, kOutdoorAvailability + " online",
                                        kOutdoorState + first}));
    EXPECT_EQ(rig.outbox.Queued(), 1u) << "the reading leaves when the broker has it";

    // The broker goes away: readings wait; each attempt waits twice as long, up to 30 s.
    rig.publisher.OnFailure(MqttFailure::Lost, 10'000);
    std::vector<std::string> waiting;
    for (int i = 0; i < 5; ++i) {
        rig.Advance(1000);
        waiting.push_back(kOutdoorState + rig.Hear(kOutdoor1));
    }
    // With three gaps of a second known the period is learned, but expire_after stays 15
    // minutes: no config again.
    rig.publisher.Pump(20'000);
    EXPECT_TRUE(rig.client.published.empty());
    std::vector<int64_t> delays = {rig.publisher.NextAttemptMs() - 10'000};
    for (int64_t now = 20'000; delays.size() < 7; now += 100'000) {
        rig.publisher.OnFailure(MqttFailure::Refused, now);
        delays.push_back(rig.publisher.NextAttemptMs() - now);
    }
    EXPECT_EQ(delays, (std::vector<int64_t>{1000, 2000, 4000, 8000, 16000, 30000, 30000}));

    // Back: status and announcements first, then the readings in order: the one that was
    // not acknowledged again, then those that waited; what the broker has, not again.
    rig.publisher.OnConnected(900'000);
    rig.publisher.Pump(900'000);
    std::vector<std::string> expected = {kStatus + " online", kReceiverConfig, kOutdoorConfig,
                                         kOutdoorAvailability + " online", kOutdoorState + first};
    expected.insert(expected.end(), waiting.begin(), waiting.end());
    EXPECT_EQ(rig.Take(), expected);
    EXPECT_TRUE(rig.publisher.Idle());
    rig.publisher.OnFailure(MqttFailure::Lost, 900'001);
    rig.publisher.OnConnected(901'000);
    EXPECT_EQ(rig.publisher.NextAttemptMs(), 901'001) << "the backoff starts afresh";

    // An orderly stop says offline, retained.
    rig.client.Take();
    const std::optional<int> offline = rig.publisher.PublishOffline();
    ASSERT_TRUE(offline);
    EXPECT_EQ(rig.client.published.back().payload, "offline");
    EXPECT_TRUE(rig.client.published.back().retain);
    EXPECT_TRUE(rig.publisher.InFlight(*offline));
    rig.publisher.OnPublished(*offline);
    EXPECT_FALSE(rig.publisher.InFlight(*offline));
}

TEST(MqttPublishing, TheWindowLimitsWhatIsInFlightAndAFullQueueDropsTheOldestWaiting) {
    Rig rig(5, MqttPublisher::Options{.window = 3});
    rig.publisher.OnConnected(0);
    rig.Take();
    std::vector<std::string> heard;
    for (int i = 0; i < 3; ++i) {
        rig.Advance(100);
        heard.push_back(rig.Hear(kFensterHigh));  // the first with its config
    }
    rig.publisher.Pump(0);
    EXPECT_EQ(rig.client.published.size(), 3u);
    rig.publisher.Pump(0);
    EXPECT_EQ(rig.client.published.size(), 3u) << "nothing acknowledged yet";
    rig.publisher.OnPublished(rig.client.published[0].id);
    rig.publisher.Pump(0);
    ASSERT_EQ(rig.client.published.size(), 4u);
    EXPECT_TRUE(rig.Notices().empty());

    // Full while three readings are in flight: the oldest waiting reading goes, not one the
    // broker is about to have.
    for (int i = 0; i < 3; ++i) {
        rig.Advance(100);
        heard.push_back(rig.Hear(kFensterHigh));
    }
    EXPECT_EQ(rig.outbox.Queued(), 5u);
    std::vector<std::string> notices = rig.Notices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0],
              "Die Warteschlange für den MQTT-Broker broker:1883 ist voll (5 Nachrichten): die "
              "ältesten werden verworfen.");
    rig.publisher.OnPublished(rig.client.published[1].id);  // heard[0] is at the broker
    rig.publisher.Pump(0);
    ASSERT_EQ(rig.client.published.size(), 5u);
    EXPECT_EQ(rig.client.published.back().payload, heard[4]) << "heard[3] was dropped";

    // The broker goes away with three readings unacknowledged: they wait again, the oldest
    // of all now, and go first when the queue overflows.
    rig.publisher.OnFailure(MqttFailure::Lost, 0);
    for (int i = 0; i < 3; ++i) {
        rig.Advance(100);
        heard.push_back(rig.Hear(kFensterHigh));
    }
    notices = rig.Notices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0],
              "Die Verbindung zum MQTT-Broker broker:1883 ist abgebrochen. Die Messwerte werden "
              "zurückgehalten und nachgesendet, sobald die Verbindung steht; der Empfang geht "
              "weiter.");
    // However long the broker has been away, a full queue has it tried every 5 s.
    for (int i = 0; i < 6; ++i) {
        rig.publisher.OnFailure(MqttFailure::Refused, 500);
    }
    EXPECT_EQ(rig.publisher.NextAttemptMs(), 5500);

    rig.publisher.OnConnected(1000);
    rig.Take();
    std::vector<std::string> states;
    for (int i = 0; i < 3; ++i) {
        rig.publisher.Pump(1000);
        for (const FakeClient::Message& m : rig.client.published) {
            states.push_back(m.payload);
        }
        rig.Take();
    }
    EXPECT_EQ(states, (std::vector<std::string>(heard.begin() + 4, heard.end())));
    EXPECT_TRUE(rig.publisher.Idle());
    notices = rig.Notices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0],
              "Die Verbindung zum MQTT-Broker broker:1883 steht wieder; die zurückgehaltenen "
              "Messwerte werden nachgesendet. 2 ältere Messwerte sind verloren, weil die "
              "Warteschlange voll war.");
}

TEST(MqttPublishing, EachOutageIsSaidOnceAndABrokerThatComesAndGoesNotAtEveryTurn) {
    Rig rig;
    rig.publisher.OnFailure(MqttFailure::Refused, 0);
    std::vector<std::string> notices = rig.Notices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_TRUE(notices[0].starts_with("Der MQTT-Broker broker:1883 nimmt keine Verbindung an."));
    for (const MqttFailure again : {MqttFailure::Refused, MqttFailure::Unreachable}) {
        rig.publisher.OnFailure(again, 0);
        EXPECT_TRUE(rig.Notices().empty());
    }
    // A failure that needs the user is said even within the outage.
    rig.publisher.OnFailure(MqttFailure::BadCredentials, 0);
    notices = rig.Notices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_TRUE(notices[0].starts_with(
        "Der MQTT-Broker broker:1883 weist Benutzername oder Passwort zurück"));
    rig.publisher.OnFailure(MqttFailure::BadCredentials, 0);
    EXPECT_TRUE(rig.Notices().empty());
    rig.publisher.OnConnected(0);
    notices = rig.Notices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_TRUE(notices[0].starts_with("Die Verbindung zum MQTT-Broker broker:1883 steht wieder"));

    // Gone again a minute later, and back: not said, nor its end.
    rig.Advance(60'000);
    rig.publisher.OnFailure(MqttFailure::Lost, 0);
    EXPECT_TRUE(rig.Notices().empty());
    rig.publisher.OnConnected(0);
    EXPECT_TRUE(rig.Notices().empty());
    // Later on, an outage is said again.
    rig.Advance(MqttSink::kQuietMs);
    rig.publisher.OnFailure(MqttFailure::HostUnknown, 0);
    notices = rig.Notices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_TRUE(
        notices[0].starts_with("Der Rechnername des MQTT-Brokers broker:1883 ist unbekannt."));
}

// The expire_after of the sensor's configs so far.
std::vector<int> ExpireAfter(const Rig& rig) {
    std::vector<int> expires;
    for (const FakeClient::Message& m : rig.client.published) {
        if (m.topic == kOutdoorConfig) {
            const std::size_t at = m.payload.find("\"expire_after\":");
            expires.push_back(std::stoi(m.payload.substr(at + 15)));
        }
    }
    return expires;
}

TEST(MqttPublishing, ASilentSensorGoesOfflineOnceAndItsValuesExpireWhenItNeedsLonger) {
    Rig rig;
    rig.publisher.OnConnected(0);
    // Every 48 s: overdue after 3 × 48 s, but expire_after stays the 15 minutes it started
    // with, so Home Assistant gets one config.
    for (int i = 0; i < 6; ++i) {
        rig.Advance(48'000);
        rig.Hear(kOutdoor1);
    }
    rig.publisher.Pump(0);
    EXPECT_EQ(ExpireAfter(rig), (std::vector<int>{900}));
    rig.Take();

    rig.Advance(144'000);
    rig.Hear(kWind3);
    rig.Advance(1'001);
    rig.sink.EndOfPoll();
    rig.Advance(10'000);
    rig.sink.EndOfPoll();
    rig.publisher.Pump(0);
    std::vector<std::string> sent = rig.Take();
    ASSERT_EQ(sent.size(), 4u);  // wind's config, availability and state, then outdoor-1 offline
    EXPECT_EQ(sent.back(), kOutdoorAvailability + " offline");
    EXPECT_TRUE(rig.client.published.empty());
    // A reconnect repeats the current availability.
    rig.publisher.OnConnected(0);
    const std::vector<std::string> again = rig.Take();
    EXPECT_NE(std::find(again.begin(), again.end(), kOutdoorAvailability + " offline"),
              again.end());

    const std::string back = rig.Hear(kOutdoor1);
    rig.Advance(1000);
    rig.sink.EndOfPoll();
    rig.publisher.Pump(0);
    EXPECT_EQ(rig.Take(),
              (std::vector<std::string>{kOutdoorState + back, kOutdoorAvailability + " online"}));

    // Sensors outside the recording mask stay out; the Fenster events are never filtered.
    rig.recorded.SetMask(0);
    rig.Hear(kOutdoor1);
    rig.Hear(kFensterHigh);
    rig.publisher.Pump(0);
    for (const std::string& m : rig.Take()) {
        EXPECT_EQ(m.find("outdoor-1"), std::string::npos) << m;
    }

    // Every 7 minutes: once that is known, expire_after grows to 30 minutes, once.
    Rig slow;
    slow.publisher.OnConnected(0);
    for (int i = 0; i < 8; ++i) {
        slow.Advance(7 * 60'000);
        slow.Hear(kOutdoor1);
    }
    slow.publisher.Pump(0);
    EXPECT_EQ(ExpireAfter(slow), (std::vector<int>{900, 1800}));
}

TEST(MqttPublishing, HomeAssistantsStartBringsTheConfigsAgainAfterAShortDelay) {
    Rig rig(MqttOutbox::kDefaultCapacity,
            MqttPublisher::Options{.birthDelayMinMs = 500, .birthDelayMaxMs = 3000});
    rig.publisher.OnConnected(0);
    rig.Hear(kOutdoor1);
    rig.publisher.Pump(0);
    rig.client.Take();

    rig.publisher.OnMessage("homeassistant/status", "offline", 10'000);
    EXPECT_FALSE(rig.publisher.NextTimerMs());
    rig.publisher.OnMessage("homeassistant/status", "online", 10'000);
    ASSERT_TRUE(rig.publisher.NextTimerMs());
    const int64_t due = *rig.publisher.NextTimerMs();
    EXPECT_GE(due, 10'500);
    EXPECT_LE(due, 13'000);
    rig.publisher.Pump(due - 1);
    EXPECT_TRUE(rig.client.published.empty());
    rig.publisher.Pump(due);
    EXPECT_EQ(rig.client.Take(), (std::vector<std::string>{kReceiverConfig, kOutdoorConfig}));
    EXPECT_FALSE(rig.publisher.NextTimerMs());
}

}  // namespace
}  // namespace tavrolin
