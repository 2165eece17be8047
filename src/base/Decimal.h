// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace tavrolin {

// A decimal number as the user wrote it: "0.25" is 25 with 2 decimals. Rain totals are
// whole multiples of the millimetres per step, so they keep the decimals the user gave and
// never show as 12.700000000000001.
struct Decimal {
    int64_t raw = 0;
    int decimals = 0;  // raw = value * 10^decimals

    // 10^decimals, the factor raw is the value times.
    int64_t Scale() const {
        int64_t scale = 1;
        for (int i = 0; i < decimals; ++i) {
            scale *= 10;
        }
        return scale;
    }
    double Value() const { return static_cast<double>(raw) / static_cast<double>(Scale()); }
    friend bool operator==(const Decimal&, const Decimal&) = default;
};

}  // namespace tavrolin
