// SPDX-License-Identifier: GPL-3.0-or-later
// tavrolin-log publishing to the Debian mosquitto broker: what a subscriber gets, what Home
// Assistant gets, the last will, and a broker that goes away while readings keep coming.

#include <signal.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <boost/json/parse.hpp>
#include <boost/json/value.hpp>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "MqttSupport.h"

namespace tavrolin::e2e {
namespace {

using namespace std::chrono_literals;
using Messages = std::vector<Subscriber::Message>;
std::string_view Str(const boost::json::value& text) {
    return text.as_string();
}

// A member of the JSON object in the text.
std::string MemberOf(std::string_view json, std::string_view key) {
    return std::string(boost::json::parse(json).at(key).as_string());
}

const std::string kStatus = "tavrolin/e2e/status";

bool Has(const Messages& messages, const std::string& topic, const std::string& payload) {
    return std::any_of(messages.begin(), messages.end(), [&](const Subscriber::Message& m) {
        return m.topic == topic && m.payload == payload;
    });
}

std::size_t Count(const Messages& messages, const std::string& topic) {
    return static_cast<std::size_t>(
        std::count_if(messages.begin(), messages.end(),
                      [&](const Subscriber::Message& m) { return m.topic == topic; }));
}

// The states that arrived, each once: QoS 1 may bring one twice after a broken connection.
// The state messages' payloads, in the order they came.
std::vector<std::string> States(const Messages& messages) {
    std::vector<std::string> states;
    for (const Subscriber::Message& m : messages) {
        if (m.topic.ends_with("/state")) {
            states.push_back(m.payload);
        }
    }
    return states;
}

// What QoS 1 promises of the readings printed, as they arrived: each of them, in the order of
// their first arrival, and a second copy only of one the broker may have taken without its
// acknowledgement reaching the logger, or sent on without the subscriber's: one printed
// before the broker went away (printed[0, inFlightBefore)). Two readings of one sensor in one
// millisecond with the same values have one payload: each is matched in turn. Empty when all
// holds; else what does not.
std::string CheckArrivals(const std::vector<std::string>& printed,
                          const std::vector<std::string>& arrived, std::size_t inFlightBefore,
                          std::size_t* duplicates = nullptr) {
    std::size_t next = 0;  // the first printed reading not arrived yet
    std::size_t copies = 0;
    for (std::size_t a = 0; a < arrived.size(); ++a) {
        if (next < printed.size() && arrived[a] == printed[next]) {
            ++next;
            continue;
        }
        // A copy of one that arrived already: the most recent one of that payload.
        std::size_t j = next;
        while (j > 0 && printed[j - 1] != arrived[a]) {
            --j;
        }
        if (j == 0) {
            if (next == printed.size()) {
                continue;  // printed after the test's last look
            }
            return "arrival " + std::to_string(a) + " is not reading " + std::to_string(next) +
                   " (" + printed[next] + ") nor a copy: " + arrived[a];
        }
        if (j - 1 >= inFlightBefore) {
            return "arrival " + std::to_string(a) + " copies reading " + std::to_string(j - 1) +
                   ", printed while the broker was away: " + arrived[a];
        }
        ++copies;
    }
    if (duplicates != nullptr) {
        *duplicates = copies;
    }
    if (next < printed.size()) {
        return std::to_string(next) + " of " + std::to_string(printed.size()) +
               " arrived; missing from " + printed[next];
    }
    return "";
}

// The keys of the values in a reading's JSON: all but those that say whose it is and when.
std::set<std::string> ValueKeys(const std::string& json) {
    static const std::set<std::string> meta = {"time",    "sensor", "kind",
                                               "address", "v12",    "interval"};
    std::set<std::string> keys;
    const boost::json::value reading = boost::json::parse(json);
    for (const auto& member : reading.as_object()) {
        if (!meta.contains(member.key())) {
            keys.emplace(member.key());
        }
    }
    return keys;
}

// The keys a discovery config's components take from the reading, in their value templates.
std::set<std::string> ComponentKeys(const boost::json::value& config) {
    std::set<std::string> keys;
    for (const auto& component : config.at("components").as_object()) {
        const std::string_view tpl = Str(component.value().at("value_template"));
        const std::size_t at = tpl.find("value_json.") + 11;
        keys.emplace(tpl.substr(at, tpl.find_first_of(" }", at) - at));
    }
    return keys;
}

// With the settings for rain in millimetres and the sea-level pressure, every value printed
// has its entity in Home Assistant, and each sensor's config comes once, also after its
// period has been learned (Home Assistant shows a device's entities unavailable for a moment
// at each new config), and again when Home Assistant starts.
TEST(MqttPublishing, EveryReadingArrivesAsPrintedWithItsDeviceForHomeAssistant) {
    TempDir dir;
    Broker broker(dir);
    Subscriber subscriber(broker.Port(), "#");
    ASSERT_TRUE(subscriber.Ready(In(5s)));
    Simulator sim(dir.File("ttySIM"), {"--speed", "60"});
    ASSERT_TRUE(sim.Ready()) << sim.Stderr();
    Logger logger(MqttProfileArgs(dir, broker.Port(),
                                  "[Sensornamen]\r\noutdoor-1=Garten\r\n[Regen]\r\nrain-0=0.25\r\n"
                                  "[Station]\r\nH\xF6he=312\r\n"));
    // Until every sensor that sends on a clock has shown its period (three gaps) and sent once
    // more.
    const auto learned = [](const std::vector<std::string>& lines) {
        std::map<std::string, int> readings;
        for (const std::string& line : lines) {
            ++readings[MemberOf(line, "sensor")];
        }
        return readings.size() >= 10 && std::all_of(readings.begin(), readings.end(), [](auto& r) {
                   return r.first == "remote-control" || r.first == "window-event" || r.second >= 5;
               });
    };
    for (const auto deadline = In(40s); !learned(logger.StdoutLines());) {
        ASSERT_TRUE(logger.WaitForStdoutLines(logger.StdoutLines().size() + 1, deadline))
            << logger.Stderr();
    }

    // Home Assistant starts: the configs come again.
    const std::string outdoorConfig = "homeassistant/device/tavrolin_e2e_outdoor-1/config";
    ASSERT_TRUE(
        subscriber.WaitFor([&](const Messages& m) { return Count(m, outdoorConfig) > 0; }, In(5s)));
    std::map<std::string, int> configs;
    for (const Subscriber::Message& m : subscriber.Messages()) {
        if (m.topic.starts_with("homeassistant/device/tavrolin_e2e_")) {
            ++configs[m.topic];
        }
    }
    for (const auto& [topic, count] : configs) {
        EXPECT_EQ(count, 1) << topic;
    }
    subscriber.Publish("homeassistant/status", "online");
    EXPECT_TRUE(subscriber.WaitFor([&](const Messages& m) { return Count(m, outdoorConfig) == 2; },
                                   In(10s)));

    EXPECT_EQ(logger.Terminate(In(10s)), 0) << logger.Stderr();
    ASSERT_TRUE(
        subscriber.WaitFor([](const Messages& m) { return Has(m, kStatus, "offline"); }, In(5s)));
    EXPECT_EQ(AfterStart(logger.Stderr()), "");
    // Every reading printed was published, the same JSON, in the same order, none else.
    // No broker went away: every reading once, in order.
    EXPECT_EQ(CheckArrivals(logger.StdoutLines(), States(subscriber.Messages()), 0), "");

    std::set<std::string> printed;
    for (const std::string& line : logger.StdoutLines()) {
        printed.insert(MemberOf(line, "sensor"));
    }
    std::map<std::string, std::set<std::string>> printedKeys;
    for (const std::string& line : logger.StdoutLines()) {
        printedKeys[MemberOf(line, "sensor")].merge(ValueKeys(line));
    }
    EXPECT_TRUE(printedKeys["rain-0"].contains("rain_today_mm"));
    EXPECT_TRUE(printedKeys["indoor-0"].contains("pressure_sea_level"));
    std::set<std::string> announced;
    for (const Subscriber::Message& m : subscriber.Messages()) {
        if (m.topic.ends_with("/state")) {
            EXPECT_EQ("tavrolin/e2e/" + MemberOf(m.payload, "sensor") + "/state", m.topic);
        }
        if (m.topic.starts_with("homeassistant/device/tavrolin_e2e_")) {
            EXPECT_FALSE(m.retained) << "configs are sent again, never retained";
            const boost::json::value config = boost::json::parse(m.payload);
            const std::string stateTopic(config.at("state_topic").as_string());
            announced.insert(stateTopic.substr(13));
            const std::string sensor = stateTopic.substr(13, stateTopic.size() - 19);
            EXPECT_EQ(ComponentKeys(config), printedKeys[sensor]) << m.payload;
            if (m.topic == outdoorConfig) {
                EXPECT_EQ(Str(config.at("device").at("name")), "Garten");
            }
        }
    }
    std::set<std::string> printedTopics;
    for (const std::string& sensor : printed) {
        printedTopics.insert(sensor + "/state");
    }
    EXPECT_EQ(announced, printedTopics);
    const Messages all = subscriber.Messages();
    EXPECT_EQ(all.front().topic, kStatus);
    EXPECT_EQ(all.front().payload, "online");
    EXPECT_EQ(all.back().topic, kStatus);
    EXPECT_EQ(all.back().payload, "offline");

    // Who comes later finds the receiver offline, retained.
    Subscriber later(broker.Port(), kStatus);
    EXPECT_TRUE(later.WaitFor([](const Messages& m) { return !m.empty(); }, In(5s)));
    ASSERT_EQ(later.Messages().size(), 1u);
    EXPECT_EQ(later.Messages()[0].payload, "offline");
    EXPECT_TRUE(later.Messages()[0].retained);
    EXPECT_EQ(sim.Terminate(In(5s)), 0);
}

TEST(MqttPublishing, TheBrokerSaysOfflineForALoggerThatIsKilled) {
    TempDir dir;
    Broker broker(dir);
    Subscriber subscriber(broker.Port(), kStatus);
    ASSERT_TRUE(subscriber.Ready(In(5s)));
    Simulator sim(dir.File("ttySIM"), {"--speed", "60"});
    ASSERT_TRUE(sim.Ready()) << sim.Stderr();
    Logger logger(MqttProfileArgs(dir, broker.Port()));
    ASSERT_TRUE(
        subscriber.WaitFor([](const Messages& m) { return Has(m, kStatus, "online"); }, In(10s)));
    logger.Signal(SIGKILL);
    EXPECT_TRUE(
        subscriber.WaitFor([](const Messages& m) { return Has(m, kStatus, "offline"); }, In(10s)));
    EXPECT_EQ(sim.Terminate(In(5s)), 0);
}

// At the line's limit of 200 telegrams a second, the broker is shut down for a few seconds
// and started again: the readings of that time wait and arrive after it, in order, and the
// 50 ms tick goes on meanwhile (the readings' times show when each poll ran).
TEST(MqttPublishing, ReadingsWaitWhileTheBrokerIsAwayAndArriveInOrder) {
    TempDir dir;
    Broker broker(dir, {.persistent = true});
    // A session the broker keeps across its restart, so that nothing is missed while this
    // subscriber is reconnecting.
    Subscriber subscriber(broker.Port(), "tavrolin/e2e/+/state", {.clientId = "e2e-subscriber"});
    ASSERT_TRUE(subscriber.Ready(In(5s)));
    Simulator sim(dir.File("ttySIM"), {"--rate", "200"});
    ASSERT_TRUE(sim.Ready()) << sim.Stderr();
    Logger logger(MqttProfileArgs(dir, broker.Port()));
    ASSERT_TRUE(logger.WaitForStdoutLines(200, In(10s))) << logger.Stderr();

    ASSERT_TRUE(broker.Stop());
    const std::size_t before = logger.StdoutLines().size();
    EXPECT_TRUE(logger.WaitForStderr("ist abgebrochen", In(10s))) << logger.Stderr();
    ASSERT_TRUE(logger.WaitForStdoutLines(before + 600, In(20s)));
    const std::size_t during = logger.StdoutLines().size();
    ASSERT_TRUE(broker.Start());
    EXPECT_TRUE(logger.WaitForStderr("steht wieder", In(40s))) << logger.Stderr();
    ASSERT_TRUE(logger.WaitForStdoutLines(logger.StdoutLines().size() + 200, In(10s)));

    // Everything printed so far arrives, the readings of the outage among them, in the order
    // of their first arrival; the logger goes on meanwhile. What was on its way when the
    // broker went away may come twice (QoS 1), nothing else.
    const std::vector<std::string> printed = logger.StdoutLines();
    EXPECT_TRUE(subscriber.WaitFor(
        [&](const Messages& m) { return CheckArrivals(printed, States(m), before).empty(); },
        In(30s)));
    EXPECT_EQ(logger.Terminate(In(10s)), 0);
    std::size_t duplicates = 0;
    EXPECT_EQ(CheckArrivals(printed, States(subscriber.Messages()), before, &duplicates), "")
        << "(the broker stopped at " << before << ", restarted at " << during << ")\n"
        << logger.Stderr();
    std::printf("%zu readings printed, %zu arrived twice (on their way when the broker went)\n",
                printed.size(), duplicates);

    // The polls while the broker was away: the readings of one poll lie within a few
    // milliseconds, the polls 50 ms apart.
    std::vector<int64_t> ticks;
    int64_t last = -1000;
    for (std::size_t i = before; i < during; ++i) {
        const std::string time = MemberOf(printed[i], "time");
        // "2026-12-07T14:03:07.456+01:00": milliseconds of the day suffice here.
        const int64_t ms =
            ((std::stoll(time.substr(11, 2)) * 60 + std::stoll(time.substr(14, 2))) * 60 +
             std::stoll(time.substr(17, 2))) *
                1000 +
            std::stoll(time.substr(20, 3));
        if (ms - last > 10) {
            ticks.push_back(ms);
        }
        last = ms;
    }
    std::vector<int64_t> periods;
    for (std::size_t i = 1; i < ticks.size(); ++i) {
        periods.push_back(ticks[i] - ticks[i - 1]);
    }
    ASSERT_GT(periods.size(), 20u);
    std::sort(periods.begin(), periods.end());
    const int64_t median = periods[periods.size() / 2];
    std::printf(
        "tick period while the broker was away: median %lld ms, longest %lld ms, %zu polls\n",
        static_cast<long long>(median), static_cast<long long>(periods.back()), periods.size());
    // Generous bounds for a loaded machine: a poll held up by the network would take
    // seconds.
    EXPECT_GE(median, 40);
    EXPECT_LE(median, 60);
    EXPECT_LT(periods.back(), 1000);
    EXPECT_EQ(sim.Terminate(In(5s)), 0);
}

// The broker ends while the connection is idle, shut down and then killed, and readings come
// while it is away: once it is back, every reading printed arrives, in order, and each once,
// for none was sent and left unacknowledged. The readings come in counted batches (a receiver
// that sends so many and falls silent, then one that comes back with more), so that the
// connection is known to be idle when the broker goes.
TEST(MqttPublishing, ABrokerThatEndsWhileTheConnectionIsIdleGetsEveryReadingOnce) {
    TempDir dir;
    Broker broker(dir, {.persistent = true});
    // The broker keeps this session across its restarts; the SIGKILL round finds it in the
    // database that the SIGTERM round's orderly end saved.
    Subscriber subscriber(broker.Port(), "tavrolin/e2e/+/state", {.clientId = "e2e-subscriber"});
    ASSERT_TRUE(subscriber.Ready(In(5s)));
    const auto states = [](const Messages& messages) {
        std::vector<std::string> payloads;
        for (const Subscriber::Message& m : messages) {
            if (m.topic.ends_with("/state")) {
                payloads.push_back(m.payload);
            }
        }
        return payloads;
    };
    std::size_t printed = 40;
    auto sim = std::make_unique<Simulator>(
        dir.File("ttySIM"), std::vector<std::string>{"--rate", "20", "--count", "40"});
    ASSERT_TRUE(sim->Ready()) << sim->Stderr();
    Logger logger(MqttProfileArgs(dir, broker.Port()));
    ASSERT_TRUE(logger.WaitForStdoutLines(printed, In(10s))) << logger.Stderr();

    for (const int signal : {SIGTERM, SIGKILL}) {
        SCOPED_TRACE(signal == SIGTERM ? "SIGTERM" : "SIGKILL");
        ASSERT_TRUE(subscriber.WaitFor(
            [&](const Messages& m) { return states(m).size() >= printed; }, In(30s)))
            << logger.Stderr();
        ASSERT_TRUE(subscriber.Flush(In(5s)));
        ASSERT_TRUE(broker.Stop(signal));

        EXPECT_EQ(sim->Terminate(In(5s)), 0);
        sim = std::make_unique<Simulator>(
            dir.File("ttySIM"), std::vector<std::string>{"--rate", "20", "--count", "60"});
        ASSERT_TRUE(sim->Ready()) << sim->Stderr();
        printed += 60;
        ASSERT_TRUE(logger.WaitForStdoutLines(printed, In(20s))) << logger.Stderr();
        ASSERT_TRUE(broker.Start());
    }
    EXPECT_TRUE(subscriber.WaitFor([&](const Messages& m) { return states(m).size() >= printed; },
                                   In(30s)));
    EXPECT_EQ(logger.Terminate(In(10s)), 0);
    EXPECT_EQ(states(subscriber.Messages()), logger.StdoutLines()) << logger.Stderr();
    EXPECT_EQ(sim->Terminate(In(5s)), 0);
}

TEST(MqttPublishing, ARefusedLoginIsSaidOnceAndReceptionGoesOn) {
    TempDir dir;
    Broker broker(dir, {.login = "wetter:richtig"});
    Simulator sim(dir.File("ttySIM"), {"--speed", "60"});
    ASSERT_TRUE(sim.Ready()) << sim.Stderr();
    testing::WriteBytes(dir.File("wrong"), "falsch\n");
    testing::WriteBytes(dir.File("right"), "richtig\n");

    {
        Logger logger(MqttProfileArgs(dir, broker.Port(),
                                      "User=wetter\r\nPasswordFile=" + dir.File("wrong") + "\r\n"));
        // Three attempts, each refused by the broker.
        for (int i = 0; i < 3; ++i) {
            ASSERT_TRUE(broker.Process().WaitForStderr("not authorised", In(10s)));
        }
        EXPECT_TRUE(logger.WaitForStdoutLines(14, In(10s)));
        EXPECT_EQ(logger.Terminate(In(5s)), 0);
        const std::string said = "verweigert die Anmeldung";
        const std::string& err = logger.Stderr();
        EXPECT_NE(err.find(said), std::string::npos) << err;
        EXPECT_EQ(err.find(said), err.rfind(said)) << "said once: " << err;
    }
    {
        Subscriber subscriber(broker.Port(), kStatus, {.user = "wetter", .password = "richtig"});
        ASSERT_TRUE(subscriber.Ready(In(5s)));
        Logger logger(MqttProfileArgs(dir, broker.Port(),
                                      "User=wetter\r\nPasswordFile=" + dir.File("right") + "\r\n"));
        EXPECT_TRUE(subscriber.WaitFor([](const Messages& m) { return Has(m, kStatus, "online"); },
                                       In(10s)));
        EXPECT_EQ(logger.Terminate(In(5s)), 0);
        EXPECT_EQ(AfterStart(logger.Stderr()), "");
    }
    Logger unreadable(MqttProfileArgs(
        dir, broker.Port(), "User=wetter\r\nPasswordFile=" + dir.File("missing") + "\r\n"));
    EXPECT_EQ(unreadable.Exit(In(5s)), 2);
    EXPECT_EQ(AfterStart(unreadable.Stderr()),
              "MQTT: Die Passwortdatei " + dir.File("missing") +
                  " (PasswordFile) läßt sich nicht lesen: Es gibt sie nicht.\n");
    EXPECT_EQ(sim.Terminate(In(5s)), 0);
}

}  // namespace
}  // namespace tavrolin::e2e
