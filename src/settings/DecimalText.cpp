// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/DecimalText.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>

namespace tavrolin {

int ParseDecimal(std::string_view text) {
    std::size_t i = text.find_first_not_of(" \t\n\v\f\r");
    if (i == std::string_view::npos) {
        return 0;
    }
    const bool negative = text[i] == '-';
    if (text[i] == '-' || text[i] == '+') {
        ++i;
    }
    // One beyond INT_MAX is the magnitude of INT_MIN; no more is needed to saturate.
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int>::max()} + 1;
    int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = std::min(magnitude * 10 + (text[i] - '0'), kLimit);
    }
    if (negative) {
        return static_cast<int>(-magnitude);
    }
    return static_cast<int>(std::min<int64_t>(magnitude, std::numeric_limits<int>::max()));
}

std::optional<int> ParseWholeInRange(std::string_view text, int lowest, int highest) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value < lowest || value > highest) {
        return std::nullopt;
    }
    return value;
}

namespace {
constexpr int kMaxDigits = 15;  // well inside int64_t, and more than a profile needs
}  // namespace

std::optional<Decimal> ParseDecimalText(std::string_view text) {
    Decimal number;
    std::size_t i = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        ++i;
    }
    int digits = 0;
    bool point = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.' && !point) {
            point = true;
            continue;
        }
        if (c < '0' || c > '9' || ++digits > kMaxDigits) {
            return std::nullopt;
        }
        number.raw = number.raw * 10 + (c - '0');
        number.decimals += point ? 1 : 0;
    }
    if (digits == 0) {
        return std::nullopt;
    }
    number.raw = negative ? -number.raw : number.raw;
    return number;
}

}  // namespace tavrolin
