// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/SensorTracker.h"

#include <algorithm>

namespace tavrolin {

void SensorTracker::Note(const Reading& reading) {
    const SensorKey key = reading.Key();
    NoteSeen(key, ToUnixMs(reading.time));
    m_entries[static_cast<std::size_t>(IndexOf(key))].last = reading;
}

void SensorTracker::NoteSeen(const SensorKey& key, int64_t utcMs) {
    Entry& e = m_entries[static_cast<std::size_t>(IndexOf(key))];
    if (!e.heard) {
        e.heard = true;
        e.firstSeenMs = utcMs;
    } else if (utcMs > e.lastSeenMs) {
        // A clock set back gives no gap; the next forward one does.
        e.gaps[static_cast<std::size_t>(e.gapCount % kGapsKept)] = utcMs - e.lastSeenMs;
        ++e.gapCount;
    }
    e.lastSeenMs = utcMs;
    ++e.count;
}

void SensorTracker::Forget(const SensorKey& key) {
    m_entries[static_cast<std::size_t>(IndexOf(key))] = Entry{};
}

const SensorTracker::Entry& SensorTracker::At(const SensorKey& key) const {
    return m_entries[static_cast<std::size_t>(IndexOf(key))];
}

std::optional<int64_t> SensorTracker::LearnedPeriodMs(const SensorKey& key) const {
    const Entry& e = At(key);
    if (!IsPeriodic(key) || e.gapCount < kGapsNeeded) {
        return std::nullopt;
    }
    const int kept = std::min(e.gapCount, kGapsKept);
    std::array<int64_t, kGapsKept> sorted = e.gaps;
    std::sort(sorted.begin(), sorted.begin() + kept);
    return sorted[static_cast<std::size_t>(kept / 2)];
}

std::optional<int64_t> SensorTracker::UsualPeriodMs(const SensorKey& key) const {
    if (!IsPeriodic(key)) {
        return std::nullopt;
    }
    return LearnedPeriodMs(key).value_or(kDefaultPeriodMs);
}

std::optional<int64_t> SensorTracker::OverdueAfterMs(const SensorKey& key) const {
    const std::optional<int64_t> period = UsualPeriodMs(key);
    if (!period) {
        return std::nullopt;
    }
    return kOverdueFactor * *period;
}

bool SensorTracker::IsOverdue(const SensorKey& key, int64_t nowMs) const {
    const std::optional<int64_t> after = OverdueAfterMs(key);
    const Entry& e = At(key);
    return after && e.heard && nowMs - e.lastSeenMs > *after;
}

}  // namespace tavrolin
