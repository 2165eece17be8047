// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeClocks.h"

namespace tavrolin::testing {

namespace {

bool IsLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysIn(int y, int m) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

}  // namespace

void FakeLocalClock::AdvanceMs(int64_t ms) {
    // Walk the fields; tests advance by seconds to days, so this stays cheap.
    int64_t total = m_now.millisecond + ms;
    m_now.millisecond = static_cast<int>(((total % 1000) + 1000) % 1000);
    int64_t carry = (total - m_now.millisecond) / 1000;
    total = m_now.second + carry;
    m_now.second = static_cast<int>(((total % 60) + 60) % 60);
    carry = (total - m_now.second) / 60;
    total = m_now.minute + carry;
    m_now.minute = static_cast<int>(((total % 60) + 60) % 60);
    carry = (total - m_now.minute) / 60;
    total = m_now.hour + carry;
    m_now.hour = static_cast<int>(((total % 24) + 24) % 24);
    carry = (total - m_now.hour) / 24;
    for (; carry > 0; --carry) {
        if (++m_now.day > DaysIn(m_now.year, m_now.month)) {
            m_now.day = 1;
            if (++m_now.month > 12) {
                m_now.month = 1;
                ++m_now.year;
            }
        }
    }
    for (; carry < 0; ++carry) {
        if (--m_now.day < 1) {
            if (--m_now.month < 1) {
                m_now.month = 12;
                --m_now.year;
            }
            m_now.day = DaysIn(m_now.year, m_now.month);
        }
    }
}

int64_t FakeCoarseClock::ReadMs() {
    ++reads;
    if (++m_readsInStep > m_readsPerStep) {
        m_readsInStep = 1;
        m_now += m_stepMs;
    }
    return m_now;
}

}  // namespace tavrolin::testing
