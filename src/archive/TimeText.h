// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "base/Clock.h"

namespace tavrolin {

// A date and time as people and machines write them (ISO 8601 / RFC 3339):
//   2026-12-07                        a date alone
//   2026-12-07T14:03  2026-12-07 14:03:07  2026-12-07T14:03:07.456
//   ... followed by Z or +01:00 / -03:30 for a time with its UTC offset
struct IsoTime {
    LocalTime time;                    // utcOffsetSeconds as given, else 0
    bool hasClock = false;             // a time of day was given
    std::optional<int> offsetSeconds;  // Z or ±hh:mm was given
};
// Nothing for text that is none of these forms or names no real day or time.
std::optional<IsoTime> ParseIsoTime(std::string_view text);

}  // namespace tavrolin
