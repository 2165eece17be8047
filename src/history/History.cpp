// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/History.h"

#include "base/FileSystem.h"

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
