// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/History.h"

#include <algorithm>

#include "base/FileSystem.h"
#include "history/Export.h"

namespace tavrolin {

namespace {

// Reading waits for a writer only while the file is being made or brought up to date.
constexpr int kBusyMs = 200;
constexpr Milliseconds kRetry{60000};

}  // namespace

bool History::Open() {
    if (m_path.empty()) {
        return false;
    }
    if (m_archive.IsOpen() && !m_archive.Stale() && !m_archive.Moved()) {
        return true;
    }
    const Instant now = Now();
    if (m_nextTry && now < *m_nextTry && now > *m_nextTry - kRetry) {
        return false;
    }
    const ArchiveStatus status = m_archive.Open(m_path, Archive::Access::Read, kBusyMs);
    if (!status.Ok()) {
        m_problem = status.Unreadable(m_path);
        m_nextTry = now + kRetry;
        return false;
    }
    m_nextTry.reset();
    m_problem.clear();
    return true;
}

void History::ShowChart(ChartModel& chart, const SensorKey& sensor, ChartRange range) {
    chart.Choose(sensor, range, Now(), m_overview.FirstSeen(sensor), m_overview.LastSeen(sensor));
    Fill(chart);
}

void History::ShowSpan(ChartModel& chart, const SensorKey& sensor, Instant from, Instant to) {
    chart.ChooseSpan(sensor, from, to, m_overview.LastSeen(sensor));
    Fill(chart);
}

bool History::ExportShown(const ChartModel& chart,
                          const std::function<void(std::string_view)>& write) {
    if (!Open()) {
        return false;
    }
    const ArchiveStatus status = ExportReadings(m_archive, chart.Sensor(), chart.From(), chart.To(),
                                                m_weather, ExportFormat::Csv, write);
    if (!status.Ok()) {
        Failed(status);
    }
    return status.Ok();
}

std::vector<SensorSummary> History::Sensors() {
    std::vector<SensorSummary> sensors;
    if (Open()) {
        if (const ArchiveStatus status = ListSensors(m_archive, sensors); !status.Ok()) {
            Failed(status);
            sensors.clear();
        }
    }
    return sensors;
}

std::vector<SensorKey> History::MainSensors(const std::vector<SensorSummary>& sensors) const {
    std::vector<SensorKey> known;
    for (const SensorSummary& s : sensors) {
        known.push_back(s.key);
    }
    std::vector<SensorKey> main = m_station.All(known);
    std::erase_if(main, [&](const SensorKey& key) {
        return std::find(known.begin(), known.end(), key) == known.end();
    });
    return main;
}

bool History::Report(const SensorSummary& sensor, int year, int month, ClimateReport& report) {
    if (!Open()) {
        return false;
    }
    ClimateRequest request;
    request.sensor = sensor.key;
    request.year = year;
    request.month = month;
    request.zone = &m_zone;
    request.weather = m_weather;
    request.usualPeriod = sensor.usualPeriod;
    request.now = Now();
    const ArchiveStatus status = ComputeClimateReport(m_archive, request, report);
    if (!status.Ok()) {
        Failed(status);
    }
    return status.Ok();
}

bool History::Records(const SensorKey& sensor, std::vector<ClimateRecord>& records) {
    if (!Open()) {
        return false;
    }
    const ArchiveStatus status =
        ComputeClimateRecords(m_archive, sensor, m_zone, m_weather, records);
    if (!status.Ok()) {
        Failed(status);
    }
    return status.Ok();
}

std::string History::Today() {
    const std::vector<SensorSummary> sensors = Sensors();
    const Instant now = Now();
    const LocalTime today = LocalTimeAt(now, m_zone.UtcOffsetAt(now));
    std::string out;
    for (const SensorKey& key : MainSensors(sensors)) {
        const auto sensor = std::find_if(sensors.begin(), sensors.end(),
                                         [&](const SensorSummary& s) { return s.key == key; });
        ClimateReport month;
        if (!Report(*sensor, today.year, today.month, month)) {
            break;
        }
        out += (out.empty() ? "" : "\n") + TodayText(month, sensor->last, NameOf(key), now);
    }
    return out;
}

bool History::NowAndToday(TodayRequest request, TodayReport& report) {
    if (!Open()) {
        return false;
    }
    request.zone = &m_zone;
    request.weather = m_weather;
    request.now = Now();
    request.uncommitted.clear();
    ForEachUncommitted([&](const Reading& r) { request.uncommitted.push_back(r); });
    const ArchiveStatus status = ComputeToday(m_archive, request, report);
    if (!status.Ok()) {
        Failed(status);
    }
    return status.Ok();
}

void History::Failed(const ArchiveStatus& status) {
    m_problem = status.Unreadable(m_path);
    m_archive.Close();
}

void History::Fill(ChartModel& chart) {
    if (!Open()) {
        return;
    }
    Series series;
    const ArchiveStatus status =
        chart.ShowsRain() ? QueryRain(m_archive, chart.Request(), chart.RainBucketMs(), series)
                          : QuerySeries(m_archive, chart.Request(), series);
    if (!status.Ok()) {
        Failed(status);
        return;
    }
    chart.SetSeries(std::move(series));
    if (m_uncommitted) {
        m_uncommitted([&chart](const Reading& reading) { chart.Add(reading); });
    }
}

}  // namespace tavrolin
