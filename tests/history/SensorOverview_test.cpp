// SPDX-License-Identifier: GPL-3.0-or-later
// The sensor overview and the logger's messages on silent sensors: which sensors are
// overdue, when, and that each silence and each return is said once.
#include <gtest/gtest.h>

#include "ArchiveFixtures.h"
#include "FakeClocks.h"
#include "history/OverdueNotices.h"
#include "history/SensorOverview.h"

namespace tavrolin {
namespace {

using testing::kCet;
using testing::kGarden;
using testing::kMinute;
using testing::kT0;
using testing::Outdoor;

SensorNames Names() {
    SensorNames names;
    names.Set(kGarden, "Garten");
    return names;
}

Reading Fenster(int64_t t) {
    Reading r;
    r.time = FromUnixMs(t, kCet);
    r.kind = SensorKind::Special;
    r.subtype = SpecialSubtype::FensterHigh;
    r.event = FensterEvent::High;
    return r;
}

TEST(SensorOverview, ASensorSilentForThreePeriodsIsOverdueUntilItIsHeardAgain) {
    SensorTracker tracker;
    SensorOverview overview(Names(), tracker);
    for (int i = 0; i < 4; ++i) {
        tracker.Accept(Outdoor(1, kT0 + i * 3 * kMinute, 123 + i));
    }
    tracker.Accept(Outdoor(2, kT0 + 9 * kMinute, -50));
    tracker.Accept(Fenster(kT0));
    const int64_t last = kT0 + 9 * kMinute;

    EXPECT_FALSE(overview.Check(last + 9 * kMinute));  // three periods exactly: not yet
    std::vector<OverviewRow> rows = overview.Rows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].id, "outdoor-1");
    EXPECT_EQ(rows[0].name, "Garten");
    EXPECT_EQ(rows[0].values, "12,6 °C, 60 %");
    EXPECT_EQ(rows[0].lastSeen, "2026-12-07 14:52:07");
    EXPECT_EQ(rows[0].period, "00:03:00");
    EXPECT_EQ(rows[1].name, "Außen 2");
    EXPECT_EQ(rows[1].period, "-");  // not yet learned
    EXPECT_EQ(rows[2].id, "window-event");
    for (const OverviewRow& row : rows) {
        EXPECT_FALSE(row.overdue) << row.id;
    }

    // Outdoor 2 has the default period of five minutes: overdue after fifteen.
    EXPECT_TRUE(overview.Check(last + 9 * kMinute + 1));
    rows = overview.Rows();
    EXPECT_TRUE(rows[0].overdue);
    EXPECT_EQ(rows[0].state, "überfällig");
    EXPECT_FALSE(rows[1].overdue);
    EXPECT_FALSE(overview.Check(last + 10 * kMinute));  // no news: no change
    EXPECT_TRUE(overview.Check(last + 15 * kMinute + 1));
    rows = overview.Rows();
    EXPECT_TRUE(rows[1].overdue);
    EXPECT_FALSE(rows[2].overdue) << "events come when they happen: never overdue";

    tracker.Accept(Outdoor(1, kT0 + 30 * kMinute, 99));
    EXPECT_TRUE(overview.Check(kT0 + 30 * kMinute));
    rows = overview.Rows();
    EXPECT_FALSE(rows[0].overdue);
    EXPECT_EQ(rows[0].state, "");
    EXPECT_EQ(rows[0].values, "9,9 °C, 60 %");
    EXPECT_TRUE(rows[1].overdue);
}

