// SPDX-License-Identifier: GPL-3.0-or-later
#include "upload/Observation.h"

#include <gtest/gtest.h>

#include <vector>

#include "weather/WeatherDerivation.h"

namespace tavrolin {
namespace {

constexpr int64_t kT0 = 1796731530000;  // 2026-12-08 12:05:30 UTC, 13:05:30 CET

Reading Make(SensorKind kind, uint8_t address, int64_t atMs, std::vector<Measurement> values) {
    Reading r;
    r.kind = kind;
    r.address = address;
    r.time = FromUnixMs(atMs);
    r.utcOffsetSeconds = 3600;
    for (const Measurement& m : values) {
        r.values[r.valueCount++] = m;
    }
    return r;
}

// The readings of a station through the derivation, as a receiving program's outputs see them:
// each main sensor gives its fields, the others are passed over, and a field goes when its
// sensor has been silent for longer than kFreshMs or the settings cannot give it.
TEST(ObservationBuilder, FieldsComeFromTheMainSensorsWhileTheyAreFresh) {
    WeatherSettings settings;
    settings.station.altitudeMetres = 312;
    settings.rain.mmPerStep[0] = Decimal{25, 2};
    WeatherDerivation derivation(settings);
    StationSensors chosen;
    chosen.chosen[static_cast<std::size_t>(StationRole::Outdoor)] =
        SensorKey{SensorKind::Outdoor, 2};
    ObservationBuilder builder(chosen, {});
    auto note = [&](Reading r) {
        derivation.Derive(r);
        builder.Note(r);
    };
    note(
        Make(SensorKind::Outdoor, 1, kT0, {{Quantity::Temperature, 999}, {Quantity::Humidity, 9}}));
    note(Make(SensorKind::Outdoor, 2, kT0,
              {{Quantity::Temperature, -35}, {Quantity::Humidity, 80}}));
    note(Make(SensorKind::Wind, 0, kT0 + 1000,
              {{Quantity::WindSpeed, 123}, {Quantity::WindDirection, 360}, {Quantity::WindB, 0}}));
    note(Make(SensorKind::Rain, 0, kT0 - 600000, {{Quantity::RainCounter, 100}}));
    note(Make(SensorKind::Rain, 0, kT0 + 2000, {{Quantity::RainCounter, 104}}));
    note(Make(SensorKind::Indoor, 1, kT0 + 3000,
              {{Quantity::Temperature, 210}, {Quantity::Humidity, 40}, {Quantity::Pressure, 980}}));

    const Observation o = builder.Observe(FromUnixMs(kT0 + 60000));
    EXPECT_EQ(o.temperatureTenths, -35);  // the profile's sensor, not the lowest-numbered
    EXPECT_EQ(o.humidityPercent, 80);
    EXPECT_EQ(o.dewPointTenths, -65);  // the derivation's, -6.53 °C
    EXPECT_EQ(o.windTenthsKmh, 123);
    EXPECT_EQ(o.windDirectionDegrees, 0);
    EXPECT_FALSE(o.gustTenthsKmh);
    EXPECT_EQ(o.rainHourMm, (Decimal{100, 2}));
    EXPECT_EQ(o.rainTodayMm, (Decimal{100, 2}));
    ASSERT_TRUE(o.seaLevelPressureTenths);
    EXPECT_NEAR(*o.seaLevelPressureTenths, 10170, 5);
    EXPECT_EQ(o.utcOffsetSeconds, 3600);
    EXPECT_EQ(builder.Newest(), FromUnixMs(kT0 + 3000));

    // Before the readings came, nothing; after a quarter of an hour of silence, nothing.
    EXPECT_TRUE(builder.Observe(FromUnixMs(kT0 - 1)).temperatureTenths == std::nullopt);
    EXPECT_TRUE(builder.Observe(FromUnixMs(kT0 + ObservationBuilder::kFreshMs + 3001)).Empty());
    const Observation late = builder.Observe(FromUnixMs(kT0 + ObservationBuilder::kFreshMs + 1));
    EXPECT_FALSE(late.temperatureTenths);
    EXPECT_TRUE(late.windTenthsKmh && late.seaLevelPressureTenths);
}

// Without Höhe and [Regen] the station cannot give sea-level pressure or millimetres: those
// fields are absent, and after local midnight the day's rain is 0 until the gauge reports.
TEST(ObservationBuilder, WhatTheSettingsCannotGiveIsAbsent) {
    WeatherDerivation plain(WeatherSettings{});
    ObservationBuilder builder({}, {});
    for (Reading r :
         {Make(SensorKind::Indoor, 0, kT0,
               {{Quantity::Temperature, 210}, {Quantity::Humidity, 40}, {Quantity::Pressure, 980}}),
          Make(SensorKind::Rain, 0, kT0, {{Quantity::RainCounter, 5}})}) {
        plain.Derive(r);
        builder.Note(r);
    }
    const Observation o = builder.Observe(FromUnixMs(kT0));
    EXPECT_TRUE(o.Empty());  // an indoor sensor is no outdoor one, rain without mm is none

    WeatherSettings settings;
    settings.rain.mmPerStep[0] = Decimal{3, 1};
    WeatherDerivation derivation(settings);
    ObservationBuilder rain({}, {});
    const int64_t beforeMidnight = kT0 + 10 * kMsPerHour + 50 * kMsPerMinute;  // 23:55:30 CET
    for (Reading r :
         {Make(SensorKind::Rain, 0, beforeMidnight - 60000, {{Quantity::RainCounter, 5}}),
          Make(SensorKind::Rain, 0, beforeMidnight, {{Quantity::RainCounter, 7}})}) {
        derivation.Derive(r);
        rain.Note(r);
    }
    EXPECT_EQ(rain.Observe(FromUnixMs(beforeMidnight)).rainTodayMm, (Decimal{6, 1}));
    EXPECT_EQ(rain.Observe(FromUnixMs(beforeMidnight + 5 * kMsPerMinute)).rainTodayMm,
              (Decimal{0, 1}));
}

}  // namespace
}  // namespace tavrolin
