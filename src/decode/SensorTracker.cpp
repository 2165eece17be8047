// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/SensorTracker.h"

#include <algorithm>

namespace tavrolin {

void SensorTracker::Note(const Reading& reading) {
    const SensorKey key = reading.Key();
    NoteSeen(key, reading.time);
    m_entries[static_cast<std::size_t>(IndexOf(key))].last = reading;
}

void SensorTracker::NoteSeen(const SensorKey& key, Instant time) {
    Entry& e = m_entries[static_cast<std::size_t>(IndexOf(key))];
    if (!e.heard) {
        e.heard = true;
        e.firstSeen = time;
    } else if (time - e.lastSeen >= kShortestGap) {
        // A clock set back gives no gap; the next forward one does. Nor do readings that come
        // closer together than any sensor of these sends: a backlog read at once (the line's
        // bytes of a logger that was held up), or a telegram heard twice.
        e.gaps[static_cast<std::size_t>(e.gapCount % kGapsKept)] = time - e.lastSeen;
        ++e.gapCount;
    }
    e.lastSeen = time;
    ++e.count;
}

void SensorTracker::Seed(const Reading& last, std::span<const Instant> recent, Instant firstSeen,
                         int64_t count) {
    const SensorKey key = last.Key();
    Entry& e = m_entries[static_cast<std::size_t>(IndexOf(key))];
    e = Entry{};
    for (const Instant t : recent) {
        NoteSeen(key, t);
    }
    if (recent.empty()) {
        NoteSeen(key, last.time);
    }
    e.last = last;
    e.firstSeen = firstSeen;
    e.count = count;
}

const SensorTracker::Entry& SensorTracker::At(const SensorKey& key) const {
    return m_entries[static_cast<std::size_t>(IndexOf(key))];
}

std::optional<Milliseconds> SensorTracker::LearnedPeriod(const SensorKey& key) const {
    const Entry& e = At(key);
    if (!IsPeriodic(key) || e.gapCount < kGapsNeeded) {
        return std::nullopt;
    }
    const int kept = std::min(e.gapCount, kGapsKept);
    std::array<Milliseconds, kGapsKept> sorted = e.gaps;
    std::sort(sorted.begin(), sorted.begin() + kept);
    return sorted[static_cast<std::size_t>(kept / 2)];
}

std::optional<Milliseconds> SensorTracker::UsualPeriod(const SensorKey& key) const {
    if (!IsPeriodic(key)) {
        return std::nullopt;
    }
    return LearnedPeriod(key).value_or(kDefaultPeriod);
}

std::optional<Milliseconds> SensorTracker::OverdueAfter(const SensorKey& key) const {
    const std::optional<Milliseconds> period = UsualPeriod(key);
    if (!period) {
        return std::nullopt;
    }
    return kOverdueFactor * *period;
}

bool SensorTracker::IsOverdue(const SensorKey& key, Instant now) const {
    const std::optional<Milliseconds> after = OverdueAfter(key);
    const Entry& e = At(key);
    return after && e.heard && now - e.lastSeen > *after;
}

}  // namespace tavrolin
