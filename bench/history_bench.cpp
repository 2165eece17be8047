// SPDX-License-Identifier: GPL-3.0-or-later
// The window's history on a ten-year archive of a 20-sensor station (every sensor every
// 3 minutes, 35 million readings): opening the sensor overview, opening the chart of a
// thermo-hygrometer, the wind sensor, the brightness sensor and the rain gauge (bars per hour
// or day) over a day, a year and the whole archive, each time with a connection of its own, as the
// first opening in a new window is; switching a chart's range; and opening a second chart window
// beside a first. Measured to the drawn window: the archive's queries, building the table or the
// plot's lines, QCustomPlot's replot and a grab of the whole window, on Qt's offscreen platform.
//
// The archive is $TAVROLIN_BENCH_ARCHIVE, else archive-10y.sqlite beside this program:
// archive_bench builds it (about six minutes) the first time it runs.
#include <benchmark/benchmark.h>

#include <qcustomplot.h>
#include <unistd.h>
#include <QApplication>
#include <QPixmap>
#include <QTableWidget>
#include <QWheelEvent>
#include <cstdlib>
#include <memory>
#include <string>

#include "BenchData.h"
#include "FakeClocks.h"
#include "history/ArchiveSeed.h"
#include "history/Climate.h"
#include "history/History.h"
#include "platform/qt/ChartWindow.h"
#include "platform/qt/HistoryWindows.h"
#include "platform/qt/SensorOverviewWindow.h"

