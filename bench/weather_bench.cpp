// SPDX-License-Identifier: GPL-3.0-or-later
// What deriving the weather values adds to a telegram: at most 0.5 µs each.
#include <benchmark/benchmark.h>

#include <vector>

#include "BenchData.h"
#include "decode/TelegramDecoder.h"
#include "platform/posix/SystemClocks.h"
#include "weather/WeatherDerivation.h"

namespace tavrolin {
namespace {

std::vector<Reading> Decoded(const std::vector<bench::Telegram>& telegrams) {
    SystemWallClock clock;
    SystemTimeZone zone;
    TelegramDecoder decoder(clock, zone);
    std::vector<Reading> readings;
    for (const bench::Telegram& t : telegrams) {
        readings.push_back(*decoder.Decode(t));
    }
    return readings;
}

void Derive(benchmark::State& state, std::vector<Reading> readings) {
    WeatherSettings settings;
    settings.rain.mmPerStep.fill(Decimal{25, 2});
    settings.station.altitudeMetres = 312;
    WeatherDerivation derivation(settings);
    std::size_t next = 0;
    for (auto _ : state) {
        // In place: what a reading already carries is derived anew.
        derivation.Derive(readings[next]);
        benchmark::DoNotOptimize(readings[next]);
        next = next + 1 == readings.size() ? 0 : next + 1;
    }
    state.SetItemsProcessed(state.iterations());
}

// One telegram of every kind, as a station sends them.
void DeriveMixed(benchmark::State& state) {
    Derive(state, Decoded(bench::kMixed));
}
BENCHMARK(DeriveMixed);

// The dearest kinds alone: the rain tally's hour, and the indoor sensor's logarithm and power.
void DeriveRain(benchmark::State& state) {
    Derive(state, Decoded({{0x20, 0x35, 0x3C, 0, 0, 0, 0x03}, {0x21, 0x35, 0x40, 0, 0, 0, 0x03}}));
}
BENCHMARK(DeriveRain);

void DeriveIndoor(benchmark::State& state) {
    Derive(state, Decoded({{0x4A, 1, 87, 45, 7, 117, 0x03}, {0x41, 1, 80, 60, 7, 110, 0x03}}));
}
BENCHMARK(DeriveIndoor);

}  // namespace
}  // namespace tavrolin
