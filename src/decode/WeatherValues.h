// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "base/Decimal.h"

namespace tavrolin {

// The values people compare with other weather software, derived from a reading's own.
enum class WeatherQuantity : uint8_t {
    DewPoint,          // kinds 1 and 4, °C, one decimal
    SeaLevelPressure,  // kind 4 with the station's altitude, hPa, one decimal
    Scaled,            // kinds 5 and 6: value × factor, no unit
    RainSteps,         // kind 2: counter steps since the base
    RainMm,            // kind 2 with millimetres per step: the total
    RainTodayMm,       // since local midnight
    RainHourMm,        // in the last 60 minutes
};

struct WeatherQuantityInfo {
    std::string_view key;    // JSON and MQTT name: "dew_point"
    std::string_view unit;   // UTF-8, empty where there is none
    std::string_view label;  // German, UTF-8, for the window: "Taupunkt"
};
const WeatherQuantityInfo& InfoOf(WeatherQuantity quantity);

// The wind direction as a compass point is text, not a number.
inline constexpr std::string_view kWindCompassKey = "wind_compass";
inline constexpr std::string_view kWindCompassLabel = "Himmelsrichtung";

// What a reading of a rain sensor says about the rain, counted from the readings before it
// (RainTally). The millimetres are whole multiples of the sensor's millimetres per step and
// carry its decimals; none without a [Regen] entry.
struct RainAmounts {
    int64_t steps = 0;               // rain_steps: counted since the base, only grows
    int64_t todaySteps = 0;          // since local midnight of the reading's own day
    int64_t hourSteps = 0;           // in the last 60 minutes
    std::optional<Decimal> mm;       // rain_mm
    std::optional<Decimal> todayMm;  // rain_today_mm
    std::optional<Decimal> hourMm;   // rain_1h_mm

    friend bool operator==(const RainAmounts&, const RainAmounts&) = default;
};

struct WeatherValue {
    WeatherQuantity quantity = WeatherQuantity::DewPoint;
    Decimal amount;  // AppendFixed(amount.raw, amount.decimals, out) writes it

    friend bool operator==(const WeatherValue&, const WeatherValue&) = default;
};

// What one reading gives beyond its own values, in the order above. Fixed size: deriving
// allocates nothing, and the values can travel beside their Reading.
struct WeatherValues {
    std::array<WeatherValue, 4> values{};
    uint8_t valueCount = 0;
    std::string_view compass;  // "NNO"; empty when there is none
    // A rain sensor's rain, all of it (the values above give the numbers it publishes).
    std::optional<RainAmounts> rain;

    std::span<const WeatherValue> Values() const { return {values.data(), valueCount}; }
    std::optional<Decimal> Find(WeatherQuantity quantity) const;

    friend bool operator==(const WeatherValues&, const WeatherValues&) = default;
};

}  // namespace tavrolin
