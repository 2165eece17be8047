// SPDX-License-Identifier: GPL-3.0-or-later
#include "weather/WeatherFormulas.h"

#include <array>
#include <cmath>

namespace tavrolin {

namespace {

constexpr double kMagnusA = 17.62;
constexpr double kMagnusB = 243.12;  // °C

constexpr std::array<std::string_view, 16> kCompassPoints{
    "N", "NNO", "NO", "ONO", "O", "OSO", "SO", "SSO",
    "S", "SSW", "SW", "WSW", "W", "WNW", "NW", "NNW",
};

int32_t Tenths(double value) {
    return static_cast<int32_t>(std::lround(value * 10));
}

}  // namespace

std::optional<int32_t> DewPointTenths(int32_t temperatureTenths, int humidityPercent) {
    const double t = temperatureTenths / 10.0;
    if (humidityPercent < 1 || humidityPercent > 100 || t <= -kMagnusB) {
        return std::nullopt;
    }
    // Above the pole aT/(b+T) < a and ln(H/100) <= 0, so a - gamma is never 0.
    const double gamma = std::log(humidityPercent / 100.0) + kMagnusA * t / (kMagnusB + t);
    return Tenths(kMagnusB * gamma / (kMagnusA - gamma));
}

double SeaLevelFactor(double altitudeMetres) {
    return 1 / std::pow(1 - altitudeMetres / 44330, 5.255);
}

int32_t SeaLevelPressureTenths(int pressureHpa, double altitudeMetres) {
    return Tenths(pressureHpa * SeaLevelFactor(altitudeMetres));
}

std::optional<std::string_view> CompassPoint(int degrees) {
    if (degrees < 0 || degrees > 360) {
        return std::nullopt;
    }
    // Sector k spans k * 22.5° ± 11.25°; in whole degrees no direction lies on a border.
    return kCompassPoints[static_cast<std::size_t>((degrees * 4 + 45) / 90 % 16)];
}

std::span<const std::string_view, 16> CompassPoints() {
    return kCompassPoints;
}

}  // namespace tavrolin
