// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "base/Decimal.h"

namespace tavrolin {

// Reads a number the way the C library's atoi does: leading white space skipped, an optional
// sign, decimal digits up to the first other character; no digits give 0. A number beyond
// the range of int gives the nearest end of the range instead of undefined behaviour.
int ParseDecimal(std::string_view text);

// A whole number from lowest to highest, digits only and nothing else; nothing otherwise.
std::optional<int> ParseWholeInRange(std::string_view text, int lowest, int highest);

// A number as a person types it into a profile: an optional sign, digits, at most one
// decimal point ("0.25", "-12", ".5"). No exponent, no blanks inside, and no decimal comma:
// "0,25" would otherwise be taken as 0 by a reader that stops at the comma.
std::optional<Decimal> ParseDecimalText(std::string_view text);

}  // namespace tavrolin
