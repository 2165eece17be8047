// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/PackedReadings.h"

#include <gtest/gtest.h>

#include <deque>
#include <limits>
#include <random>
#include <utility>

#include "weather/WeatherFormulas.h"

namespace tavrolin {
namespace {

// Any reading, its fields anywhere in their range: small numbers and the extremes alike.
Reading RandomReading(std::mt19937_64& random) {
    const auto pick = [&](int64_t low, int64_t high) {
        return std::uniform_int_distribution<int64_t>(low, high)(random);
    };
    const auto number = [&]() -> int64_t {
        switch (pick(0, 3)) {
            case 0:
                return pick(-100, 100);
            case 1:
                return std::numeric_limits<int64_t>::min() + pick(0, 1);
            case 2:
                return std::numeric_limits<int64_t>::max() - pick(0, 1);
            default:
                return static_cast<int64_t>(random());
        }
    };
    const auto decimal = [&] { return Decimal{number(), static_cast<int>(pick(-2, 9))}; };
    Reading r;
    r.time = FromUnixMs(pick(0, 1) ? pick(-1, 1) : pick(1'700'000'000'000, 1'900'000'000'000));
    r.utcOffsetSeconds = static_cast<int32_t>(pick(-14 * 3600, 14 * 3600));
    r.kind = static_cast<SensorKind>(pick(0, 7));
    r.subtype = static_cast<SpecialSubtype>(pick(0, 3));
    r.event = static_cast<FensterEvent>(pick(0, 2));
    r.address = static_cast<uint8_t>(pick(0, 7));
    r.version12 = pick(0, 1) == 1;
    if (pick(0, 1)) {
        r.interval = Milliseconds(number());
    }
    r.valueCount = static_cast<uint8_t>(pick(0, 3));
    for (std::size_t i = 0; i < r.valueCount; ++i) {
        r.values[i] = {static_cast<Quantity>(pick(0, 8)),
                       static_cast<int32_t>(pick(INT32_MIN, INT32_MAX))};
    }
    for (std::size_t i = 0, n = static_cast<std::size_t>(pick(0, 5)); i < n; ++i) {
        r.text[i] = static_cast<char>(pick(1, 127));
    }
    WeatherValues& weather = r.weather;
    weather.valueCount = static_cast<uint8_t>(pick(0, 4));
    for (std::size_t i = 0; i < weather.valueCount; ++i) {
        weather.values[i] = {static_cast<WeatherQuantity>(pick(0, 6)), decimal()};
    }
    if (pick(0, 1)) {
        weather.compass = CompassPoints()[static_cast<std::size_t>(pick(0, 15))];
    }
    if (pick(0, 1)) {
        RainAmounts& rain = weather.rain.emplace();
        rain.steps = number();
        rain.todaySteps = number();
        rain.hourSteps = number();
        for (std::optional<Decimal>* mm : {&rain.mm, &rain.todayMm, &rain.hourMm}) {
            if (pick(0, 1)) {
                *mm = decimal();
            }
        }
    }
    return r;
}

// Each reading comes back as it went in, however many were let go before it, and a reading
// of the usual kind takes some 30 bytes, a tenth of its room.
TEST(PackedReadings, GiveBackEveryReadingAsItWasWhileTheOldestGo) {
    std::mt19937_64 random(33);
    PackedReadings packed;
    std::deque<std::pair<uint64_t, Reading>> kept;
    for (int round = 0; round < 200; ++round) {
        for (int i = 0; i < 50; ++i) {
            Reading reading = RandomReading(random);
            kept.emplace_back(packed.Append(reading), std::move(reading));
        }
        const auto drop = static_cast<std::size_t>(random() % (kept.size() + 1));
        kept.erase(kept.begin(), kept.begin() + static_cast<std::ptrdiff_t>(drop));
        packed.DropBefore(kept.empty() ? packed.End() : kept.front().first);
        for (const auto& [position, reading] : kept) {
            ASSERT_EQ(packed.At(position), reading) << "round " << round;
        }
    }

    Reading outdoor;
    outdoor.time = FromUnixMs(1'796'000'000'123);
    outdoor.utcOffsetSeconds = 3600;
    outdoor.kind = SensorKind::Outdoor;
    outdoor.address = 3;
    outdoor.interval = Milliseconds(177'000);
    outdoor.valueCount = 2;
    outdoor.values[0] = {Quantity::Temperature, -123};
    outdoor.values[1] = {Quantity::Humidity, 87};
    outdoor.weather.valueCount = 1;
    outdoor.weather.values[0] = {WeatherQuantity::DewPoint, {-140, 1}};
    const uint64_t at = packed.Append(outdoor);
    EXPECT_EQ(packed.At(at), outdoor);
    EXPECT_LE(packed.End() - at, 32u);
}

}  // namespace
}  // namespace tavrolin
