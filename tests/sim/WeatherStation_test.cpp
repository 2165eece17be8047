// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/WeatherStation.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <set>
#include <vector>

#include "TelegramFields.h"
#include "weather/RainTally.h"
#include "weather/WeatherFormulas.h"

namespace tavrolin::sim {
namespace {

using namespace std::chrono_literals;
using testing::ReadTelegram;
using testing::TelegramFields;

struct Heard {
    SimDuration at;
    Telegram telegram;
};

std::vector<Heard> Listen(WeatherStation& station, SimDuration until) {
    std::vector<Heard> heard;
    while (station.NextDue() <= until) {
        const SimDuration at = station.NextDue();
        heard.push_back({at, station.TakeNext()});
    }
    return heard;
}

// The sensor a telegram comes from: D0, with the two Fenster edges as one contact.
int SensorKey(const TelegramFields& f) {
    return f.kind == 7 && f.lowNibble <= 1 ? 0x70 : f.d[0];
}

TEST(WeatherStation, EveryKindAndSpecialSubtypeIsHeardInTheFirstSeconds) {
    WeatherStation station(1);
    const std::vector<Heard> heard = Listen(station, 5s);
    ASSERT_GE(heard.size(), station.SensorCount() + 1);

    std::set<int> kinds;
    std::set<int> specials;
    std::set<bool> versions;
    std::set<int> sensors;
    for (std::size_t i = 0; i <= station.SensorCount(); ++i) {
        const TelegramFields f = ReadTelegram(heard[i].telegram);
        kinds.insert(f.kind);
        versions.insert(f.version);
        sensors.insert(SensorKey(f));
        if (f.kind == 7) {
            specials.insert(f.lowNibble);
        } else {
            ASSERT_LT(heard[i].at, 4s);
        }
    }
    EXPECT_EQ(kinds, (std::set<int>{0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(specials, (std::set<int>{0, 1, 15}));
    EXPECT_EQ(versions, (std::set<bool>{false, true}));
    // One telegram of every sensor (and the window's second edge) in the first round.
    EXPECT_EQ(sensors.size(), station.SensorCount());

    // The round is staggered: no two telegrams at the same time.
    for (std::size_t i = 1; i < heard.size(); ++i) {
        EXPECT_GT(heard[i].at, heard[i - 1].at);
    }
}

TEST(WeatherStation, SeveralAddressesOfTheOutdoorKinds) {
    WeatherStation station(1);
    std::map<int, std::set<int>> addresses;
    for (const Heard& h : Listen(station, 5s)) {
        const TelegramFields f = ReadTelegram(h.telegram);
        addresses[f.kind].insert(f.address);
    }
    EXPECT_GE(addresses[0].size() + addresses[1].size(), 4u);
    EXPECT_GE(addresses[4].size(), 2u);
}

TEST(WeatherStation, ANewRoundHearsEverySensorAgainSoon) {
    WeatherStation station(3);
    Listen(station, 600s);
    station.BeginRound(700s);
    const std::vector<Heard> heard = Listen(station, 705s);
    std::set<int> sensors;
    for (const Heard& h : heard) {
        EXPECT_GE(h.at, 700s);
        sensors.insert(SensorKey(ReadTelegram(h.telegram)));
    }
    EXPECT_EQ(sensors.size(), station.SensorCount());
}

TEST(WeatherStation, SensorsKeepTheirOwnPeriodsOfTensOfSecondsToMinutes) {
    WeatherStation station(5);
    std::map<int, std::vector<SimDuration>> times;
    for (const Heard& h : Listen(station, 3h)) {
        times[SensorKey(ReadTelegram(h.telegram))].push_back(h.at);
    }
    ASSERT_EQ(times.size(), station.SensorCount());
    std::set<int64_t> typicalPeriods;
    for (const auto& [sensor, at] : times) {
        SCOPED_TRACE(sensor);
        ASSERT_GE(at.size(), 40u);
        // After the first round; the program's interval reads right only below 214.7 s.
        for (std::size_t i = 2; i < at.size(); ++i) {
            const SimDuration gap = at[i] - at[i - 1];
            EXPECT_GE(gap, 10s);
            EXPECT_LE(gap, 200s);
        }
        typicalPeriods.insert(std::chrono::duration_cast<std::chrono::seconds>(
                                  (at.back() - at[1]) / static_cast<int64_t>(at.size() - 2))
                                  .count());
    }
    // Not all on one beat.
    EXPECT_GE(typicalPeriods.size(), 6u);
}

TEST(WeatherStation, ValuesStayPlausibleAndChangeSlowly) {
    WeatherStation station(11);
    std::map<int, int> lastTemp;
    std::map<int, int> lastRain;
    int bright = 0;
    int brightDay = 0;
    for (const Heard& h : Listen(station, 48h)) {
        const TelegramFields f = ReadTelegram(h.telegram);
        const int key = SensorKey(f);
        switch (f.kind) {
            case 0:
            case 1:
            case 4: {
                const double temp = f.v / 10.0;
                EXPECT_GE(temp, f.kind == 4 ? 15.0 : -15.0);
                EXPECT_LE(temp, f.kind == 4 ? 28.0 : 35.0);
                if (lastTemp.contains(key)) {
                    EXPECT_LE(std::abs(f.v - lastTemp[key]), 15) << "a jump of over 1.5 degrees";
                }
                lastTemp[key] = f.v;
                if (f.kind != 0) {
                    EXPECT_GE(f.h, 15);
                    EXPECT_LE(f.h, 99);
                }
                if (f.kind == 4) {
                    // The pressure at the station's height, which the receiving side reduces
                    // to what weather reports give.
                    const int32_t seaLevel =
                        SeaLevelPressureTenths(f.w, WeatherStation::kHeightMetres);
                    EXPECT_GE(seaLevel, 10050) << f.w << " hPa";
                    EXPECT_LE(seaLevel, 10250) << f.w << " hPa";
                }
                break;
            }
            case 2:
                if (lastRain.contains(key)) {
                    // Counted up by a few tips, across the run-over too: the receiving side
                    // counts each as rain, never as a battery change.
                    const int tips = (f.v - lastRain[key] + 16384) % 16384;
                    EXPECT_LE(tips, 3) << lastRain[key] << " to " << f.v;
                    EXPECT_EQ(RainStepsBetween(lastRain[key], f.v), tips)
                        << lastRain[key] << " to " << f.v;
                }
                lastRain[key] = f.v;
                break;
            case 3: {
                const double kmh = f.v / 10.0;
                EXPECT_GE(kmh, 0.0);
                EXPECT_LE(kmh, 75.0);
                EXPECT_LE(f.w, 359);
                // The Beaufort digit fits the speed.
                static constexpr double kUpper[] = {1, 6, 12, 20, 29, 39, 50, 62, 75};
                EXPECT_LE(f.h, 8);
                EXPECT_LT(kmh, kUpper[f.h]);
                if (f.h > 0) {
                    EXPECT_GE(kmh, kUpper[f.h - 1]);
                }
                break;
            }
            case 5:
                EXPECT_GE(f.v, 0);
                EXPECT_TRUE(f.h == 1 || f.h == 10 || f.h == 100) << f.h;
                EXPECT_LE(f.v * f.h, 110000);
                ++bright;
                brightDay += f.v > 0 ? 1 : 0;
                break;
            case 6:
                EXPECT_GE(f.v, 0);
                EXPECT_LE(f.v, 1300);
                EXPECT_EQ(f.h, 1);
                break;
            case 7:
                EXPECT_TRUE(f.lowNibble == 0 || f.lowNibble == 1 || f.lowNibble == 15);
                if (f.lowNibble == 15) {
                    EXPECT_EQ(std::string(f.d + 1, f.d + 6), "ABCDE");
                }
                break;
        }
    }
    // Day and night: light only part of the time.
    EXPECT_GT(brightDay, bright / 4);
    EXPECT_LT(brightDay, bright * 3 / 4);
}

// The counter runs over from 8191 to -8192 early on, so that the demo shows one within its
// first minutes at --speed 60: within two and a half hours of station time, whatever the seed.
TEST(WeatherStation, TheRainCounterRunsOverSoonAfterTheStart) {
    for (const uint64_t seed : {1, 2, 3, 11, 42, 1000}) {
        SCOPED_TRACE(seed);
        WeatherStation station(seed);
        std::optional<int> last;
        bool ranOver = false;
        for (const Heard& h : Listen(station, 150min)) {
            const TelegramFields f = ReadTelegram(h.telegram);
            if (f.kind == 2) {
                ranOver = ranOver || (last && *last > 8000 && f.v < -8000);
                last = f.v;
            }
        }
        EXPECT_TRUE(ranOver) << "the counter stands at " << last.value_or(0);
    }
}

TEST(WeatherStation, WindowContactAlternatesBetweenHighAndLow) {
    WeatherStation station(2);
    int previous = -1;
    int edges = 0;
    for (const Heard& h : Listen(station, 6h)) {
        const TelegramFields f = ReadTelegram(h.telegram);
        if (f.kind == 7 && f.lowNibble <= 1) {
            EXPECT_NE(f.lowNibble, previous);
            previous = f.lowNibble;
            ++edges;
        }
    }
    EXPECT_GT(edges, 50);
}

TEST(WeatherStation, ASeedNamesOneScenario) {
    WeatherStation a(42);
    WeatherStation b(42);
    WeatherStation c(43);
    int differences = 0;
    for (int i = 0; i < 500; ++i) {
        ASSERT_EQ(a.NextDue(), b.NextDue());
        const SimDuration at = a.NextDue();
        const Telegram ta = a.TakeNext();
        ASSERT_EQ(ta, b.TakeNext());
        differences += c.NextDue() != at || c.TakeNext() != ta ? 1 : 0;
    }
    EXPECT_GT(differences, 250);
}

TEST(WeatherStation, LoadModeMeasuresAnySensorOnDemand) {
    WeatherStation station(1);
    std::set<int> kinds;
    for (std::size_t i = 0; i < station.SensorCount(); ++i) {
        kinds.insert(ReadTelegram(station.Emit(i, 1s)).kind);
    }
    EXPECT_EQ(kinds, (std::set<int>{0, 1, 2, 3, 4, 5, 6, 7}));
}

}  // namespace
}  // namespace tavrolin::sim
