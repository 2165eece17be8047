// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace tavrolin {

// The dew point in tenths of °C, by the Magnus formula over water (a = 17.62,
// b = 243.12 °C), rounded to one decimal. None for a humidity outside 1..100 %, where the
// logarithm has no meaning, and at or below -243.1 °C, the formula's pole.
std::optional<int32_t> DewPointTenths(int32_t temperatureTenths, int humidityPercent);

// The station's pressure reduced to sea level, in tenths of hPa, by the barometric formula of
// the standard atmosphere: p0 = p / (1 - h/44330)^5.255, h in metres (-500..9000).
int32_t SeaLevelPressureTenths(int pressureHpa, double altitudeMetres);
// p0 / p of that formula at the altitude: what a chart's means and extremes are multiplied by.
double SeaLevelFactor(double altitudeMetres);

// One of the 16 German compass points ("N", "NNO", ..., "NNW"), each the 22.5° sector centred
// on its direction. The wind sensor's direction has 14 bits; 0..359 are degrees and 360 is
// north as some vanes report it; above that it is no direction and gives none.
std::optional<std::string_view> CompassPoint(int degrees);
// The 16 points, clockwise from "N": every point CompassPoint gives is one of these.
std::span<const std::string_view, 16> CompassPoints();

}  // namespace tavrolin
