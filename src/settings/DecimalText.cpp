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

}  // namespace tavrolin
