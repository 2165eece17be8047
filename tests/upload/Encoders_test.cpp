// SPDX-License-Identifier: GPL-3.0-or-later
#include "upload/Encoders.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace tavrolin {
namespace {

// Each conversion at the points where its rounding turns: exact halves go away from zero,
// negative values mirror positive ones, and the exact factors (1.609344 km, 25.4 mm) leave
// no drift over a range.
TEST(UploadUnits, ConversionsRoundAtTheirBoundaries) {
    const std::vector<std::tuple<int32_t, int64_t, int64_t>> fahrenheit = {
        // °C tenths, °F tenths, whole °F
        {0, 320, 32},      {123, 541, 54}, {-178, 0, 0},         {-181, -6, -1},
        {-400, -400, -40}, {25, 365, 37},  {-25, 275, 28},       {-225, -85, -9},
        {-206, -51, -5},   {-150, 50, 5},  {-1000, -1480, -148}, {450, 1130, 113},
    };
    for (const auto& [c, tenths, whole] : fahrenheit) {
        EXPECT_EQ(FahrenheitTenths(c), tenths) << c;
        EXPECT_EQ(FahrenheitWhole(c), whole) << c;
    }
    const std::vector<std::pair<int32_t, int64_t>> inHg = {
        {10000, 29530}, {10132, 29920}, {10133, 29923}, {9500, 28053}, {0, 0}};
    for (const auto& [hPa, thousandths] : inHg) {
        EXPECT_EQ(InHgThousandths(hPa), thousandths) << hPa;
    }
    const std::vector<std::tuple<int32_t, int64_t, int64_t, int64_t>> wind = {
        // km/h tenths, mph tenths, whole mph, m/s tenths
        {0, 0, 0, 0},       {8, 5, 0, 2},           {9, 6, 1, 3},        {18, 11, 1, 5},
        {161, 100, 10, 45}, {1609, 1000, 100, 447}, {360, 224, 22, 100}, {1, 1, 0, 0},
    };
    for (const auto& [kmh, mph, mphWhole, ms] : wind) {
        EXPECT_EQ(MphTenths(kmh), mph) << kmh;
        EXPECT_EQ(MphWhole(kmh), mphWhole) << kmh;
        EXPECT_EQ(MetresPerSecondTenths(kmh), ms) << kmh;
    }
    const std::vector<std::pair<Decimal, int64_t>> rain = {
        {{254, 1}, 100},  {{127, 3}, 1}, {{126, 3}, 0}, {{0, 2}, 0},
        {{3810, 2}, 150}, {{25, 2}, 1},  {{381, 3}, 2}};
    for (const auto& [mm, hundredths] : rain) {
        EXPECT_EQ(InchHundredths(mm), hundredths) << mm.raw << "/" << mm.decimals;
    }
    for (int64_t n = -7; n <= 7; ++n) {
        EXPECT_EQ(RoundedDiv(n, 2), n < 0 ? -((-n + 1) / 2) : (n + 1) / 2) << n;
        EXPECT_EQ(RoundedDiv(n, -2), -RoundedDiv(n, 2)) << n;
    }
}

Observation Full() {
    Observation o;
    o.time = FromUnixMs(1796731530000);  // 2026-12-08 12:05:30 UTC
    o.temperatureTenths = -206;          // -5.08 °F
    o.humidityPercent = 100;
    o.dewPointTenths = -206;
    o.seaLevelPressureTenths = 10132;
    o.windTenthsKmh = 161;
    o.windDirectionDegrees = 5;
    o.rainHourMm = Decimal{127, 2};
    o.rainTodayMm = Decimal{254, 1};
    return o;
}

// The CWOP packet byte by byte: fixed widths with leading zeros, a sign inside the width, 100 %
// as 00, hundredths of a minute, and dots for each value the station lacks.
TEST(CwopPacket, LayoutIsExactForFullAndEmptyObservations) {
    EXPECT_EQ(EncodeCwopPacket(Full(), "CW1234", 48.1375, 11.575, "tavrolin"),
              "CW1234>APRS,TCPIP*:@081205z4808.25N/01134.50E_005/010g...t-05r005p...P100h00"
              "b10132tavrolin");
    Observation empty;
    empty.time = FromUnixMs(1796731530000 - 8 * kMsPerDay);  // the 30th of November
    EXPECT_EQ(EncodeCwopPacket(empty, "DW9999", -33.8688, -151.2093, ""),
              "DW9999>APRS,TCPIP*:@301205z3352.13S/15112.56W_.../...g...t...r...p...P...h..b.....");
    Observation hot = Full();
    hot.temperatureTenths = 400;  // 104 °F
    hot.humidityPercent = 7;
    hot.gustTenthsKmh = 500;
    hot.seaLevelPressureTenths = 9876;
    EXPECT_EQ(EncodeCwopPacket(hot, "CW1", 0.0, 0.0, "x"),
              "CW1>APRS,TCPIP*:@081205z0000.00N/00000.00E_005/010g031t104r005p...P100h07b09876x");
    EXPECT_EQ(CwopLogin("CW1234", "-1", "tavrolin", "1.2"),
              "user CW1234 pass -1 vers tavrolin 1.2");
}

TEST(Wunderground, FieldsInImperialUnitsAndOnlyWhatTheStationHas) {
    const HttpRequest full = EncodeWunderground(Full(), kWundergroundDialect, "https://wu/u.php",
                                                "IMUNIC1", "k&y", "tavrolin 1.2");
    EXPECT_EQ(full.url,
              "https://wu/u.php?ID=IMUNIC1&PASSWORD=k%26y&action=updateraw&dateutc=2026-12-08%2012"
              "%3A05%3A30&tempf=-5.1&dewptf=-5.1&humidity=100&baromin=29.920&windspeedmph=10.0&"
              "winddir=5&rainin=0.05&dailyrainin=1.00&softwaretype=tavrolin%201.2");
    EXPECT_EQ(full.method, "GET");
    EXPECT_EQ(full.Masked().find("k%26y"), std::string::npos);
    EXPECT_NE(full.Masked().find("PASSWORD=***&"), std::string::npos);

    Observation some;
    some.time = Full().time;
    some.humidityPercent = 55;
    EXPECT_EQ(EncodeWunderground(some, kWowDialect, "http://wow/a", "77", "s", "t").url,
              "http://wow/a?siteid=77&siteAuthenticationKey=s&action=updateraw&dateutc=2026-12-08"
              "%2012%3A05%3A30&humidity=55&softwaretype=t");
}

TEST(Windy, MetricFieldsAndThePasswordOnlyInTheHeader) {
    const HttpRequest r = EncodeWindy(Full(), "https://windy/update", "f0c1", "secret");
    EXPECT_EQ(r.url,
              "https://windy/update?id=f0c1&time=2026-12-08T12%3A05%3A30.000Z&temp=-20.6&"
              "dewpoint=-20.6&rh=100&pressure=101320&wind=4.5&winddir=5&precip=1.27");
    ASSERT_EQ(r.headers.size(), 1u);
    EXPECT_EQ(r.headers[0], "Authorization: Bearer secret");
    EXPECT_EQ(r.Masked().find("secret"), std::string::npos);
}

TEST(OpenSenseMap, OneValuePerSensorAndTimeWithoutTheFieldsTheBoxLacks) {
    OpenSenseMapSensors sensors;
    sensors.temperature = "5f01";
    sensors.pressure = "5f02";
    sensors.rainToday = "5f\"3";
    Observation later = Full();
    later.time += Milliseconds(300000);
    later.seaLevelPressureTenths.reset();
    const std::vector<Observation> two = {Full(), later};
    const HttpRequest r = EncodeOpenSenseMap(two, sensors, "https://osm/", "box1", "tok");
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.url, "https://osm/boxes/box1/data");
    EXPECT_EQ(r.headers[0], "Authorization: tok");
    EXPECT_EQ(r.body,
              "[{\"sensor\":\"5f01\",\"value\":-20.6,\"createdAt\":\"2026-12-08T12:05:30Z\"},"
              "{\"sensor\":\"5f02\",\"value\":1013.2,\"createdAt\":\"2026-12-08T12:05:30Z\"},"
              "{\"sensor\":\"5f\\\"3\",\"value\":25.4,\"createdAt\":\"2026-12-08T12:05:30Z\"},"
              "{\"sensor\":\"5f01\",\"value\":-20.6,\"createdAt\":\"2026-12-08T12:10:30Z\"},"
              "{\"sensor\":\"5f\\\"3\",\"value\":25.4,\"createdAt\":\"2026-12-08T12:10:30Z\"}]");
    Observation none;
    EXPECT_EQ(EncodeOpenSenseMap({&none, 1}, sensors, "https://osm", "b", "t").body, "");
}

}  // namespace
}  // namespace tavrolin
