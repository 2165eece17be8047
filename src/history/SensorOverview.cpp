// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/SensorOverview.h"

#include "decode/ReadingText.h"

namespace tavrolin {

void SensorOverview::Accept(const Reading& reading) {
    if (onReading) {
        onReading(reading);
    }
}

void SensorOverview::Load(std::span<const SensorSummary> sensors) {
    for (const SensorSummary& s : sensors) {
        m_archiveFirstMs[static_cast<std::size_t>(IndexOf(s.key))] = s.firstSeenMs;
        const SensorTracker::Entry& live = m_tracker.At(s.key);
        if (live.heard && live.lastSeenMs > s.lastSeenMs) {
            continue;
        }
        // The archive holds the readings this window wrote too: its account is the fuller.
        m_tracker.Forget(s.key);
        for (std::size_t i = 0; i + 1 < s.recentMs.size(); ++i) {
            m_tracker.NoteSeen(s.key, s.recentMs[i]);
        }
        m_tracker.Note(s.last);
    }
}

bool SensorOverview::Check(int64_t nowMs) {
    bool changed = false;
    m_overdue.Update(m_tracker, nowMs, [&changed](const SensorKey&, bool) { changed = true; });
    return changed;
}

std::vector<OverviewRow> SensorOverview::Rows() const {
    std::vector<OverviewRow> rows;
    for (int i = 0; i < kSensorCount; ++i) {
        const SensorKey key = SensorAt(i);
        const SensorTracker::Entry& e = m_tracker.At(key);
        if (!e.heard) {
            continue;
        }
        OverviewRow row;
        row.key = key;
        row.id = SensorIdOf(key);
        row.name = m_names.NameOf(key);
        row.values = ValuesText(e.last, ',');
        row.lastSeen = DateTimeText(e.last.time);
        const std::optional<int64_t> period = m_tracker.LearnedPeriodMs(key);
        row.period = period ? DurationText(*period) : "-";
        if (e.last.valueCount > 0) {
            row.firstValue = e.last.values[0].Value();
        }
        row.lastSeenMs = e.lastSeenMs;
        row.periodMs = period;
        row.overdue = m_overdue.Overdue(key);
        if (row.overdue) {
            row.state = kOverdueText;
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<SensorKey> SensorOverview::ChartableSensors() const {
    std::vector<SensorKey> keys;
    for (int i = 0; i < kSensorCount; ++i) {
        const SensorKey key = SensorAt(i);
        if (m_tracker.Heard(key) && !QuantitiesOf(key.kind).empty()) {
            keys.push_back(key);
        }
    }
    return keys;
}

std::optional<int64_t> SensorOverview::FirstSeenMs(const SensorKey& key) const {
    const SensorTracker::Entry& e = m_tracker.At(key);
    const int64_t archived = m_archiveFirstMs[static_cast<std::size_t>(IndexOf(key))];
    if (archived != 0 && (!e.heard || archived < e.firstSeenMs)) {
        return archived;
    }
    if (e.heard) {
        return e.firstSeenMs;
    }
    return std::nullopt;
}

std::optional<int64_t> SensorOverview::LastSeenMs(const SensorKey& key) const {
    const SensorTracker::Entry& e = m_tracker.At(key);
    return e.heard ? std::optional<int64_t>(e.lastSeenMs) : std::nullopt;
}

}  // namespace tavrolin
