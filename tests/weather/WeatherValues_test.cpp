// SPDX-License-Identifier: GPL-3.0-or-later
#include "weather/WeatherDerivation.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <tuple>
#include <vector>

#include "FakeClocks.h"
#include "decode/ReadingJson.h"
#include "decode/TelegramDecoder.h"
#include "weather/WeatherFormulas.h"

namespace tavrolin {
namespace {

// Worked values, computed from the formulas in double precision and rounded by hand: a dew
// point of 9.2552 °C at 20 °C and 50 %, -3.0404 at 0 °C and 80 %, 18.2450 at 25.3 °C and 65 %;
// 1000 hPa at 500 m are 1061.4206 hPa at sea level.
TEST(WeatherFormulas, DewPointSeaLevelPressureAndCompassPointAgreeWithWorkedValues) {
    const std::vector<std::tuple<int, int, std::optional<int32_t>>> dew = {
        {200, 50, 93},   {0, 80, -30},        {-100, 90, -113}, {253, 65, 182}, {300, 1, -320},
        {200, 100, 200}, {-2431, 100, -2431}, {-2432, 50, {}},  {200, 0, {}},   {200, 101, {}},
    };
    for (const auto& [temperatureTenths, humidity, dewPointTenths] : dew) {
        EXPECT_EQ(DewPointTenths(temperatureTenths, humidity), dewPointTenths)
            << temperatureTenths << " " << humidity;
    }
    const std::vector<std::tuple<int, double, int32_t>> pressure = {
        {1000, 0, 10000}, {1000, 500, 10614}, {1013, -400, 9663}, {300, 9000, 9886}};
    for (const auto& [hPa, metres, seaLevelTenths] : pressure) {
        EXPECT_EQ(SeaLevelPressureTenths(hPa, metres), seaLevelTenths) << metres;
    }
    const std::vector<std::pair<int, std::optional<std::string_view>>> compass = {
        {0, "N"},     {11, "N"},  {12, "NNO"},  {67, "ONO"},  {90, "O"},
        {158, "SSO"}, {191, "S"}, {192, "SSW"}, {293, "WNW"}, {348, "NNW"},
        {349, "N"},   {360, "N"}, {361, {}},    {16383, {}},  {-1, {}},
    };
    for (const auto& [degrees, point] : compass) {
        EXPECT_EQ(CompassPoint(degrees), point) << degrees;
    }
}

std::string Text(const WeatherValues& values) {
    std::string text(values.compass);
    for (const WeatherValue& v : values.Values()) {
        text += (text.empty() ? "" : " ") + std::string(InfoOf(v.quantity).key) + "=";
        AppendFixed(v.amount.raw, v.amount.decimals, text);
    }
    return text;
}

// Telegrams of every kind through the decoder: the values each reading gives beside its own.
TEST(WeatherValues, EachKindGivesItsValuesFromTheDecodedTelegram) {
    const std::vector<std::pair<std::array<uint8_t, 7>, std::string>> cases = {
        {{0x01, 0x00, 0xD5, 0, 0, 0, 3}, ""},               // temperature only
        {{0x11, 0x00, 123, 67, 0, 0, 3}, "dew_point=6.3"},  // 12.3 °C, 67 %
        {{0x11, 0x00, 123, 0, 0, 0, 3}, ""},                // no humidity
        {{0x4A, 1, 87, 45, 7, 117, 3}, "dew_point=9.1 pressure_sea_level=1051.3"},
        {{0x33, 0x00, 125, 2, 2, 14, 3}, "W"},           // 270°
        {{0x33, 0x00, 125, 2, 2, 105, 3}, ""},           // 361°
        {{0x6E, 0x7F, 0x7E, 5, 0, 0, 3}, "scaled=-10"},  // -2 × 5
        {{0x20, 0x35, 0x3C, 0, 0, 0, 3},                 // counter 6844: the base
         "rain_steps=0 rain_mm=0.00 rain_today_mm=0.00 rain_1h_mm=0.00"},
        {{0x20, 0x35, 0x40, 0, 0, 0, 3},
         "rain_steps=4 rain_mm=1.00 rain_today_mm=1.00 rain_1h_mm=1.00"},
        {{0x21, 0x00, 0x07, 0, 0, 0, 3}, "rain_steps=0"},  // no [Regen] entry
        {{0x7F, 'H', 'a', 'l', 'l', 'o', 3}, ""},
    };
    testing::FakeWallClock clock;
    TelegramDecoder decoder(clock, clock);
    WeatherSettings settings;
    settings.rain.mmPerStep[0] = Decimal{25, 2};
    settings.station.altitudeMetres = 312;
    WeatherDerivation derivation(settings);
    for (const auto& [telegram, values] : cases) {
        std::optional<Reading> reading = decoder.Decode(telegram);
        ASSERT_TRUE(reading);
        derivation.Derive(*reading);
        EXPECT_EQ(Text(reading->weather), values) << reading->SensorId();
    }
    // Without the station's altitude no sea-level pressure.
    const std::optional<Reading> indoor = decoder.Decode(cases[3].first);
    EXPECT_EQ(Text(InstantWeatherValues(*indoor, {})), "dew_point=9.1");
}

}  // namespace
}  // namespace tavrolin
