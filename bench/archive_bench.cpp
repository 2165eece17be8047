// SPDX-License-Identifier: GPL-3.0-or-later
// The archive's costs: the writing a receiving program adds (CPU per poll, the share of one
// core at 200 readings a second, bytes per reading on disk), and on a ten-year archive of a
// 20-sensor station (35 million readings) the chart queries, the sensor list and the export.
//
// The ten-year archive is built once by a generator (bulk transactions through the same
// write path) into $TAVROLIN_BENCH_ARCHIVE, by default archive-10y.sqlite beside this
// program, and reused by later runs; it is about 1 GB and stays out of the repository.
// $TAVROLIN_BENCH_DAYS sets the days the bytes-per-reading run writes (default 30; 365 for
// the year figure).
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "BenchData.h"
#include "TempDir.h"
#include "archive/Archive.h"
#include "archive/ArchiveQuery.h"
#include "archive/ArchiveSchema.h"
#include "archive/ArchiveSink.h"
#include "archive/ArchiveWriter.h"
#include "archive/ReadingImport.h"
#include "archive/TimeText.h"
#include "decode/ReadingJson.h"
#include "history/ArchiveSeed.h"
#include "history/HistoryTool.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/SystemClocks.h"

namespace tavrolin {
namespace {

constexpr int64_t kStart = 1735689600000;  // 2025-01-01 00:00 UTC
constexpr int64_t kPeriodMs = 180000;      // every sensor every 3 minutes
constexpr int kOffset = 3600;              // CET

// A station of 20 sensors: 8 thermo-hygrometers, 4 thermometers, 4 indoor sensors, rain,
// wind, brightness and a pyranometer.
SensorKey StationSensor(int i) {
    if (i < 8) {
        return {SensorKind::Outdoor, static_cast<uint8_t>(i), false};
    }
    if (i < 12) {
        return {SensorKind::TempOnly, static_cast<uint8_t>(i - 8), false};
    }
    if (i < 16) {
        return {SensorKind::Indoor, static_cast<uint8_t>(i - 12), false};
    }
    constexpr SensorKind kRest[] = {SensorKind::Rain, SensorKind::Wind, SensorKind::Brightness,
                                    SensorKind::Pyranometer};
    return {kRest[i - 16], 7, false};
}

// A reading of sensor i at UTC time t: values that follow the year and the day with a
// little noise, as the file's compression of small numbers sees them.
Reading StationReading(int i, int64_t t, uint32_t& noise) {
    noise = noise * 1664525u + 1013904223u;
    const double day = static_cast<double>(t - kStart) / kMsPerDay;
    const double temperature = 8 + 10 * std::sin(day / 365.25 * 2 * M_PI - 1.8) +
                               5 * std::sin(day * 2 * M_PI - 2) + (noise >> 28) * 0.1;
    const SensorKey key = StationSensor(i);
    Reading r;
    r.time = FromUnixMs(t);
    r.utcOffsetSeconds = kOffset;
    r.kind = key.kind;
    r.address = key.address;
    r.interval = Milliseconds(kPeriodMs + (noise >> 24) % 5);
    const int32_t tenths = static_cast<int32_t>(std::lround(temperature * 10));
    const int32_t humidity = 60 + static_cast<int32_t>(noise >> 27);
    for (const Quantity q : QuantitiesOf(key.kind)) {
        int32_t raw = static_cast<int32_t>(noise >> 26);
        switch (q) {
            case Quantity::Temperature:
                raw = key.kind == SensorKind::Indoor ? 210 + raw : tenths;
                break;
            case Quantity::Humidity:
                raw = humidity;
                break;
            case Quantity::Pressure:
                raw = 1013 + raw % 8;
                break;
            case Quantity::RainCounter:
                raw = static_cast<int32_t>(day * 3) % 8192;
                break;
            case Quantity::WindDirection:
                raw = static_cast<int32_t>(noise >> 23) % 360;
                break;
            default:
                break;
        }
        r.values[r.valueCount++] = {q, raw};
    }
    return r;
}

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// One transaction of 10 readings (a poll at 200 readings a second, 20 polls a second) or of
// 200 (the second's polls, which the sink gathers at that pace), into a file on disk, WAL
// checkpoints and folds included as they come.
void WriteOneTransaction(benchmark::State& state) {
    testing::TempDir dir;
    Archive archive;
    if (!archive.Open(dir.File("a.sqlite"), Archive::Access::Write, 250).Ok()) {
        state.SkipWithError("cannot open");
        return;
    }
    uint32_t noise = 1;
    int64_t t = kStart;
    const int n = static_cast<int>(state.range(0));
    std::vector<Reading> poll(n);
    for (auto _ : state) {
        for (int k = 0; k < n; ++k) {
            poll[static_cast<std::size_t>(k)] = StationReading(k % 20, t, noise);
            t += 5;
        }
        if (!archive.Write(poll).Ok()) {
            state.SkipWithError("write failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(WriteOneTransaction)->Arg(10)->Arg(200)->Unit(benchmark::kMicrosecond);

// The whole sink as a program runs it: ten readings per 50 ms poll handed over on the tick,
// written on the sink's thread, for 20 seconds of real time; the counter is the process's
// CPU time over that time, in percent of one core (everything else here sleeps).
void SinkAt200ReadingsPerSecond(benchmark::State& state) {
    testing::TempDir dir;
    uint32_t noise = 1;
    // Argument 1: the same without SQLite (an archive in a missing folder; the readings wait
    // in memory): the cost of this loop and of the thread hand-over alone.
    const std::string path = dir.File(state.range(0) == 0 ? "a.sqlite" : "missing/a.sqlite");
    for (auto _ : state) {
        ArchiveSink sink(path);
        sink.WaitIdle(std::chrono::steady_clock::now() + std::chrono::seconds(5));
        const double cpu0 = ProcessCpuSeconds();
        const auto wall0 = std::chrono::steady_clock::now();
        auto next = wall0;
        int64_t t = kStart;
        for (int poll = 0; poll < 400; ++poll) {
            for (int k = 0; k < 10; ++k) {
                sink.Accept(StationReading(k * 2, t, noise));
                t += 5;
            }
            sink.EndOfPoll();
            next += std::chrono::milliseconds(50);
            std::this_thread::sleep_until(next);
        }
        sink.WaitIdle(std::chrono::steady_clock::now() + std::chrono::seconds(5));
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
        state.counters["core_percent"] = 100.0 * (ProcessCpuSeconds() - cpu0) / wall;
        sink.Finish();
    }
}
BENCHMARK(SinkAt200ReadingsPerSecond)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond);

// A station of 20 sensors, each every 3 minutes, written as the programs write it: each
// reading in a transaction of its own (at this pace a poll holds one). The file's size
// after the last checkpoint, per reading.
void BytesPerReading(benchmark::State& state) {
    const char* daysText = std::getenv("TAVROLIN_BENCH_DAYS");
    const int days = daysText != nullptr ? std::atoi(daysText) : 30;
    testing::TempDir dir;
    const std::string path = dir.File("a.sqlite");
    for (auto _ : state) {
        Archive archive;
        archive.Open(path, Archive::Access::Write, 250);
        uint32_t noise = 1;
        // Each sensor on its own phase, a few milliseconds of jitter.
        std::vector<int64_t> next(20);
        for (int i = 0; i < 20; ++i) {
            next[static_cast<std::size_t>(i)] = kStart + i * 9000 + i * 7;
        }
        const int64_t end = kStart + days * kMsPerDay;
        int64_t count = 0;
        for (;;) {
            std::size_t due = 0;
            for (std::size_t i = 1; i < next.size(); ++i) {
                due = next[i] < next[due] ? i : due;
            }
            if (next[due] >= end) {
                break;
            }
            const Reading r = StationReading(static_cast<int>(due), next[due], noise);
            archive.Write(std::span<const Reading>(&r, 1));
            next[due] += kPeriodMs + (noise >> 29);
            ++count;
        }
        archive.Db().Exec("PRAGMA wal_checkpoint(TRUNCATE)");
        archive.Close();
        const auto bytes = static_cast<double>(std::filesystem::file_size(path));
        state.counters["readings"] = static_cast<double>(count);
        state.counters["bytes_per_reading"] = bytes / static_cast<double>(count);
        state.counters["MB_per_year"] = bytes / days * 365 / 1e6;
    }
}
BENCHMARK(BytesPerReading)->Iterations(1)->Unit(benchmark::kSecond);

// --- The ten-year archive ------------------------------------------------------------------

constexpr int kYears = 10;
constexpr int64_t kTenYearsMs = kYears * 365 * kMsPerDay + 2 * kMsPerDay;  // two leap days

// Builds the archive unless it is there (then brings it up to the current format): per
// sensor, one transaction per year of readings, in key order, through Archive::Write (which
// sums each hour once per transaction).
bool EnsureTenYearArchive(const std::string& path, std::string& error) {
    if (std::filesystem::exists(path)) {
        error = bench::TenYearArchiveProblem(path);
        return error.empty();
    }
    const std::string building = path + ".building";
    std::filesystem::remove(building);
    Archive archive;
    if (ArchiveStatus s = archive.Open(building, Archive::Access::Write, 1000); !s.Ok()) {
        error = "cannot create " + building + s.Describe();
        return false;
    }
    archive.Db().Exec("PRAGMA synchronous=OFF; PRAGMA cache_size=-262144");
    std::fprintf(stderr, "building the ten-year archive %s ...\n", path.c_str());
    const auto begin = std::chrono::steady_clock::now();
    uint32_t noise = 7;
    std::vector<Reading> batch;
    int64_t total = 0;
    for (int i = 0; i < 20; ++i) {
        int64_t t = kStart - kTenYearsMs + i * 9000;
        for (int year = 0; year < kYears + 1; ++year) {
            const int64_t yearEnd = std::min(kStart, t + 366 * kMsPerDay);
            batch.clear();
            for (; t < yearEnd; t += kPeriodMs + (noise >> 29)) {
                batch.push_back(StationReading(i, t, noise));
            }
            if (ArchiveStatus s = archive.Write(batch); !s.Ok()) {
                error = "write failed" + s.Describe();
                return false;
            }
            total += static_cast<int64_t>(batch.size());
        }
    }
    archive.Db().Exec("PRAGMA wal_checkpoint(TRUNCATE)");
    archive.Close();
    std::filesystem::rename(building, path);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    std::fprintf(stderr, "%lld readings in %.0f s (%.0f readings/s), %.0f MB\n",
                 static_cast<long long>(total), seconds, static_cast<double>(total) / seconds,
                 static_cast<double>(std::filesystem::file_size(path)) / 1e6);
    return true;
}

class TenYears : public benchmark::Fixture {
public:
    void SetUp(const benchmark::State& state) override {
        (void)state;
        path = bench::TenYearArchivePath();
        ready = EnsureTenYearArchive(path, error);
    }
    std::string path;
    bool ready = false;
    std::string error;
};

constexpr SensorKey kGarden{SensorKind::Outdoor, 1, false};

// Opening the archive and querying one sensor's series, as the chart window does.
void ChartSeries(benchmark::State& state, const std::string& path, int64_t range) {
    int64_t points = 0, bucket = 0;
    for (auto _ : state) {
        Archive archive;
        archive.Open(path, Archive::Access::Read, 1000);
        Series series;
        const FixedOffsetZone zone(kOffset);
        QuerySeries(archive, {kGarden, FromUnixMs(kStart - range), FromUnixMs(kStart), 2000, &zone},
                    series);
        points = static_cast<int64_t>(series.points.size());
        bucket = series.bucketMs;
    }
    state.counters["points"] = static_cast<double>(points);
    state.counters["bucket_minutes"] = static_cast<double>(bucket) / 60000.0;
}

BENCHMARK_DEFINE_F(TenYears, ChartOfOneDay)(benchmark::State& state) {
    if (!ready) {
        state.SkipWithError(error.c_str());
        return;
    }
    ChartSeries(state, path, kMsPerDay);
}
BENCHMARK_REGISTER_F(TenYears, ChartOfOneDay)->Unit(benchmark::kMillisecond);

BENCHMARK_DEFINE_F(TenYears, ChartOfOneYear)(benchmark::State& state) {
    if (!ready) {
        state.SkipWithError(error.c_str());
        return;
    }
    ChartSeries(state, path, 365 * kMsPerDay);
}
BENCHMARK_REGISTER_F(TenYears, ChartOfOneYear)->Unit(benchmark::kMillisecond);

BENCHMARK_DEFINE_F(TenYears, ChartOfTheWholeArchive)(benchmark::State& state) {
    if (!ready) {
        state.SkipWithError(error.c_str());
        return;
    }
    ChartSeries(state, path, kTenYearsMs + kMsPerDay);
}
BENCHMARK_REGISTER_F(TenYears, ChartOfTheWholeArchive)->Unit(benchmark::kMillisecond);

// What a receiving program does at its start with the archive on (SeedFromArchive): every
// sensor's last readings into the tracker, and where each rain sensor's totals stand, its
// day's and hour's readings counted.
BENCHMARK_DEFINE_F(TenYears, SeededAtStart)(benchmark::State& state) {
    if (!ready) {
        state.SkipWithError(error.c_str());
        return;
    }
    std::size_t sensors = 0;
    for (auto _ : state) {
        Archive archive;
        archive.Open(path, Archive::Access::Read, 1000);
        WeatherDerivation derivation({});
        SensorTracker tracker;
        std::vector<SensorSummary> list;
        SeedFromArchive(archive, derivation, tracker, &list);
        sensors = list.size();
    }
    state.counters["sensors"] = static_cast<double>(sensors);
}
BENCHMARK_REGISTER_F(TenYears, SeededAtStart)->Unit(benchmark::kMillisecond);

// A year of rain per day, as the rain gauge's chart asks it.
BENCHMARK_DEFINE_F(TenYears, RainOfOneYear)(benchmark::State& state) {
    if (!ready) {
        state.SkipWithError(error.c_str());
        return;
    }
    std::size_t days = 0;
    for (auto _ : state) {
        Archive archive;
        archive.Open(path, Archive::Access::Read, 1000);
        Series series;
        const FixedOffsetZone zone(kOffset);
        QueryRain(archive,
                  {{SensorKind::Rain, 7, false},
                   FromUnixMs(kStart - 365 * kMsPerDay),
                   FromUnixMs(kStart),
                   0,
                   &zone},
                  kMsPerDay, series);
        days = series.points.size();
    }
    state.counters["days"] = static_cast<double>(days);
}
BENCHMARK_REGISTER_F(TenYears, RainOfOneYear)->Unit(benchmark::kMillisecond);

BENCHMARK_DEFINE_F(TenYears, SensorList)(benchmark::State& state) {
    if (!ready) {
        state.SkipWithError(error.c_str());
        return;
    }
    std::size_t sensors = 0;
    for (auto _ : state) {
        Archive archive;
        archive.Open(path, Archive::Access::Read, 1000);
        std::vector<SensorSummary> list;
        ListSensors(archive, list);
        sensors = list.size();
    }
    state.counters["sensors"] = static_cast<double>(sensors);
}
BENCHMARK_REGISTER_F(TenYears, SensorList)->Unit(benchmark::kMillisecond);

// tavrolin-history export of one sensor-year as CSV and as JSON Lines, to /dev/null.
void ExportOneYear(benchmark::State& state, const std::string& path, const char* format) {
    PosixFileSystem files;
    std::FILE* sink = std::fopen("/dev/null", "w");
    SystemTimeZone zone;
    const HistoryEnvironment env{files, zone,  "/nonexistent/tavrolin.INI", path, stdin,
                                 sink,  stderr};
    const std::vector<std::string_view> args{"--archive",  path,       "export",     "--sensor",
                                             "outdoor-1",  "--from",   "2024-01-01", "--to",
                                             "2024-12-31", "--format", format};
    int64_t rows = 0;
    {
        Archive archive;
        archive.Open(path, Archive::Access::Read, 1000);
        ForEachReading(archive, kGarden, StartOfLocalDay(zone, DayNumberOf(2024, 1, 1)),
                       StartOfLocalDay(zone, DayNumberOf(2025, 1, 1)),
                       [&rows](const Reading&) { ++rows; });
    }
    for (auto _ : state) {
        if (RunHistory(args, env) != 0) {
            state.SkipWithError("export failed");
        }
    }
    std::fclose(sink);
    state.SetItemsProcessed(state.iterations() * rows);
    state.counters["rows"] = static_cast<double>(rows);
}

BENCHMARK_DEFINE_F(TenYears, ExportOneSensorYearCsv)(benchmark::State& state) {
    if (!ready) {
        state.SkipWithError(error.c_str());
        return;
    }
    ExportOneYear(state, path, "csv");
}
BENCHMARK_REGISTER_F(TenYears, ExportOneSensorYearCsv)->Unit(benchmark::kMillisecond);

BENCHMARK_DEFINE_F(TenYears, ExportOneSensorYearJson)(benchmark::State& state) {
    if (!ready) {
        state.SkipWithError(error.c_str());
        return;
    }
    ExportOneYear(state, path, "json");
}
BENCHMARK_REGISTER_F(TenYears, ExportOneSensorYearJson)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tavrolin

namespace tavrolin {
namespace {
// The fixed cost of a transaction: one reading in it.
void WriteOnePollOfOneReading(benchmark::State& state) {
    testing::TempDir dir;
    Archive archive;
    archive.Open(dir.File("a.sqlite"), Archive::Access::Write, 250);
    uint32_t noise = 1;
    int64_t t = kStart;
    for (auto _ : state) {
        const Reading r = StationReading(static_cast<int>(t % 20), t, noise);
        t += 5;
        archive.Write(std::span<const Reading>(&r, 1));
    }
}
BENCHMARK(WriteOnePollOfOneReading)->Unit(benchmark::kMicrosecond);
}  // namespace
}  // namespace tavrolin

namespace tavrolin {
namespace {
// `tavrolin-history import`: one line of the station's JSON Lines back into a reading (the
// parse alone; the archive's writing is measured above).
void ImportOneLine(benchmark::State& state) {
    uint32_t noise = 1;
    std::vector<std::string> lines;
    for (int sensor = 0; sensor < 20; ++sensor) {
        AppendReadingJson(StationReading(sensor, kStart + sensor, noise), lines.emplace_back());
    }
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ParseReadingJson(lines[i++ % lines.size()]));
    }
}
BENCHMARK(ImportOneLine)->Unit(benchmark::kMicrosecond);
}  // namespace
}  // namespace tavrolin
