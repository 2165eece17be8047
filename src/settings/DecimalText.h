// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string_view>

namespace tavrolin {

// Reads a number the way the C library's atoi does: leading white space skipped, an optional
// sign, decimal digits up to the first other character; no digits give 0. A number beyond
// the range of int gives the nearest end of the range instead of undefined behaviour.
int ParseDecimal(std::string_view text);

// A whole number from lowest to highest, digits only and nothing else; nothing otherwise.
std::optional<int> ParseWholeInRange(std::string_view text, int lowest, int highest);

}  // namespace tavrolin
