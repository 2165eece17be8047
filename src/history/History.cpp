// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/History.h"

#include "base/FileSystem.h"
#include "history/Export.h"

namespace tavrolin {

namespace {

// Reading waits for a writer only while the file is being made or brought up to date.
constexpr int kBusyMs = 200;
constexpr Milliseconds kRetry{60000};
// Beyond the commit interval: the commit itself, and a clock that is not the writer's.
constexpr Milliseconds kLagMargin{10000};
// A minute at the heaviest load of 200 readings a second, beyond the 10 000 readings after
// which the archive commits whatever its interval.
constexpr std::size_t kMostRecent = 12000;

}  // namespace

bool History::Open() {
    if (m_path.empty()) {
        return false;
    }
    if (m_archive.IsOpen() && !m_archive.Stale()) {
        return true;
    }
    const Instant now = Now();
    if (m_nextTry && now < *m_nextTry && now > *m_nextTry - kRetry) {
        return false;
    }
    const ArchiveStatus status = m_archive.Open(m_path, Archive::Access::Read, kBusyMs);
    if (!status.Ok()) {
        m_problem =
            "Das Archiv " + ShownFilePath(m_path) + " läßt sich nicht lesen" + status.Describe();
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

void History::Failed(const ArchiveStatus& status) {
    m_problem =
        "Das Archiv " + ShownFilePath(m_path) + " läßt sich nicht lesen" + status.Describe();
    m_archive.Close();
}

void History::Keep(const Reading& reading) {
    if (m_archiveLag <= Milliseconds{0} || m_path.empty()) {
        return;
    }
    m_recent.push_back(reading);
    while (m_recent.size() > kMostRecent ||
           m_recent.front().time < reading.time - m_archiveLag - kLagMargin) {
        m_recent.pop_front();
    }
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
    if (chart.Data().bucketMs == 0 && !chart.ShowsRain()) {
        // Those older than the archive's newest reading of the sensor, or of other sensors,
        // are passed over by the chart.
        for (const Reading& reading : m_recent) {
            chart.Add(reading);
        }
    }
}

}  // namespace tavrolin
