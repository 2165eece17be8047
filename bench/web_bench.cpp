// SPDX-License-Identifier: GPL-3.0-or-later
// The browser view's answers on a ten-year archive of a 20-sensor station (every sensor every
// 3 minutes, 35 million readings): its start (the seed and the newest key), the overview's
// data (/api/sensors), a chart's series (/api/sensors/ID/series) of a thermo-hygrometer, the
// wind sensor and the rain gauge over a day, a year and the whole archive, the CSV of a day,
// /metrics and the front page's "Jetzt und heute" (/api/today). Each as the server makes it, to the
// JSON or text it sends, without the network.
//
// The archive is $TAVROLIN_BENCH_ARCHIVE, else archive-10y.sqlite beside this program:
// archive_bench builds it the first time it runs.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "BenchData.h"
#include "FakeClocks.h"
#include "web/Station.h"

namespace tavrolin {
namespace {

constexpr int64_t kEnd = 1735689600000;  // 2025-01-01 00:00 UTC: the archive's last reading
constexpr SensorKey kGarden{SensorKind::Outdoor, 1, false};
constexpr SensorKey kMast{SensorKind::Wind, 7, false};
constexpr SensorKey kGauge{SensorKind::Rain, 7, false};

WeatherSettings Weather() {
    WeatherSettings weather;
    weather.rain.mmPerStep[7] = Decimal{25, 2};
    return weather;
}

class Web : public benchmark::Fixture {
public:
    void SetUp(benchmark::State& state) override {
        path = bench::TenYearArchivePath();
        if (const std::string problem = bench::TenYearArchiveProblem(path); !problem.empty()) {
            state.SkipWithError(problem.c_str());
            return;
        }
        clock.SetInstant(FromUnixMs(kEnd));
        station = std::make_unique<Station>(SensorNames{}, Weather(), path, clock, clock);
        if (!station->Start()) {
            state.SkipWithError(station->Problem().c_str());
        }
    }
    void TearDown(benchmark::State&) override { station.reset(); }

    std::string path;
    testing::FakeWallClock clock;
    std::unique_ptr<Station> station;
};

BENCHMARK_DEFINE_F(Web, Start)(benchmark::State& state) {
    for (auto _ : state) {
        Station fresh(SensorNames{}, Weather(), path, clock, clock);
        benchmark::DoNotOptimize(fresh.Start());
    }
}
BENCHMARK_REGISTER_F(Web, Start)->Unit(benchmark::kMillisecond);

BENCHMARK_DEFINE_F(Web, Overview)(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(station->SensorsJson());
    }
}
BENCHMARK_REGISTER_F(Web, Overview)->Unit(benchmark::kMillisecond);

BENCHMARK_DEFINE_F(Web, Metrics)(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(station->Metrics());
    }
}
BENCHMARK_REGISTER_F(Web, Metrics)->Unit(benchmark::kMillisecond);

// state.range(0): the sensor (0 garden, 1 wind, 2 rain), state.range(1): the range.
BENCHMARK_DEFINE_F(Web, Series)(benchmark::State& state) {
    const SensorKey sensors[] = {kGarden, kMast, kGauge};
    const SensorKey sensor = sensors[state.range(0)];
    RangeQuery range;
    range.range = static_cast<ChartRange>(state.range(1));
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string json = station->SeriesJson(sensor, range);
        bytes = json.size();
        benchmark::DoNotOptimize(json);
    }
    state.SetLabel(std::string(SensorIdOf(sensor)) + " " + std::string(RangeName(range.range)) +
                   ", " + std::to_string(bytes / 1024) + " KiB");
}
BENCHMARK_REGISTER_F(Web, Series)
    ->ArgsProduct({{0, 1, 2},
                   {static_cast<int>(ChartRange::Day), static_cast<int>(ChartRange::Year),
                    static_cast<int>(ChartRange::All)}})
    ->Unit(benchmark::kMillisecond);

BENCHMARK_DEFINE_F(Web, CsvOfADay)(benchmark::State& state) {
    for (auto _ : state) {
        std::size_t bytes = 0;
        Station::CsvExport job = station->Csv(kGarden, RangeQuery{});
        std::string piece;
        while (station->CsvPiece(job, piece) && !piece.empty()) {
            bytes += piece.size();
        }
        benchmark::DoNotOptimize(bytes);
    }
}
BENCHMARK_REGISTER_F(Web, CsvOfADay)->Unit(benchmark::kMillisecond);

// The front page's "Jetzt und heute" (/api/today) of the station's main sensors (the
// lowest-numbered of each kind: outdoor-0, wind-7, rain-7, indoor-0), in the evening of the
// archive's last day: today's figures of four sensors, the rain of the hour, the days, the
// month and the year, the pressure three hours back.
BENCHMARK_DEFINE_F(Web, Today)(benchmark::State& state) {
    clock.SetInstant(FromUnixMs(kEnd - 5 * kMsPerHour));
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string json = station->TodayJson();
        bytes = json.size();
        benchmark::DoNotOptimize(json);
    }
    state.SetLabel(std::to_string(bytes) + " bytes");
}
BENCHMARK_REGISTER_F(Web, Today)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tavrolin
