// SPDX-License-Identifier: GPL-3.0-or-later
// The window's history on a ten-year archive of a 20-sensor station (every sensor every
// 3 minutes, 35 million readings): opening the sensor overview, and opening the chart of one
// sensor over a day, a year and the whole archive, each time with a connection of its own,
// as the first opening in a new window is. Measured to the drawn window: the archive's
// queries, building the table or the plot's lines, QCustomPlot's replot and a grab of the
// whole window, on Qt's offscreen platform.
//
// The archive is $TAVROLIN_BENCH_ARCHIVE, else archive-10y.sqlite beside this program:
// archive_bench builds it (about six minutes) the first time it runs.
#include <benchmark/benchmark.h>

#include <unistd.h>
#include <QApplication>
#include <QPixmap>
#include <QTableWidget>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "BenchData.h"
#include "FakeClocks.h"
#include "history/History.h"
#include "platform/qt/ChartWindow.h"
#include "platform/qt/SensorOverviewWindow.h"

namespace tavrolin {
namespace {

constexpr int64_t kEnd = 1735689600000;  // 2025-01-01 00:00 UTC: the archive's last reading
constexpr SensorKey kGarden{SensorKind::Outdoor, 1, false};

QApplication& App() {
    static int argc = 1;
    static char name[] = "history_bench";
    static char* argv[] = {name, nullptr};
    static std::unique_ptr<QApplication> app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return std::make_unique<QApplication>(argc, argv);
    }();
    return *app;
}

bool Ready(benchmark::State& state, const std::string& path) {
    if (!std::filesystem::exists(path)) {
        state.SkipWithError(("no archive " + path + ": run archive_bench first").c_str());
        return false;
    }
    App();
    return true;
}

void OverviewOpens(benchmark::State& state) {
    const std::string path = bench::TenYearArchivePath();
    if (!Ready(state, path)) {
        return;
    }
    testing::FakeLocalClock clock(FromUnixMs(kEnd, 3600));
    int rows = 0;
    for (auto _ : state) {
        SensorTracker tracker;
        History history(SensorNames(), tracker, path, clock);
        SensorOverviewWindow window(history, nullptr);
        window.resize(900, 600);
        const QPixmap drawn = window.grab();
        benchmark::DoNotOptimize(drawn.cacheKey());
        rows = window.Table()->rowCount();
    }
    state.counters["sensors"] = rows;
}
BENCHMARK(OverviewOpens)->Unit(benchmark::kMillisecond);

void ChartOpens(benchmark::State& state) {
    const std::string path = bench::TenYearArchivePath();
    if (!Ready(state, path)) {
        return;
    }
    const auto range = static_cast<ChartRange>(state.range(0));
    testing::FakeLocalClock clock(FromUnixMs(kEnd, 3600));
    std::size_t points = 0;
    int64_t bucket = 0;
    for (auto _ : state) {
        SensorTracker tracker;
        History history(SensorNames(), tracker, path, clock);
        ChartWindow window(history, nullptr);
        window.Show(kGarden, range);
        const QPixmap drawn = window.grab();
        benchmark::DoNotOptimize(drawn.cacheKey());
        points = window.Model().Data().points.size();
        bucket = window.Model().Data().bucketMs;
    }
    state.SetLabel(std::string(RangeLabel(range)));
    state.counters["points"] = static_cast<double>(points);
    state.counters["bucket_minutes"] = static_cast<double>(bucket) / 60000.0;
}
BENCHMARK(ChartOpens)
    ->Arg(static_cast<int>(ChartRange::Day))
    ->Arg(static_cast<int>(ChartRange::Year))
    ->Arg(static_cast<int>(ChartRange::All))
    ->Unit(benchmark::kMillisecond);

// The chart's second part alone: a chart whose overview is loaded (opened from the
// overview) switching its range.
void ChartSwitchesRange(benchmark::State& state) {
    const std::string path = bench::TenYearArchivePath();
    if (!Ready(state, path)) {
        return;
    }
    const auto range = static_cast<ChartRange>(state.range(0));
    testing::FakeLocalClock clock(FromUnixMs(kEnd, 3600));
    SensorTracker tracker;
    History history(SensorNames(), tracker, path, clock);
    ChartWindow window(history, nullptr);
    for (auto _ : state) {
        window.Show(kGarden, range);
        const QPixmap drawn = window.grab();
        benchmark::DoNotOptimize(drawn.cacheKey());
    }
    state.SetLabel(std::string(RangeLabel(range)));
}
BENCHMARK(ChartSwitchesRange)
    ->Arg(static_cast<int>(ChartRange::Year))
    ->Arg(static_cast<int>(ChartRange::All))
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tavrolin
