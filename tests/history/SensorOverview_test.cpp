// SPDX-License-Identifier: GPL-3.0-or-later
// The sensor overview and the logger's messages on silent sensors: which sensors are
// overdue, when, and that each silence and each return is said once.
#include <gtest/gtest.h>

#include "ArchiveFixtures.h"
#include "FakeClocks.h"
#include "TempDir.h"
#include "history/ArchiveSeed.h"
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

const FixedOffsetZone kCetZone(kCet);

Instant At(int64_t t) {
    return FromUnixMs(t);
}

Reading Fenster(int64_t t) {
    Reading r;
    r.time = At(t);
    r.utcOffsetSeconds = kCet;
    r.kind = SensorKind::Special;
    r.subtype = SpecialSubtype::FensterHigh;
    r.event = FensterEvent::High;
    return r;
}

TEST(SensorOverview, ASensorSilentForThreePeriodsIsOverdueUntilItIsHeardAgain) {
    SensorTracker tracker;
    SensorOverview overview(Names(), tracker, kCetZone);
    for (int i = 0; i < 4; ++i) {
        tracker.Accept(Outdoor(1, kT0 + i * 3 * kMinute, 123 + i));
    }
    tracker.Accept(Outdoor(2, kT0 + 9 * kMinute, -50));
    tracker.Accept(Fenster(kT0));
    const int64_t last = kT0 + 9 * kMinute;

    EXPECT_FALSE(overview.Check(At(last + 9 * kMinute)));  // three periods exactly: not yet
    std::vector<OverviewRow> rows = overview.Rows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].id, "outdoor-1");
    EXPECT_EQ(rows[0].name, "Garten");
    EXPECT_EQ(rows[0].values, "12,6 °C, 60 %");
    EXPECT_EQ(rows[0].lastSeen, "07.12.2026 14:52:07");
    EXPECT_EQ(rows[0].period, "00:03:00");
    EXPECT_EQ(rows[1].name, "Außen 2");
    EXPECT_EQ(rows[1].period, "-");  // not yet learned
    EXPECT_EQ(rows[2].id, "window-event");
    for (const OverviewRow& row : rows) {
        EXPECT_FALSE(row.overdue) << row.id;
    }

    // Outdoor 2 has the default period of five minutes: overdue after fifteen.
    EXPECT_TRUE(overview.Check(At(last + 9 * kMinute + 1)));
    rows = overview.Rows();
    EXPECT_TRUE(rows[0].overdue);
    EXPECT_EQ(rows[0].state, "überfällig");
    EXPECT_FALSE(rows[1].overdue);
    EXPECT_FALSE(overview.Check(At(last + 10 * kMinute)));  // no news: no change
    EXPECT_TRUE(overview.Check(At(last + 15 * kMinute + 1)));
    rows = overview.Rows();
    EXPECT_TRUE(rows[1].overdue);
    EXPECT_FALSE(rows[2].overdue) << "events come when they happen: never overdue";

    tracker.Accept(Outdoor(1, kT0 + 30 * kMinute, 99));
    EXPECT_TRUE(overview.Check(At(kT0 + 30 * kMinute)));
    rows = overview.Rows();
    EXPECT_FALSE(rows[0].overdue);
    EXPECT_EQ(rows[0].state, "");
    EXPECT_EQ(rows[0].values, "9,9 °C, 60 %");
    EXPECT_TRUE(rows[1].overdue);
}

