// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/SensorTracker.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decode/OverdueWatch.h"

namespace tavrolin {
namespace {

constexpr SensorKey kOutdoor1{SensorKind::Outdoor, 1, false};
constexpr SensorKey kWindow{SensorKind::Special, 0, false};
constexpr Milliseconds kSecond{1000};
constexpr Instant kStart = FromUnixMs(1'000'000);

TEST(SensorTracker, TheUsualPeriodIsTheMedianGapAndALostTelegramDoesNotMoveIt) {
    SensorTracker t;
    Instant now = kStart;
    t.NoteSeen(kOutdoor1, now);
    EXPECT_EQ(t.UsualPeriod(kOutdoor1), SensorTracker::kDefaultPeriod);
    // 48 s, 49 s, a lost one (97 s), 48 s: the median is 48 s once three gaps are known.
    for (const int64_t gap : {48, 49, 97, 48}) {
        now += gap * kSecond;
        t.NoteSeen(kOutdoor1, now);
    }
    EXPECT_EQ(t.LearnedPeriod(kOutdoor1), 49 * kSecond);
    for (int i = 0; i < 20; ++i) {  // the ring forgets the old ones
        now += 60 * kSecond;
        t.NoteSeen(kOutdoor1, now);
    }
    EXPECT_EQ(t.LearnedPeriod(kOutdoor1), 60 * kSecond);
    EXPECT_EQ(t.At(kOutdoor1).count, 25);

    EXPECT_FALSE(t.IsOverdue(kOutdoor1, now + 180 * kSecond));
    EXPECT_TRUE(t.IsOverdue(kOutdoor1, now + 181 * kSecond));
    now += 200 * kSecond;
    t.NoteSeen(kOutdoor1, now);  // heard again
    EXPECT_FALSE(t.IsOverdue(kOutdoor1, now));
}

TEST(SensorTracker, EventSensorsAndUnheardOnesAreNeverOverdue) {
    SensorTracker t;
    EXPECT_FALSE(t.IsOverdue(kOutdoor1, FromUnixMs(1'000'000'000)));
    t.NoteSeen(kWindow, kStart);
    t.NoteSeen(kWindow, kStart + 10 * kSecond);
    EXPECT_FALSE(t.UsualPeriod(kWindow));
    EXPECT_FALSE(t.IsOverdue(kWindow, FromUnixMs(1'000'000'000)));
    // A clock set back is no gap, nor is a backlog read at once.
    t.NoteSeen(kOutdoor1, kStart + 100 * kSecond);
    t.NoteSeen(kOutdoor1, kStart + 50 * kSecond);
    for (int i = 1; i < 10; ++i) {
        t.NoteSeen(kOutdoor1, kStart + 50 * kSecond + i * Milliseconds(50));
    }
    EXPECT_EQ(t.At(kOutdoor1).gapCount, 0);
    EXPECT_EQ(t.UsualPeriod(kOutdoor1), SensorTracker::kDefaultPeriod);
}

TEST(OverdueWatch, EachSensorIsReportedOverdueOnceAndBackOnceWhenHeardAgain) {
    SensorTracker t;
    OverdueWatch watch;
    std::vector<std::string> events;
    const auto update = [&](Instant now) {
        watch.Update(t, now, [&](const SensorKey& key, bool overdue) {
            events.push_back(std::string(SensorIdOf(key)) + (overdue ? " overdue" : " back"));
        });
    };
    const SensorKey wind{SensorKind::Wind, 0, false};
    t.NoteSeen(kOutdoor1, kStart);
    t.NoteSeen(wind, kStart);
    t.NoteSeen(kWindow, kStart);
    EXPECT_EQ(t.OverdueAfter(kOutdoor1), 3 * SensorTracker::kDefaultPeriod);
    EXPECT_FALSE(t.OverdueAfter(kWindow));
    const Instant after = kStart + *t.OverdueAfter(kOutdoor1);
    const Milliseconds ms{1};
    update(after);
    EXPECT_TRUE(events.empty());
    update(after + ms);
    update(after + 2 * ms);
    t.NoteSeen(wind, after + 3 * ms);
    update(after + 4 * ms);
    update(after + 5 * ms);
    EXPECT_EQ(events,
              (std::vector<std::string>{"outdoor-1 overdue", "wind-0 overdue", "wind-0 back"}));
    EXPECT_TRUE(watch.Overdue(kOutdoor1));
    EXPECT_FALSE(watch.Overdue(wind));
}

}  // namespace
}  // namespace tavrolin