TEST(SensorOverview, StartsFromTheArchiveAndKeepsWhatWasHeardSince) {
    SensorTracker tracker;
    SensorOverview overview(Names(), tracker);
    // Heard live after the archive's last reading of it: the live account stays.
    tracker.Accept(Outdoor(1, kT0, 200));
    tracker.Accept(Outdoor(1, kT0 + 5 * kMinute, 201));

    std::vector<SensorSummary> archive(2);
    archive[0].key = kGarden;
    archive[0].firstSeenMs = kT0 - 400 * kMsPerDay;
    archive[0].lastSeenMs = kT0 - kMinute;
    archive[0].last = Outdoor(1, kT0 - kMinute, 150);
    archive[0].recentMs = {kT0 - 7 * kMinute, kT0 - 4 * kMinute, kT0 - kMinute};
    // Only in the archive, every two minutes, silent for an hour.
    const int64_t lastOf3 = kT0 - 60 * kMinute;
    archive[1].key = {SensorKind::Outdoor, 3, false};
    archive[1].firstSeenMs = kT0 - 10 * kMsPerDay;
    archive[1].lastSeenMs = lastOf3;
    archive[1].last = Outdoor(3, lastOf3, 77);
    for (int i = 4; i >= 0; --i) {
        archive[1].recentMs.push_back(lastOf3 - i * 2 * kMinute);
    }
    overview.Load(archive);

    EXPECT_TRUE(overview.Check(kT0 + 5 * kMinute));
    const std::vector<OverviewRow> rows = overview.Rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].values, "20,1 °C, 60 %");
    EXPECT_FALSE(rows[0].overdue);
    EXPECT_EQ(rows[1].id, "outdoor-3");
    EXPECT_EQ(rows[1].values, "7,7 °C, 60 %, Taupunkt 0,4 °C") << "derived as when received";
    EXPECT_EQ(rows[1].period, "00:02:00");
    EXPECT_TRUE(rows[1].overdue);
    EXPECT_EQ(overview.FirstSeenMs(kGarden), kT0 - 400 * kMsPerDay);
    EXPECT_EQ(overview.ChartableSensors().size(), 2u);
}

// What the last values give, as the receiving programs derive them, and a rain sensor's rain
// of today: from the archive, going on with the readings heard, and by its date once the day
// is over.
TEST(SensorOverview, SaysWhatTheValuesGiveAndTheRainOfToday) {
    WeatherSettings weather;
    weather.rain.mmPerStep[0] = Decimal{5, 1};
    weather.station.altitudeMetres = 300;
    SensorTracker tracker;
    SensorOverview overview(Names(), tracker, weather);
    const auto reading = [](SensorKind kind, int address, int64_t t,
                            std::vector<std::pair<Quantity, int32_t>> values) {
        Reading r = Outdoor(address, t, 0);
        r.kind = kind;
        r.valueCount = 0;
        for (const auto& [quantity, raw] : values) {
            r.values[r.valueCount++] = {quantity, raw};
        }
        return r;
    };
    const auto rain = [&reading](int64_t t, int32_t counter) {
        return reading(SensorKind::Rain, 0, t, {{Quantity::RainCounter, counter}});
    };
    std::vector<SensorSummary> archive;
    for (const Reading& last :
         {reading(
              SensorKind::Indoor, 2, kT0 - kMinute,
              {{Quantity::Temperature, 210}, {Quantity::Humidity, 45}, {Quantity::Pressure, 1013}}),
          reading(
              SensorKind::Wind, 3, kT0 - kMinute,
              {{Quantity::WindSpeed, 120}, {Quantity::WindDirection, 200}, {Quantity::WindB, 0}}),
          rain(kT0 - kMinute, 20)}) {
        SensorSummary s;
        s.key = last.Key();
        s.firstSeenMs = s.lastSeenMs = ToUnixMs(last.time);
        s.last = last;
        archive.push_back(s);
    }
    overview.Load(archive);
    // Since the base at 11:43 (the day began at 0:00 CET), 4 and 6 steps of 0.5 mm.
    const RainResume resume{
        0,
        100,
        {rain(kT0 - 180 * kMinute, 10), rain(kT0 - 120 * kMinute, 14), rain(kT0 - kMinute, 20)}};
    overview.LoadRain(std::span(&resume, 1));
    overview.Check(kT0);
    std::vector<OverviewRow> rows = overview.Rows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].values, "Regenzähler 20, Regen heute 5,0 mm");
    EXPECT_EQ(rows[1].values, "12,0 km/h, 200°, B 0, Himmelsrichtung SSW");
    EXPECT_EQ(rows[2].values,
              "21,0 °C, 45 %, 1013 hPa, Taupunkt 8,6 °C, Luftdruck auf Meereshöhe 1049,8 hPa");

    for (const Reading& heard : {rain(kT0, 23)}) {
        tracker.Accept(heard);
        overview.Accept(heard);
    }
    EXPECT_EQ(overview.Rows()[0].values, "Regenzähler 23, Regen heute 6,5 mm");
    overview.Check(kT0 + 10 * 3600000);  // 0:43 the next day
    EXPECT_EQ(overview.Rows()[0].values, "Regenzähler 23, Regen am 07.12.2026 6,5 mm")
        << "nothing heard today: the rain of the day it was last heard";
}