// The program's account of the station starts from the archive's (SeedFromArchive), where
// its outputs are built; the overview reads it: the values as the derivation gives them
// (dew point, sea-level pressure, compass point, the rain of today), a sensor heard only in
// the archive with its usual period and overdue, and the first reading the archive has.
TEST(SensorOverview, StartsFromTheArchivesAccountAndFollowsTheReadingsThroughTheDerivation) {
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
    std::vector<Reading> past = {
        Outdoor(1, kT0 - 400 * kMsPerDay, 10),
        reading(
            SensorKind::Indoor, 2, kT0 - kMinute,
            {{Quantity::Temperature, 210}, {Quantity::Humidity, 45}, {Quantity::Pressure, 1013}}),
        reading(SensorKind::Wind, 3, kT0 - kMinute,
                {{Quantity::WindSpeed, 120}, {Quantity::WindDirection, 200}, {Quantity::WindB, 0}}),
        reading(SensorKind::Brightness, 0, kT0 - kMinute,
                {{Quantity::Value, 3208}, {Quantity::Factor, 10}}),
        // The day began at 0:00 CET; 4 and 6 steps of 0.5 mm since 11:43.
        rain(kT0 - 180 * kMinute, 10), rain(kT0 - 120 * kMinute, 14), rain(kT0 - kMinute, 20)};
    // Outdoor 3 every two minutes, silent for an hour.
    for (int i = 4; i >= 0; --i) {
        past.push_back(Outdoor(3, kT0 - 60 * kMinute - i * 2 * kMinute, 77));
    }
    testing::TempDir dir;
    Archive archive;
    ASSERT_TRUE(archive.Open(dir.File("a.sqlite"), Archive::Access::Write, 100).Ok());
    ASSERT_TRUE(archive.Write(past).Ok());

    WeatherSettings weather;
    weather.rain.mmPerStep[0] = Decimal{5, 1};
    weather.station.altitudeMetres = 300;
    WeatherDerivation derivation(weather);
    SensorTracker tracker;
    ASSERT_TRUE(SeedFromArchive(archive, derivation, tracker).Ok());
    SensorOverview overview(Names(), tracker, kCetZone);
    overview.Check(At(kT0));
    std::vector<OverviewRow> rows = overview.Rows();
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[0].id, "outdoor-1");
    EXPECT_EQ(overview.FirstSeen(kGarden), At(kT0 - 400 * kMsPerDay));
    EXPECT_EQ(rows[1].id, "outdoor-3");
    EXPECT_EQ(rows[1].values, "7,7 °C, 60 %, Taupunkt 0,4 °C");
    EXPECT_EQ(rows[1].period, "00:02:00");
    EXPECT_TRUE(rows[1].overdue);
    EXPECT_EQ(rows[2].values, "Regenzähler 20, Regen heute 5,0 mm");
    EXPECT_EQ(rows[3].values, "12,0 km/h, 200°, B 0, Himmelsrichtung SSW");
    EXPECT_EQ(rows[4].values,
              "21,0 °C, 45 %, 1013 hPa, Taupunkt 8,6 °C, Luftdruck auf Meereshöhe 1049,8 hPa");
    EXPECT_EQ(rows[5].values, "Helligkeit 32080") << "value × factor, the one number they make";

    // A reading heard now goes through the same derivation into the tracker.
    Reading heard = rain(kT0, 23);
    derivation.Derive(heard);
    tracker.Accept(heard);
    EXPECT_EQ(overview.Rows()[2].values, "Regenzähler 23, Regen heute 6,5 mm");
    overview.Check(At(kT0 + 10 * 3600000));  // 0:43 the next day
    EXPECT_EQ(overview.Rows()[2].values, "Regenzähler 23, Regen am 07.12.2026 6,5 mm")
        << "nothing heard today: the rain of the day it was last heard";
    EXPECT_EQ(overview.ChartableSensors().size(), 6u);

    // A click on a column's header sorts by it; what is not known sorts last either way.
    for (const bool ascending : {true, false}) {
        OverviewSort(rows, OverviewColumn::Period, ascending);
        EXPECT_EQ(rows[0].id, "outdoor-3");
        OverviewSort(rows, OverviewColumn::Values, ascending);
        EXPECT_EQ(rows[0].id, ascending ? "outdoor-1" : "brightness-0");
    }
}

struct Logger {
    testing::FakeWallClock wall{LocalTimeAt(At(kT0), kCet)};
    testing::FakeCoarseClock steady{1, 0};
    SensorTracker tracker;
    OverdueNotices notices{Names(), tracker, wall, wall, steady};

    // A reading of a recorded sensor, or of one the recording filter keeps from the notices.
    void Hear(const Reading& r, bool recorded = true) {
        wall.SetInstant(r.time);
        tracker.Accept(r);
        if (recorded) {
            notices.Accept(r);
        }
        notices.EndOfPoll();
    }
    // A poll at UTC time t, a second after the last one on the steady clock.
    std::vector<std::string> PollAt(int64_t t) {
        wall.SetInstant(At(t));
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
                  "Empfang: Sensor Garten (outdoor-1) seit 07.12.2026 15:53:07 nicht empfangen."}));
}

TEST(OverdueNotices, ASensorTheArchiveKnewSilentIsJustHeardWithoutAReturnSaid) {
    Logger log;
    const Reading old = Outdoor(1, kT0 - kMsPerDay, 100);
    log.tracker.Seed(old, std::vector<Instant>{old.time}, old.time, 1);
    EXPECT_TRUE(log.PollAt(kT0).empty());
    log.Hear(Outdoor(1, kT0 + 1000, 100));
    EXPECT_TRUE(log.PollAt(kT0 + 2000).empty());
}

TEST(OverdueNotices, ChecksAtMostOnceASecond) {
    Logger log;
    for (int i = 0; i < 4; ++i) {
        log.Hear(Outdoor(1, kT0 + i * 3 * kMinute, 100));
    }
    log.wall.SetInstant(At(kT0 + kMsPerDay));
    log.notices.EndOfPoll();  // the same second on the steady clock as the last reading
    EXPECT_FALSE(log.notices.TakeNotice().has_value());
    EXPECT_EQ(log.PollAt(kT0 + kMsPerDay).size(), 1u);
}

}  // namespace
}  // namespace tavrolin
