// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/TimeText.h"

namespace tavrolin {

namespace {

// Reads exactly `digits` decimal digits at `pos`.
bool Number(std::string_view text, std::size_t& pos, int digits, int& value) {
    if (pos + static_cast<std::size_t>(digits) > text.size()) {
        return false;
    }
    value = 0;
    for (int i = 0; i < digits; ++i) {
        const char c = text[pos++];
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    return true;
}

bool Expect(std::string_view text, std::size_t& pos, char c) {
    if (pos < text.size() && text[pos] == c) {
        ++pos;
        return true;
    }
    return false;
}

int DaysIn(int year, int month) {
    constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

}  // namespace

std::optional<IsoTime> ParseIsoTime(std::string_view text) {
    IsoTime iso;
    LocalTime& t = iso.time;
    std::size_t pos = 0;
    if (!Number(text, pos, 4, t.year) || !Expect(text, pos, '-') ||
        !Number(text, pos, 2, t.month) || !Expect(text, pos, '-') || !Number(text, pos, 2, t.day)) {
        return std::nullopt;
    }
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > DaysIn(t.year, t.month)) {
        return std::nullopt;
    }
    if (pos == text.size()) {
        return iso;
    }
    if (!Expect(text, pos, 'T') && !Expect(text, pos, ' ')) {
        return std::nullopt;
    }
    iso.hasClock = true;
    if (!Number(text, pos, 2, t.hour) || !Expect(text, pos, ':') ||
        !Number(text, pos, 2, t.minute) || t.hour > 23 || t.minute > 59) {
        return std::nullopt;
    }
    if (Expect(text, pos, ':')) {
        if (!Number(text, pos, 2, t.second) || t.second > 59) {
            return std::nullopt;
        }
        if (Expect(text, pos, '.')) {
            // Milliseconds: one to three digits, as a fraction.
            int digits = 0;
            while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && digits < 3) {
                t.millisecond = t.millisecond * 10 + (text[pos++] - '0');
                ++digits;
            }
            if (digits == 0) {
                return std::nullopt;
            }
            for (; digits < 3; ++digits) {
                t.millisecond *= 10;
            }
        }
    }
    if (pos == text.size()) {
        return iso;
    }
    if (Expect(text, pos, 'Z')) {
        iso.offsetSeconds = 0;
    } else if (text[pos] == '+' || text[pos] == '-') {
        const int sign = text[pos++] == '-' ? -1 : 1;
        int hours = 0, minutes = 0;
        if (!Number(text, pos, 2, hours) || !Expect(text, pos, ':') ||
            !Number(text, pos, 2, minutes) || hours > 23 || minutes > 59) {
            return std::nullopt;
        }
        iso.offsetSeconds = sign * (hours * 3600 + minutes * 60);
    }
    if (pos != text.size()) {
        return std::nullopt;
    }
    t.utcOffsetSeconds = iso.offsetSeconds.value_or(0);
    return iso;
}

}  // namespace tavrolin
