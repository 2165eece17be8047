// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "base/Clock.h"

namespace tavrolin::testing {

// A local clock the test sets; Advance moves it on, carrying into the date.
class FakeLocalClock : public LocalClock {
public:
    explicit FakeLocalClock(LocalTime start = {2026, 12, 7, 14, 3, 7, 456}) : m_now(start) {}
    LocalTime Now() override {
        ++reads;
        return m_now;
    }
    void Set(LocalTime t) { m_now = t; }
    void AdvanceMs(int64_t ms);
    int reads = 0;

private:
    LocalTime m_now;
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
