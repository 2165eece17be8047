// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "base/Clock.h"
#include "base/Decimal.h"
#include "decode/Reading.h"
#include "settings/StationSensors.h"

namespace tavrolin {

// What the station says at one moment, as the networks take it: the newest reading of each
// main sensor ([Station] Außen, Wind, Regen, Luftdruck), in the units and decimals the
// readings and their derived values carry. A field the station cannot give (no such sensor,
// no [Station] Höhe for the sea-level pressure, no [Regen] entry for millimetres, a sensor
// silent too long) is absent, and the encoders leave it out: a network must never record 0
// for a value nobody measured.
struct Observation {
    Instant time;                  // the moment it describes
    int32_t utcOffsetSeconds = 0;  // of the newest reading in it: the local day of the rain

    std::optional<int32_t> temperatureTenths;  // °C × 10
    std::optional<int32_t> humidityPercent;
    std::optional<int32_t> dewPointTenths;          // °C × 10
    std::optional<int32_t> seaLevelPressureTenths;  // hPa × 10
    std::optional<int32_t> windTenthsKmh;           // km/h × 10
    std::optional<int32_t> gustTenthsKmh;           // none from this station's wind sensors
    std::optional<int32_t> windDirectionDegrees;    // 0..359
    std::optional<Decimal> rainHourMm;              // the last 60 minutes
    std::optional<Decimal> rainTodayMm;             // since local midnight

    bool Empty() const {
        return !temperatureTenths && !humidityPercent && !dewPointTenths &&
               !seaLevelPressureTenths && !windTenthsKmh && !gustTenthsKmh &&
               !windDirectionDegrees && !rainHourMm && !rainTodayMm;
    }
    friend bool operator==(const Observation&, const Observation&) = default;
};

// Builds observations from the readings as a receiving program's outputs see them: derived
// (WeatherDerivation gives the dew point, the sea-level pressure and the rain), in the order
// received. Fed the archive's readings oldest first, Observe(t) between them gives the
// station as it was at t, so an observation a network missed can be made again afterwards.
class ObservationBuilder {
public:
    // A reading older than this says nothing about now: its sensor has fallen silent (the
    // sensors send every few minutes).
    static constexpr int64_t kFreshMs = 15 * kMsPerMinute;

    // `known`: the sensors the archive holds readings of, so that a role without a profile
    // entry falls to the same sensor as in the reports (StationSensors::Of).
    ObservationBuilder(StationSensors sensors, std::vector<SensorKey> known);

    // Takes a derived reading; readings of sensors in no role are passed over.
    void Note(const Reading& reading);
    // The station at `at` from the newest readings noted that are not older than kFreshMs.
    Observation Observe(Instant at) const;
    // The time of the newest reading noted in any role, or none.
    std::optional<Instant> Newest() const;

private:
    void Resolve();

    StationSensors m_sensors;
    std::vector<SensorKey> m_known;
    std::array<std::optional<SensorKey>, kStationRoles.size()> m_role{};
    std::array<std::optional<Reading>, kStationRoles.size()> m_last{};
};

}  // namespace tavrolin
