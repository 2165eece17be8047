// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/History.h"

#include <vector>

#include "base/FileSystem.h"

namespace tavrolin {

namespace {

// Reading waits for a writer only while the file is being made or brought up to date.
constexpr int kBusyMs = 200;
constexpr int64_t kRetryMs = 60000;

}  // namespace

bool History::Open() {
    if (m_path.empty()) {
        return false;
    }
    if (m_archive.IsOpen() && !m_archive.Stale()) {
        return true;
    }
    const int64_t now = NowMs();
    if (m_nextTryMs && now < *m_nextTryMs && now > *m_nextTryMs - kRetryMs) {
        return false;
    }
    const ArchiveStatus status = m_archive.Open(m_path, Archive::Access::Read, kBusyMs);
    if (!status.Ok()) {
        m_problem =
            "Das Archiv " + ShownFilePath(m_path) + " läßt sich nicht lesen" + status.Describe();
        m_nextTryMs = now + kRetryMs;
        return false;
    }
    m_nextTryMs.reset();
    m_problem.clear();
    return true;
}

SensorOverview& History::Overview() {
    if (!m_loaded && Open()) {
        std::vector<SensorSummary> sensors;
        std::vector<RainResume> rain;
        ArchiveStatus status = ListSensors(m_archive, sensors);
        if (status.Ok()) {
            status = QueryRainResume(m_archive, rain);
        }
        if (status.Ok()) {
            m_overview.Load(sensors);
            m_overview.LoadRain(rain);
            m_loaded = true;
        } else {
            m_problem = "Das Archiv " + ShownFilePath(m_path) + " läßt sich nicht lesen" +
                        status.Describe();
            m_archive.Close();
        }
    }
    return m_overview;
}

void History::ShowChart(ChartModel& chart, const SensorKey& sensor, ChartRange range) {
    SensorOverview& overview = Overview();
    chart.Choose(sensor, range, NowMs(), overview.FirstSeenMs(sensor), overview.LastSeenMs(sensor));
    if (!Open()) {
        return;
    }
    Series series;
    const ArchiveStatus status =
        chart.ShowsRain() ? QueryRain(m_archive, chart.Request(), chart.RainBucketMs(), series)
                          : QuerySeries(m_archive, chart.Request(), series);
    if (!status.Ok()) {
        m_problem =
            "Das Archiv " + ShownFilePath(m_path) + " läßt sich nicht lesen" + status.Describe();
        m_archive.Close();
        return;
    }
    chart.SetSeries(std::move(series));
}

}  // namespace tavrolin
