// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "decode/Reading.h"

namespace tavrolin {

// One line of JSON Lines in the form AppendReadingJson writes (tavrolin-log --json, the
// archive's export) back into a Reading: "time" with its UTC offset, "sensor", and what the
// sensor's kind carries (its values, "interval", "v12"; the remote control's "text", the
// Fenster events' "event"). "kind" and "address" may be left out and must otherwise agree
// with "sensor"; other keys are ignored. The reverse of AppendReadingJson for every line it
// writes.
struct ImportedReading {
    std::optional<Reading> reading;
    std::string error;  // German, when there is no reading: what is wrong with the line
};
ImportedReading ParseReadingJson(std::string_view line);

}  // namespace tavrolin