struct Logger {
    testing::FakeLocalClock wall{FromUnixMs(kT0, kCet)};
    testing::FakeCoarseClock steady{1, 0};
    SensorTracker tracker;
    OverdueNotices notices{Names(), tracker, wall, steady};

    // A reading of a recorded sensor, or of one the recording filter keeps from the notices.
    void Hear(const Reading& r, bool recorded = true) {
        wall.Set(r.time);
        tracker.Accept(r);
        if (recorded) {
            notices.Accept(r);
        }
        notices.EndOfPoll();
    }
    // A poll at UTC time t, a second after the last one on the steady clock.
    std::vector<std::string> PollAt(int64_t t) {
        wall.Set(FromUnixMs(t, kCet));
        steady.AdvanceMs(OverdueNotices::kCheckEveryMs);
        notices.EndOfPoll();
        std::vector<std::string> said;
        while (std::optional<SinkNotice> n = notices.TakeNotice()) {
            said.push_back(n->caption + ": " + n->text);
        }
        return said;
    }
};

TEST(OverdueNotices, EachSilenceAndEachReturnIsSaidOnce) {
    Logger log;
    for (int i = 0; i < 4; ++i) {
        log.Hear(Outdoor(1, kT0 + i * 3 * kMinute, 100));
        log.Hear(Outdoor(2, kT0 + i * 3 * kMinute, 100), false);  // not recorded: not watched
        log.Hear(Outdoor(4, kT0 + i * 3 * kMinute, 100));
    }
    const int64_t last = kT0 + 9 * kMinute;
    EXPECT_TRUE(log.PollAt(last + 9 * kMinute).empty());
    EXPECT_EQ(log.PollAt(last + 9 * kMinute + 1),
              (std::vector<std::string>{
                  "Empfang: Sensor Garten (outdoor-1) seit 14:52:07 nicht empfangen.",
                  "Empfang: Sensor Außen 4 (outdoor-4) seit 14:52:07 nicht empfangen."}));
    EXPECT_TRUE(log.PollAt(last + 60 * kMinute).empty());

    log.Hear(Outdoor(1, last + 61 * kMinute, 100));
    EXPECT_EQ(log.PollAt(last + 61 * kMinute + 500),
              (std::vector<std::string>{"Empfang: Sensor Garten (outdoor-1) wieder empfangen."}));
    // A silence that began on another day names the day.
    EXPECT_EQ(log.PollAt(last + kMsPerDay),
              (std::vector<std::string>{
                  "Empfang: Sensor Garten (outdoor-1) seit 2026-12-07 15:53:07 nicht empfangen."}));
}

TEST(OverdueNotices, ChecksAtMostOnceASecond) {
    Logger log;
    for (int i = 0; i < 4; ++i) {
        log.Hear(Outdoor(1, kT0 + i * 3 * kMinute, 100));
    }
    log.wall.Set(FromUnixMs(kT0 + kMsPerDay, kCet));
    log.notices.EndOfPoll();  // the same second on the steady clock as the last reading
    EXPECT_FALSE(log.notices.TakeNotice().has_value());
    EXPECT_EQ(log.PollAt(kT0 + kMsPerDay).size(), 1u);
}

}  // namespace
}  // namespace tavrolin
