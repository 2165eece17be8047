// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "base/Clock.h"

namespace tavrolin::testing {

// Central European time as the law has it since 1996: UTC+1, and UTC+2 from 01:00 UTC on the
// last Sunday of March to 01:00 UTC on the last Sunday of October. Written out here so that
// the tests of the clock change do not depend on the machine's time-zone data.
class CentralEuropeZone : public TimeZone {
public:
    int UtcOffsetAt(Instant t) const override;
};

// A wall clock the test sets, and the zone of its local time: by default a fixed offset, that
// of the local time it was started with (0 unless given); or another zone, such as
// CentralEuropeZone. Advance moves it on.
class FakeWallClock : public WallClock, public TimeZone {
public:
    explicit FakeWallClock(LocalTime start = {2026, 12, 7, 14, 3, 7, 456})
        : m_now(InstantOf(start)), m_zone(start.utcOffsetSeconds) {}
    Instant Now() override {
        ++reads;
        return m_now;
    }
    int UtcOffsetAt(Instant t) const override {
        return m_otherZone != nullptr ? m_otherZone->UtcOffsetAt(t) : m_zone.UtcOffsetAt(t);
    }
    // The local time with its offset: the instant it names.
    void Set(const LocalTime& t) { m_now = InstantOf(t); }
    void SetInstant(Instant t) { m_now = t; }
    void AdvanceMs(int64_t ms) { m_now += Milliseconds(ms); }
    // Local time from now on in that zone (which must outlive the clock).
    void UseZone(const TimeZone& zone) { m_otherZone = &zone; }
    LocalTime Local() const { return LocalTimeIn(*this, m_now); }
    int reads = 0;

private:
    Instant m_now;
    FixedOffsetZone m_zone;
    const TimeZone* m_otherZone = nullptr;
};

// A coarse clock that steps by stepMs after every readsPerStep reads.
class FakeCoarseClock : public CoarseClock {
public:
    explicit FakeCoarseClock(int readsPerStep = 10, int64_t stepMs = 4)
        : m_readsPerStep(readsPerStep), m_stepMs(stepMs) {}
    int64_t ReadMs() override;
    void SetReadsPerStep(int readsPerStep) { m_readsPerStep = readsPerStep; }
    void AdvanceMs(int64_t ms) { m_now += ms; }
    int64_t reads = 0;

private:
    int m_readsPerStep;
    int64_t m_stepMs;
    int m_readsInStep = 0;
    int64_t m_now = 1000;
};

}  // namespace tavrolin::testing