namespace tavrolin {
namespace {

constexpr int64_t kEnd = 1735689600000;  // 2025-01-01 00:00 UTC: the archive's last reading
constexpr SensorKey kGarden{SensorKind::Outdoor, 1, false};
// The station's wind, brightness and rain sensors (archive_bench's StationSensor).
constexpr SensorKey kMast{SensorKind::Wind, 7, false};
constexpr SensorKey kRoof{SensorKind::Brightness, 7, false};
constexpr SensorKey kGauge{SensorKind::Rain, 7, false};
constexpr SensorKey kSensors[] = {kGarden, kMast, kRoof, kGauge};

// The rain in millimetres, as a station with [Regen] shows it.
WeatherSettings Weather() {
    WeatherSettings weather;
    weather.rain.mmPerStep[7] = Decimal{25, 2};
    return weather;
}

std::string Label(const SensorKey& sensor, ChartRange range) {
    return std::string(SensorIdOf(sensor)) + " " + std::string(RangeLabel(range));
}

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

// What the program does at its start with the archive on.
void Seed(const std::string& path, SensorTracker& tracker) {
    Archive archive;
    archive.Open(path, Archive::Access::Read, 1000);
    WeatherDerivation derivation(Weather());
    SeedFromArchive(archive, derivation, tracker);
}

bool Ready(benchmark::State& state, const std::string& path) {
    if (const std::string problem = bench::TenYearArchiveProblem(path); !problem.empty()) {
        state.SkipWithError(problem.c_str());
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
    testing::FakeWallClock clock(LocalTimeAt(FromUnixMs(kEnd), 3600));
    int rows = 0;
    for (auto _ : state) {
        // As the program starts: the tracker seeded from the archive, then the window.
        SensorTracker tracker;
        Seed(path, tracker);
        History history(SensorNames(), tracker, path, clock, clock, {});
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
    const SensorKey sensor = kSensors[state.range(1)];
    testing::FakeWallClock clock(LocalTimeAt(FromUnixMs(kEnd), 3600));
    std::size_t points = 0;
    int64_t bucket = 0;
    SensorTracker tracker;
    Seed(path, tracker);
    for (auto _ : state) {
        History history(SensorNames(), tracker, path, clock, clock, Weather());
        ChartWindow window(history, nullptr);
        window.Show(sensor, range);
        const QPixmap drawn = window.grab();
        benchmark::DoNotOptimize(drawn.cacheKey());
        points = window.Model().Data().points.size();
        bucket = window.Model().Data().bucketMs;
    }
    state.SetLabel(Label(sensor, range));
    state.counters["points"] = static_cast<double>(points);
    state.counters["bucket_minutes"] = static_cast<double>(bucket) / 60000.0;
}
BENCHMARK(ChartOpens)
    ->ArgsProduct({{static_cast<int>(ChartRange::Day), static_cast<int>(ChartRange::Year),
                    static_cast<int>(ChartRange::All)},
                   {0, 1, 2, 3}})
    ->Unit(benchmark::kMillisecond);

// The chart's second part alone: a chart whose overview is loaded (opened from the
// overview) switching its range.
void ChartSwitchesRange(benchmark::State& state) {
    const std::string path = bench::TenYearArchivePath();
    if (!Ready(state, path)) {
        return;
    }
    const auto range = static_cast<ChartRange>(state.range(0));
    const SensorKey sensor = kSensors[state.range(1)];
    testing::FakeWallClock clock(LocalTimeAt(FromUnixMs(kEnd), 3600));
    SensorTracker tracker;
    Seed(path, tracker);
    History history(SensorNames(), tracker, path, clock, clock, {});
    ChartWindow window(history, nullptr);
    for (auto _ : state) {
        window.Show(sensor, range);
        const QPixmap drawn = window.grab();
        benchmark::DoNotOptimize(drawn.cacheKey());
    }
    state.SetLabel(Label(sensor, range));
}
BENCHMARK(ChartSwitchesRange)
    ->ArgsProduct({{static_cast<int>(ChartRange::Day), static_cast<int>(ChartRange::Year),
                    static_cast<int>(ChartRange::All)},
                   {0, 1, 2, 3}})
    ->Unit(benchmark::kMillisecond);

// A second chart window beside the garden's, as a double click in the overview opens it:
// the window, the archive's query on the connection the first one opened, the drawing.
void SecondChartOpens(benchmark::State& state) {
    const std::string path = bench::TenYearArchivePath();
    if (!Ready(state, path)) {
        return;
    }
    const auto range = static_cast<ChartRange>(state.range(0));
    testing::FakeWallClock clock(LocalTimeAt(FromUnixMs(kEnd), 3600));
    SensorTracker tracker;
    Seed(path, tracker);
    History history(SensorNames(), tracker, path, clock, clock, {});
    HistoryWindows windows(history);
    windows.ShowChart(nullptr, kGarden, range);
    for (auto _ : state) {
        ChartWindow* second = windows.ShowChart(nullptr, kMast, range);
        const QPixmap drawn = second->grab();
        benchmark::DoNotOptimize(drawn.cacheKey());
        state.PauseTiming();
        delete second;
        state.ResumeTiming();
    }
    state.SetLabel(Label(kMast, range));
}
BENCHMARK(SecondChartOpens)
    ->Arg(static_cast<int>(ChartRange::Day))
    ->Arg(static_cast<int>(ChartRange::Year))
    ->Arg(static_cast<int>(ChartRange::All))
    ->Unit(benchmark::kMillisecond);

// Zooming and panning a year's chart: the wheel's redraw of what is drawn (the time axes of
// every panel and their ticks), before the span shown is fetched (which costs what a chosen
// span does, below).
void ZoomRedraw(benchmark::State& state) {
    const std::string path = bench::TenYearArchivePath();
    if (!Ready(state, path)) {
        return;
    }
    const SensorKey sensor = kSensors[state.range(0)];
    testing::FakeWallClock clock(LocalTimeAt(FromUnixMs(kEnd), 3600));
    SensorTracker tracker;
    Seed(path, tracker);
    History history(SensorNames(), tracker, path, clock, clock, Weather());
    ChartWindow window(history, nullptr);
    window.resize(1000, 700);
    window.Show(sensor, ChartRange::Year);
    QCPAxisRect* rect = window.Plot()->axisRect(0);
    const QPointF centre = rect->center();
    int turn = 0;
    for (auto _ : state) {
        // In and out in turn, so that the span stays a year's.
        const int delta = (turn++ % 2 == 0) ? 120 : -120;
        QWheelEvent wheel(centre, window.Plot()->mapToGlobal(centre), QPoint(), QPoint(0, delta),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(window.Plot(), &wheel);
        const QPixmap drawn = window.Plot()->grab();
        benchmark::DoNotOptimize(drawn.cacheKey());
    }
    state.SetLabel(Label(sensor, ChartRange::Year));
}
BENCHMARK(ZoomRedraw)->Arg(0)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond);

// A span of one's own over the whole archive (Zeitraum..., or zoomed out all the way): the
// archive's answer and the drawing.
void ChosenSpanOfTheWholeArchive(benchmark::State& state) {
    const std::string path = bench::TenYearArchivePath();
    if (!Ready(state, path)) {
        return;
    }
    const SensorKey sensor = kSensors[state.range(0)];
    testing::FakeWallClock clock(LocalTimeAt(FromUnixMs(kEnd), 3600));
    SensorTracker tracker;
    Seed(path, tracker);
    History history(SensorNames(), tracker, path, clock, clock, Weather());
    ChartWindow window(history, nullptr);
    window.resize(1000, 700);
    window.Show(sensor, ChartRange::Day);
    const Instant first = *history.Overview().FirstSeen(sensor);
    std::size_t points = 0;
    for (auto _ : state) {
        window.ShowSpan(first, FromUnixMs(kEnd));
        const QPixmap drawn = window.grab();
        benchmark::DoNotOptimize(drawn.cacheKey());
        points = window.Model().Data().points.size();
    }
    state.SetLabel(Label(sensor, ChartRange::Chosen));
    state.counters["points"] = static_cast<double>(points);
}
BENCHMARK(ChosenSpanOfTheWholeArchive)->Arg(0)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond);

// tavrolin-history report and records: a month's and a year's report of a sensor (the
// thermo-hygrometer, the wind sensor, the rain gauge), and all records of a sensor over the
// decade, each with an archive opened for it, as a run of the program has.
void Climate(benchmark::State& state, int month, bool records) {
    const std::string path = bench::TenYearArchivePath();
    if (!Ready(state, path)) {
        return;
    }
    constexpr SensorKey kClimateSensors[] = {kGarden, kMast, kGauge};
    const SensorKey sensor = kClimateSensors[state.range(0)];
    const FixedOffsetZone zone(3600);
    std::optional<Milliseconds> period;
    {
        Archive archive;
        archive.Open(path, Archive::Access::Read, 1000);
        std::vector<SensorSummary> sensors;
        ListSensors(archive, sensors);
        for (const SensorSummary& s : sensors) {
            period = s.key == sensor ? s.usualPeriod : period;
        }
    }
    std::size_t rows = 0;
    for (auto _ : state) {
        Archive archive;
        archive.Open(path, Archive::Access::Read, 1000);
        if (records) {
            std::vector<ClimateRecord> found;
            ComputeClimateRecords(archive, sensor, zone, Weather(), found);
            rows = found.size();
        } else {
            ClimateReport report;
            ComputeClimateReport(
                archive, {sensor, 2024, month, &zone, Weather(), period, FromUnixMs(kEnd)}, report);
            rows = report.days.size() + report.months.size();
            benchmark::DoNotOptimize(report.total.readings);
        }
    }
    state.SetLabel(std::string(SensorIdOf(sensor)));
    state.counters["rows"] = static_cast<double>(rows);
}
void ReportOfAMonth(benchmark::State& state) {
    Climate(state, 7, false);
}
void ReportOfAYear(benchmark::State& state) {
    Climate(state, 0, false);
}
void RecordsOfTheDecade(benchmark::State& state) {
    Climate(state, 0, true);
}
BENCHMARK(ReportOfAMonth)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(ReportOfAYear)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(RecordsOfTheDecade)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tavrolin
