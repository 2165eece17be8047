// SPDX-License-Identifier: GPL-3.0-or-later
#include "upload/Observation.h"

#include <algorithm>

namespace tavrolin {

namespace {

std::size_t Slot(StationRole role) {
    return static_cast<std::size_t>(role);
}

std::optional<int32_t> Raw(const Reading& reading, Quantity quantity) {
    if (const std::optional<Measurement> m = reading.Find(quantity)) {
        return m->raw;
    }
    return std::nullopt;
}

std::optional<int32_t> Tenths(const Reading& reading, WeatherQuantity quantity) {
    const std::optional<Decimal> value = reading.weather.Find(quantity);
    if (!value || value->decimals > 1) {
        return std::nullopt;
    }
    return static_cast<int32_t>(value->decimals == 1 ? value->raw : value->raw * 10);
}

}  // namespace

ObservationBuilder::ObservationBuilder(StationSensors sensors, std::vector<SensorKey> known)
    : m_sensors(sensors), m_known(std::move(known)) {
    Resolve();
}

void ObservationBuilder::Resolve() {
    for (StationRole role : kStationRoles) {
        const std::optional<SensorKey> chosen = m_sensors.Of(role, m_known);
        if (chosen != m_role[Slot(role)]) {
            m_role[Slot(role)] = chosen;
            m_last[Slot(role)].reset();
        }
    }
}

void ObservationBuilder::Note(const Reading& reading) {
    const SensorKey key = reading.Key();
    if (std::find(m_known.begin(), m_known.end(), key) == m_known.end()) {
        // A sensor heard for the first time may be the lowest-numbered of its kind now.
        m_known.push_back(key);
        Resolve();
    }
    for (StationRole role : kStationRoles) {
        if (m_role[Slot(role)] == key) {
            m_last[Slot(role)] = reading;
        }
    }
}

std::optional<Instant> ObservationBuilder::Newest() const {
    std::optional<Instant> newest;
    for (const std::optional<Reading>& last : m_last) {
        if (last && (!newest || last->time > *newest)) {
            newest = last->time;
        }
    }
    return newest;
}

Observation ObservationBuilder::Observe(Instant at) const {
    Observation o;
    o.time = at;
    Instant newest = Instant::min();
    auto fresh = [&](StationRole role) -> const Reading* {
        const std::optional<Reading>& last = m_last[Slot(role)];
        if (!last || last->time > at || UnixMs(at) - UnixMs(last->time) > kFreshMs) {
            return nullptr;
        }
        if (last->time > newest) {
            newest = last->time;
            o.utcOffsetSeconds = last->utcOffsetSeconds;
        }
        return &*last;
    };
    if (const Reading* r = fresh(StationRole::Outdoor)) {
        o.temperatureTenths = Raw(*r, Quantity::Temperature);
        o.humidityPercent = Raw(*r, Quantity::Humidity);
        o.dewPointTenths = Tenths(*r, WeatherQuantity::DewPoint);
    }
    if (const Reading* r = fresh(StationRole::Wind)) {
        o.windTenthsKmh = Raw(*r, Quantity::WindSpeed);
        o.windDirectionDegrees = Raw(*r, Quantity::WindDirection);
        if (o.windDirectionDegrees) {
            *o.windDirectionDegrees %= 360;
        }
    }
    if (const Reading* r = fresh(StationRole::Rain); r && r->weather.rain) {
        // The day's sum belongs to the reading's local day: after midnight and before the
        // gauge's next reading the new day has had no rain counted yet.
        if (LocalDayOf(at, r->utcOffsetSeconds) == r->LocalDay()) {
            o.rainTodayMm = r->weather.rain->todayMm;
        } else if (r->weather.rain->todayMm) {
            o.rainTodayMm = Decimal{0, r->weather.rain->todayMm->decimals};
        }
        o.rainHourMm = r->weather.rain->hourMm;
    }
    if (const Reading* r = fresh(StationRole::Pressure)) {
        o.seaLevelPressureTenths = Tenths(*r, WeatherQuantity::SeaLevelPressure);
    }
    return o;
}

}  // namespace tavrolin
