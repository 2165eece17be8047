// SPDX-License-Identifier: GPL-3.0-or-later
// Nothing is lost on the way from the line to the outputs: a whole station at the line's
// limit, with noise, telegrams whose data hold STX and ETX, a logger that falls seconds behind
// and a broker that restarts, and every output holds every reading once, in order.

#include <signal.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <boost/json/parse.hpp>
#include <boost/json/value.hpp>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "MqttSupport.h"

namespace tavrolin::e2e {
namespace {

using namespace std::chrono_literals;
using Messages = std::vector<Subscriber::Message>;

std::string MemberOf(std::string_view json, std::string_view key) {
    return std::string(boost::json::parse(json).at(key).as_string());
}

// What the recording of the line holds: noise never carries STX, so every STX starts an
// answer (02 06 03, 02 15 03) or a telegram of eight bytes, whose data may hold STX and ETX.
struct LineTraffic {
    std::size_t telegrams = 0;
    std::size_t withStxOrEtxInData = 0;
    std::size_t noise = 0;
};

LineTraffic Parse(const std::string& recording) {
    LineTraffic traffic;
    for (std::size_t i = 0; i < recording.size();) {
        if (recording[i] != '\x02') {
            ++traffic.noise;
            ++i;
        } else if (recording.compare(i, 3, "\x02\x06\x03") == 0 ||
                   recording.compare(i, 3, "\x02\x15\x03") == 0) {
            i += 3;
        } else {
            const std::string data = recording.substr(i + 2, 5);
            traffic.withStxOrEtxInData += data.find_first_of("\x02\x03") != std::string::npos;
            ++traffic.telegrams;
            i += 8;
        }
    }
    return traffic;
}

// The states that arrived, matched against the readings printed: each printed reading in
// turn, and between them repeats of readings already matched, as QoS 1 sends again what the
// broker had not acknowledged when the connection broke. (A reading may equal another to the
// letter: a backlog read at once stamps one sensor's telegrams with one time.)
struct Arrived {
    std::size_t matched = 0;  // the printed readings that arrived, from the first on
    std::size_t repeated = 0;
    std::size_t unexpected = 0;
};

Arrived Match(const Messages& messages, const std::vector<std::string>& printed) {
    Arrived arrived;
    for (const Subscriber::Message& m : messages) {
        if (arrived.matched < printed.size() && m.payload == printed[arrived.matched]) {
            ++arrived.matched;
        } else if (std::find(printed.begin(), printed.begin() + arrived.matched, m.payload) !=
                   printed.begin() + arrived.matched) {
            ++arrived.repeated;
        } else {
            ++arrived.unexpected;
        }
    }
    return arrived;
}

// "(14:03:07.4) : ..." from "2026-12-07T14:03:07.456+01:00".
std::string TimePrefixOf(const std::string& json) {
    return "(" + MemberOf(json, "time").substr(11, 10) + ")";
}

TEST(Conservation, EveryOutputHoldsEveryReadingOfABusyLineOnceAndInOrder) {
    constexpr std::size_t kTelegrams = 3000;  // 15 s at the line's 200 a second
    TempDir dir;
    Broker broker(dir, {.persistent = true});
    Subscriber subscriber(broker.Port(), "tavrolin/e2e/+/state", {.clientId = "conservation"});
    ASSERT_TRUE(subscriber.Ready(In(5s)));
    Simulator sim(dir.File("ttySIM"),
                  {"--rate", "200", "--noise", "--split", "--seed", "18", "--count",
                   std::to_string(kTelegrams), "--record", dir.File("line")});
    ASSERT_TRUE(sim.Ready()) << sim.Stderr();
    std::vector<std::string> args = MqttProfileArgs(dir, broker.Port());
    args.insert(args.end(), {"--archive", dir.File("a.sqlite")});
    Logger logger(args);

    // The broker restarts while readings come.
    ASSERT_TRUE(logger.WaitForStdoutLines(600, In(20s))) << logger.Stderr();
    ASSERT_TRUE(broker.Stop());
    EXPECT_TRUE(logger.WaitForStderr("ist abgebrochen", In(10s))) << logger.Stderr();
    ASSERT_TRUE(logger.WaitForStdoutLines(logger.StdoutLines().size() + 200, In(10s)));
    ASSERT_TRUE(broker.Start());
    EXPECT_TRUE(logger.WaitForStderr("steht wieder", In(40s))) << logger.Stderr();

    // The logger stands still for three seconds: some five kilobytes wait on the line and
    // come in reads of the receiving program's buffer size.
    logger.Signal(SIGSTOP);
    std::this_thread::sleep_for(3s);
    logger.Signal(SIGCONT);

    ASSERT_TRUE(logger.WaitForStdoutLines(kTelegrams, In(40s)))
        << logger.StdoutLines().size() << " of " << kTelegrams << "\n"
        << logger.Stderr();
    const std::vector<std::string> printed = logger.StdoutLines();
    EXPECT_TRUE(subscriber.WaitFor(
        [&](const Messages& m) { return Match(m, printed).matched == printed.size(); }, In(30s)));
    EXPECT_EQ(logger.Terminate(In(10s)), 0);
    EXPECT_EQ(sim.Terminate(In(5s)), 0);

    // The line carried what this test is about.
    const LineTraffic line = Parse(testing::ReadBytes(dir.File("line")));
    EXPECT_EQ(line.telegrams, kTelegrams);
    EXPECT_GT(line.withStxOrEtxInData, 0u);
    EXPECT_GT(line.noise, 0u);
    std::printf("The line: %zu telegrams, %zu with STX or ETX among their data, %zu noise bytes\n",
                line.telegrams, line.withStxOrEtxInData, line.noise);
    std::set<std::string> sensors;
    for (const std::string& json : printed) {
        sensors.insert(MemberOf(json, "sensor"));
    }
    EXPECT_GE(sensors.size(), 12u) << "every sensor of the station";

    // --json: every telegram once.
    EXPECT_EQ(printed.size(), kTelegrams);

    // The protocol file: a line for every reading, at the reading's time.
    const std::vector<std::string> logged = FileLines(testing::ReadBytes(dir.File("log.dat")));
    ASSERT_EQ(logged.size(), printed.size());
    for (std::size_t i = 0; i < printed.size(); ++i) {
        ASSERT_TRUE(logged[i].starts_with(TimePrefixOf(printed[i])))
            << i << ": " << logged[i] << " for " << printed[i];
    }

    // MQTT: the same readings, in order; a repeat only from the window of the broken
    // connection.
    const Arrived arrived = Match(subscriber.Messages(), printed);
    EXPECT_EQ(arrived.matched, printed.size());
    EXPECT_EQ(arrived.unexpected, 0u);
    std::printf("MQTT: %zu readings arrived, %zu again after the broker's restart\n",
                arrived.matched, arrived.repeated);

    // The archive: each sensor's readings as printed, and the whole of them checks out.
    History check({"--archive", dir.File("a.sqlite"), "check"});
    EXPECT_EQ(check.Exit(In(20s)), 0) << check.Stderr();
    EXPECT_NE(check.Stdout().find("ist in Ordnung: " + std::to_string(kTelegrams) + " Messungen"),
              std::string::npos)
        << check.Stdout();
    std::map<std::string, std::vector<std::string>> bySensor;
    for (const std::string& json : printed) {
        bySensor[MemberOf(json, "sensor")].push_back(json);
    }
    for (const auto& [sensor, readings] : bySensor) {
        History kept(
            {"--archive", dir.File("a.sqlite"), "export", "--sensor", sensor, "--format", "json"});
        ASSERT_EQ(kept.Exit(In(20s)), 0) << kept.Stderr();
        EXPECT_EQ(kept.StdoutLines(), readings) << sensor;
    }
}

}  // namespace
}  // namespace tavrolin::e2e
