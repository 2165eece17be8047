// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/ReadingJson.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "FakeClocks.h"
#include "decode/TelegramDecoder.h"

namespace tavrolin {
namespace {

// Telegram bytes, decoded 1.5 s after the decoder started, in CET: the JSON line a machine
// gets. The values are those the report line shows, with their decimals and nothing more.
TEST(ReadingJson, EveryKindGivesItsValuesUnderTheirNames) {
    struct Case {
        std::array<uint8_t, 6> data;
        std::string json;
    };
    const std::string t = R"({"time":"2026-12-07T14:03:08.956+01:00","sensor":)";
    const std::vector<Case> cases = {
        {{0x01, 0x7F, 0x4E, 0, 0, 0},
         t + R"("temp-only-1","kind":0,"address":1,"v12":false,"interval":1.500,"temperature":-5.0})"},
        {{0x00, 0x7F, 0x7B, 0, 0, 0},
         t + R"("temp-only-0","kind":0,"address":0,"v12":false,"interval":1.500,"temperature":-0.5})"},
        {{0x11, 0, 123, 67, 0, 0},
         t + R"("outdoor-1","kind":1,"address":1,"v12":false,"interval":1.500,"temperature":12.3,"humidity":67})"},
        {{0x2F, 0x40, 0x00, 0, 0, 0},
         t + R"("rain-7","kind":2,"address":7,"v12":true,"interval":1.500,"rain_counter":-8192})"},
        {{0x33, 0, 125, 2, 2, 14},
         t + R"("wind-3","kind":3,"address":3,"v12":false,"interval":1.500,"wind_speed":12.5,"wind_direction":270,"wind_b":2})"},
        {{0x4A, 1, 87, 45, 7, 117},
         t + R"("indoor-2","kind":4,"address":2,"v12":true,"interval":1.500,"temperature":21.5,"humidity":45,"pressure":1013})"},
        {{0x55, 0x7F, 0x7F, 3, 0, 0},
         t + R"("brightness-5","kind":5,"address":5,"v12":false,"interval":1.500,"value":-1,"factor":3})"},
        {{0x66, 0x3F, 0x7F, 0, 0, 0},
         t + R"("pyranometer-6","kind":6,"address":6,"v12":false,"interval":1.500,"value":8191,"factor":0})"},
        {{0x70, 0, 0, 0, 0, 0}, t + R"("window-event","interval":1.500,"event":"high"})"},
        {{0x71, 0, 0, 0, 0, 0}, t + R"("window-event","interval":1.500,"event":"low"})"},
        {{0x7F, 'A', '"', '\\', '\n', 0}, t + R"("remote-control","text":"A\"\\?"})"},
        {{0x7F, 0, 'B', 'C', 'D', 'E'}, t + R"("remote-control","text":""})"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        testing::FakeWallClock clock({2026, 12, 7, 14, 3, 7, 456, 3600});
        TelegramDecoder decoder(clock, clock);
        clock.AdvanceMs(1500);
        const std::array<uint8_t, 7> bytes = {c.data[0], c.data[1], c.data[2], c.data[3],
                                              c.data[4], c.data[5], 0x03};
        const std::optional<Reading> reading = decoder.Decode(bytes);
        ASSERT_TRUE(reading);
        std::string json = "x";  // appended to, never replaced
        AppendReadingJson(*reading, json);
        EXPECT_EQ(json, "x" + c.json);
    }
}

TEST(ReadingJson, TimeCarriesItsOffsetAndMapsToTheSameInstant) {
    const LocalTime summer{2026, 7, 1, 0, 30, 0, 5, 7200};
    const LocalTime west{2026, 6, 30, 19, 0, 0, 5, -3 * 3600 - 1800};
    std::string out;
    AppendRfc3339(summer, out);
    EXPECT_EQ(out, "2026-07-01T00:30:00.005+02:00");
    out.clear();
    AppendRfc3339(west, out);
    EXPECT_EQ(out, "2026-06-30T19:00:00.005-03:30");
    EXPECT_EQ(InstantOf(summer), InstantOf(west));
    EXPECT_EQ(UnixMs(InstantOf({1970, 1, 1, 1, 0, 0, 1, 3600})), 1);
}

TEST(SensorIds, EveryIdNamesOneSensorAndReadsBack) {
    for (int i = 0; i < kSensorCount; ++i) {
        const SensorKey key = SensorAt(i);
        EXPECT_EQ(IndexOf(key), i);
        const std::optional<SensorKey> parsed = ParseSensorId(SensorIdOf(key));
        ASSERT_TRUE(parsed) << SensorIdOf(key);
        EXPECT_EQ(*parsed, key);
    }
    EXPECT_EQ(SensorIdOf({SensorKind::Outdoor, 1, false}), "outdoor-1");
    EXPECT_FALSE(ParseSensorId("outdoor-8"));
    EXPECT_FALSE(ParseSensorId(""));
}

}  // namespace
}  // namespace tavrolin
