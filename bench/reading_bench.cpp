// SPDX-License-Identifier: GPL-3.0-or-later
// What a telegram costs on its way to machines: the typed Reading the decoder builds, its
// report line, its JSON, and the MQTT sink's share of the tick (the network is not on it).
#include <benchmark/benchmark.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "BenchData.h"
#include "FakeClocks.h"
#include "decode/ReadingJson.h"
#include "decode/TelegramDecoder.h"
#include "mqtt/MqttSink.h"
#include "platform/posix/SystemClocks.h"

namespace tavrolin {
namespace {

using bench::kMixed;
using bench::Telegram;

std::vector<Reading> MixedReadings() {
    SystemWallClock clock;
    SystemTimeZone zone;
    TelegramDecoder decoder(clock, zone);
    std::vector<Reading> readings;
    for (const Telegram& t : kMixed) {
        readings.push_back(*decoder.Decode(t));
    }
    return readings;
}

// The decoding itself: the reception clock, the local time, the typed Reading.
void DecodeToReading(benchmark::State& state) {
    SystemWallClock clock;
    SystemTimeZone zone;
    TelegramDecoder decoder(clock, zone);
    std::size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(decoder.Decode(kMixed[next]));
        next = next + 1 == kMixed.size() ? 0 : next + 1;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(DecodeToReading);

// The report line the list and the protocol file get, from the Reading.
void ReportLineOfReading(benchmark::State& state) {
    const std::vector<Reading> readings = MixedReadings();
    std::array<char, kReportLineCapacity> line{};
    std::size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(FormatReportLine(readings[next], line));
        next = next + 1 == readings.size() ? 0 : next + 1;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(ReportLineOfReading);

// Its JSON, into a string that is reused as the JSON Lines output reuses it.
void JsonOfReading(benchmark::State& state) {
    const std::vector<Reading> readings = MixedReadings();
    std::string json;
    std::size_t next = 0;
    for (auto _ : state) {
        json.clear();
        AppendReadingJson(readings[next], json);
        benchmark::DoNotOptimize(json.data());
        next = next + 1 == readings.size() ? 0 : next + 1;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(JsonOfReading);

// The MQTT sink's part of a tick per reading, with the broker away and the queue full, so
// that every reading also drops the oldest: the JSON, the state message, the tracker.
void MqttSinkWhileTheBrokerIsAway(benchmark::State& state) {
    const std::vector<Reading> readings = MixedReadings();
    MqttSettings settings;
    settings.host = "broker";
    settings.receiver = "bench";
    MqttOutbox outbox;
    testing::FakeWallClock wall;
    testing::FakeCoarseClock steady;
    SensorTracker tracker;
    MqttSink sink(settings, SensorNames(), outbox, tracker, wall, steady);
    JsonOutputs json;
    json.Add(sink);
    for (std::size_t i = 0; i < MqttOutbox::kDefaultCapacity; ++i) {
        json.Accept(readings[i % readings.size()]);
    }
    std::size_t next = 0;
    for (auto _ : state) {
        tracker.Accept(readings[next]);
        json.Accept(readings[next]);
        json.EndOfPoll();
        next = next + 1 == readings.size() ? 0 : next + 1;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(MqttSinkWhileTheBrokerIsAway);

}  // namespace
}  // namespace tavrolin
