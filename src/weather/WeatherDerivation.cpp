// SPDX-License-Identifier: GPL-3.0-or-later
#include "weather/WeatherDerivation.h"

#include "weather/WeatherFormulas.h"

namespace tavrolin {

namespace {

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

WeatherValues InstantWeatherValues(const Reading& reading, const StationSettings& station) {
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
        case SensorKind::Rain:
        case SensorKind::Special:
            break;
    }
    return values;
}

void WeatherDerivation::Derive(Reading& reading) {
    WeatherValues values = InstantWeatherValues(reading, m_station);
    if (const std::optional<RainAmounts> amounts = m_rain.Count(reading)) {
        Add(values, WeatherQuantity::RainSteps, {amounts->steps, 0});
        if (amounts->mm) {
            Add(values, WeatherQuantity::RainMm, *amounts->mm);
            Add(values, WeatherQuantity::RainTodayMm, *amounts->todayMm);
            Add(values, WeatherQuantity::RainHourMm, *amounts->hourMm);
        }
        values.rain = amounts;
    }
    reading.weather = values;
}

std::vector<WeatherQuantity> WeatherQuantitiesOf(const SensorKey& key,
                                                 const WeatherSettings& settings) {
    switch (key.kind) {
        case SensorKind::Outdoor:
            return {WeatherQuantity::DewPoint};
        case SensorKind::Indoor:
            if (settings.station.altitudeMetres) {
                return {WeatherQuantity::DewPoint, WeatherQuantity::SeaLevelPressure};
            }
            return {WeatherQuantity::DewPoint};
        case SensorKind::Rain:
            if (settings.rain.mmPerStep[key.address & 0x07]) {
                return {WeatherQuantity::RainSteps, WeatherQuantity::RainMm,
                        WeatherQuantity::RainTodayMm, WeatherQuantity::RainHourMm};
            }
            return {WeatherQuantity::RainSteps};
        case SensorKind::Brightness:
        case SensorKind::Pyranometer:
            return {WeatherQuantity::Scaled};
        case SensorKind::TempOnly:
        case SensorKind::Wind:
        case SensorKind::Special:
            break;
    }
    return {};
}

}  // namespace tavrolin
