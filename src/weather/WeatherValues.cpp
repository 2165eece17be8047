// SPDX-License-Identifier: GPL-3.0-or-later
#include "weather/WeatherValues.h"

#include "weather/WeatherFormulas.h"

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

void Add(WeatherValues& values, WeatherQuantity quantity, Decimal amount) {
    values.values[values.valueCount++] = {quantity, amount};
}

void AddDewPoint(const Reading& reading, WeatherValues& values) {
    const std::optional<Measurement> temperature = reading.Find(Quantity::Temperature);
    const std::optional<Measurement> humidity = reading.Find(Quantity::Humidity);
    if (temperature && humidity) {
        if (const std::optional<int32_t> dewPoint =
                DewPointTenths(temperature->raw, humidity->raw)) {
            Add(values, WeatherQuantity::DewPoint, {*dewPoint, 1});
        }
    }
}

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

WeatherValues DeriveWeatherValues(const Reading& reading, RainTally& rain,
                                  const StationSettings& station) {
    WeatherValues values;
    switch (reading.kind) {
        case SensorKind::Outdoor:
            AddDewPoint(reading, values);
            break;
        case SensorKind::Indoor:
            AddDewPoint(reading, values);
            if (const std::optional<Measurement> pressure = reading.Find(Quantity::Pressure);
                pressure && station.altitudeMetres) {
                Add(values, WeatherQuantity::SeaLevelPressure,
                    {SeaLevelPressureTenths(pressure->raw, *station.altitudeMetres), 1});
            }
            break;
        case SensorKind::Rain:
            if (const std::optional<RainAmounts> amounts = rain.Count(reading)) {
                Add(values, WeatherQuantity::RainSteps, {amounts->steps, 0});
                if (amounts->mm) {
                    Add(values, WeatherQuantity::RainMm, *amounts->mm);
                    Add(values, WeatherQuantity::RainTodayMm, *amounts->todayMm);
                    Add(values, WeatherQuantity::RainHourMm, *amounts->hourMm);
                }
            }
            break;
        case SensorKind::Wind:
            if (const std::optional<Measurement> direction =
                    reading.Find(Quantity::WindDirection)) {
                values.compass = CompassPoint(direction->raw).value_or("");
            }
            break;
        case SensorKind::Brightness:
        case SensorKind::Pyranometer: {
            const std::optional<Measurement> value = reading.Find(Quantity::Value);
            const std::optional<Measurement> factor = reading.Find(Quantity::Factor);
            if (value && factor) {
                Add(values, WeatherQuantity::Scaled, {int64_t{value->raw} * factor->raw, 0});
            }
            break;
        }
        case SensorKind::TempOnly:
        case SensorKind::Special:
            break;
    }
    return values;
}

}  // namespace tavrolin
