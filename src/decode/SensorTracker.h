// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "decode/Reading.h"
#include "decode/ReadingSink.h"

namespace tavrolin {

// What is known of every sensor heard: its latest reading, when it was first and last heard,
// how many readings came, and how often it usually sends. The usual period is the median of
// its recent gaps, so a telegram lost now and then (a gap twice the period) does not move
// it. A sensor silent for more than three usual periods is overdue: Home Assistant lets its
// values expire then, the overview marks it, the logger says so.
//
// The remote control and the Fenster events send when something happens, not on a clock:
// they have no usual period and are never overdue.
//
// A program keeps one, a sink of every reading (not only the recorded ones: what is on the
// air), which MQTT, the overview and the logger's notices read.
class SensorTracker : public ReadingSink {
public:
    // Before a sensor has shown its period: sensors of this kind send every half minute to
    // three minutes, so five minutes leaves room for all of them.
    static constexpr Milliseconds kDefaultPeriod{5 * 60 * 1000};
    static constexpr int kOverdueFactor = 3;
    // Gaps kept per sensor for the median; three are needed before it counts.
    static constexpr int kGapsKept = 9;
    static constexpr int kGapsNeeded = 3;
    static constexpr Milliseconds kShortestGap{1000};

    struct Entry {
        bool heard = false;
        Reading last;
        Instant firstSeen;
        Instant lastSeen;
        int64_t count = 0;
        std::array<Milliseconds, kGapsKept> gaps{};  // ring, newest at (gapCount - 1) % kGapsKept
        int gapCount = 0;                            // all gaps seen, not only those kept
    };

    // Takes a reading as it is decoded (its own time counts).
    void Note(const Reading& reading);
    void Accept(const Reading& reading) override { Note(reading); }
    // Takes a reading of the past (the archive), when only its time is known.
    void NoteSeen(const SensorKey& key, Instant time);
    // Takes what the archive knows of a sensor, before any reading of this run: the times of
    // its newest readings (oldest first, the last one `last`'s), when it was first heard and
    // how many readings it has.
    void Seed(const Reading& last, std::span<const Instant> recent, Instant firstSeen,
              int64_t count);

    const Entry& At(const SensorKey& key) const;
    bool Heard(const SensorKey& key) const { return At(key).heard; }

    // The median of the kept gaps, once enough are known; nothing for event sensors.
    std::optional<Milliseconds> LearnedPeriod(const SensorKey& key) const;
    // The learned period, or the default while it is not known; nothing for event sensors.
    std::optional<Milliseconds> UsualPeriod(const SensorKey& key) const;
    // How long a sensor may stay silent before it is overdue: three usual periods. Home
    // Assistant's expire_after is this time. Nothing for event sensors.
    std::optional<Milliseconds> OverdueAfter(const SensorKey& key) const;
    // Heard, periodic, and silent for longer than OverdueAfter at now.
    bool IsOverdue(const SensorKey& key, Instant now) const;

    static bool IsPeriodic(const SensorKey& key) { return key.kind != SensorKind::Special; }

private:
    std::array<Entry, kSensorCount> m_entries{};
};

}  // namespace tavrolin
