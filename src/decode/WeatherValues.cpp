// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/WeatherValues.h"

namespace tavrolin {

namespace {

constexpr std::array<WeatherQuantityInfo, 7> kQuantities{{
    {"dew_point", "\u00B0C", "Taupunkt"},
    {"pressure_sea_level", "hPa", "Luftdruck auf Meeresh\u00F6he"},
    {"scaled", "", "Wert \u00D7 Faktor"},
    {"rain_steps", "", "Regenz\u00E4hlschritte"},
    {"rain_mm", "mm", "Regen gesamt"},
    {"rain_today_mm", "mm", "Regen heute"},
    {"rain_1h_mm", "mm", "Regen in der letzten Stunde"},
}};

}  // namespace

const WeatherQuantityInfo& InfoOf(WeatherQuantity quantity) {
    return kQuantities[static_cast<std::size_t>(quantity)];
}

std::optional<Decimal> WeatherValues::Find(WeatherQuantity quantity) const {
    for (const WeatherValue& value : Values()) {
        if (value.quantity == quantity) {
            return value.amount;
        }
    }
    return std::nullopt;
}

}  // namespace tavrolin
