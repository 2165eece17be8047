// SPDX-License-Identifier: GPL-3.0-or-later
// JSON Lines back into readings, and the times people and machines write.
#include "archive/ReadingImport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "ArchiveFixtures.h"
#include "archive/TimeText.h"

namespace tavrolin {
namespace {

TEST(ReadingImport, EveryLineTheJsonFormWritesReadsBackToTheSameLine) {
    for (const int offset : {0, 3600, -(3 * 3600 + 1800)}) {
        for (const Reading& r : testing::EveryKind(offset)) {
            const std::string line = testing::JsonLine(r);
            const ImportedReading parsed = ParseReadingJson(line);
            ASSERT_TRUE(parsed.reading) << line << ": " << parsed.error;
            EXPECT_EQ(testing::JsonLine(*parsed.reading), line);
            EXPECT_EQ(parsed.reading->Key(), r.Key());
        }
    }
}

TEST(ReadingImport, ABadLineSaysWhatIsWrongWithIt) {
    const std::string t = R"("time":"2026-12-07T14:03:08.956+01:00")";
    const std::string outdoor = t + R"(,"sensor":"outdoor-1","interval":1.5,"temperature":12.3)";
    struct Case {
        std::string line;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"", "kein JSON-Objekt"},
        {"[1,2]", "kein JSON-Objekt"},
        {R"({"time":"2026-12-07T14:03:08.956+01:00", "sensor":)", "kein JSON-Objekt"},
        // Nothing after the object, not even behind a zero byte; no lone half of a surrogate
        // pair.
        {"{" + outdoor + R"(,"humidity":67})" + std::string("\0{}", 3), "kein JSON-Objekt"},
        {"{" + t + R"(,"sensor":"remote-control","text":"\uDC00"})", "kein JSON-Objekt"},
        {R"({"sensor":"outdoor-1"})", "\"time\" fehlt"},
        {R"({"time":"2026-12-07 14:03","sensor":"outdoor-1"})", "\"time\" ist keine Zeit"},
        {R"({"time":"2026-02-30T14:03:08+01:00","sensor":"outdoor-1"})", "\"time\" ist keine Zeit"},
        {"{" + t + R"(,"sensor":"outdoor-9"})", "unbekannter Sensor \"outdoor-9\""},
        {"{" + outdoor + "}", "\"humidity\" fehlt"},
        {"{" + outdoor + R"(,"humidity":"67"})", "\"humidity\" ist keine passende Zahl"},
        {"{" + outdoor + R"(,"humidity":67,"kind":2})", "\"kind\" paßt nicht zu \"sensor\""},
        {"{" + outdoor + R"(,"humidity":67,"address":4294967297})",
         "\"address\" paßt nicht zu \"sensor\""},
        {"{" + outdoor + R"(,"humidity":67,"v12":1})", "\"v12\" ist nicht true oder false"},
        {"{" + outdoor + R"(,"humidity":1e12})", "\"humidity\" ist keine passende Zahl"},
        {"{" + t + R"(,"sensor":"outdoor-1","temperature":1,"humidity":2})", "\"interval\" fehlt"},
        // Of a key given twice the last counts; keys of nested objects are not the line's.
        {"{" + outdoor + R"(,"humidity":67,"humidity":"67"})", "\"humidity\" ist keine passende"},
        {"{" + t + R"(,"sensor":"outdoor-1","x":{"interval":1},"temperature":1,"humidity":2})",
         "\"interval\" fehlt"},
        {"{" + t + R"(,"sensor":"remote-control","text":"ABCDEF"})", "länger als 5 Zeichen"},
        {"{" + t + R"(,"sensor":"remote-control","text":"A\tB"})", "Steuerzeichen"},
        {"{" + t + R"(,"sensor":"window-event","interval":1,"event":"open"})",
         "\"event\" ist nicht"},
    };
    for (const Case& c : cases) {
        const ImportedReading parsed = ParseReadingJson(c.line);
        EXPECT_FALSE(parsed.reading) << c.line;
        EXPECT_NE(parsed.error.find(c.error), std::string::npos) << c.line << ": " << parsed.error;
    }
    // An interval is taken as long as the report line's 100-ns ticks can hold it, and written back
    // as it was read; one beyond is refused, not wrapped round.
    const std::string window = "{" + t + R"(,"sensor":"window-event","event":"low","interval":)";
    for (const char* longest : {"922337203685.477", "-922337203685.477"}) {
        const ImportedReading parsed = ParseReadingJson(window + longest + "}");
        ASSERT_TRUE(parsed.reading) << longest << ": " << parsed.error;
        EXPECT_EQ(std::llabs(parsed.reading->interval->count()), 922337203685477) << longest;
        EXPECT_NE(testing::JsonLine(*parsed.reading).find(longest), std::string::npos);
    }
    for (const char* tooLong : {"922337203685.478", "999999999999.9991", "-1e300"}) {
        const ImportedReading parsed = ParseReadingJson(window + tooLong + "}");
        EXPECT_FALSE(parsed.reading) << tooLong;
        EXPECT_NE(parsed.error.find("\"interval\" ist keine passende Zahl"), std::string::npos)
            << tooLong << ": " << parsed.error;
    }
    // Keys it does not know are no fault: later versions may add some.
    EXPECT_TRUE(ParseReadingJson("{" + outdoor + R"(,"humidity":67,"station":"Garten"})").reading);
    EXPECT_TRUE(ParseReadingJson("{" + outdoor + R"(,"humidity":[67],"humidity":67})").reading);
    // Nor is the byte order mark an editor puts before the first line.
    EXPECT_TRUE(ParseReadingJson("\xEF\xBB\xBF{" + outdoor + R"(,"humidity":67} )").reading);
}

TEST(ReadingImport, ValuesNoTelegramCanCarryAreRefused) {
    // Each quantity at the ends of what the decoder can give, and just beyond.
    const std::string t = R"({"time":"2026-12-07T14:03:08.956+01:00","interval":1,)";
    struct Case {
        std::string values;   // the sensor and its values
        const char* refused;  // the key refused, or nullptr
    };
    const std::vector<Case> cases = {
        {R"("sensor":"temp-only-0","temperature":819.1)", nullptr},
        {R"("sensor":"temp-only-0","temperature":-819.2)", nullptr},
        {R"("sensor":"temp-only-0","temperature":819.2)", "temperature"},
        {R"("sensor":"temp-only-0","temperature":999.9)", "temperature"},
        {R"("sensor":"outdoor-1","temperature":-819.3,"humidity":50)", "temperature"},
        {R"("sensor":"outdoor-1","temperature":12.3,"humidity":127)", nullptr},
        {R"("sensor":"outdoor-1","temperature":12.3,"humidity":250)", "humidity"},
        {R"("sensor":"outdoor-1","temperature":12.3,"humidity":-1)", "humidity"},
        {R"("sensor":"indoor-2","temperature":21.5,"humidity":0,"pressure":16383)", nullptr},
        {R"("sensor":"indoor-2","temperature":21.5,"humidity":45,"pressure":16384)", "pressure"},
        {R"("sensor":"rain-0","rain_counter":-8192)", nullptr},
        {R"("sensor":"rain-0","rain_counter":8191)", nullptr},
        {R"("sensor":"rain-0","rain_counter":99999)", "rain_counter"},
        {R"("sensor":"wind-3","wind_speed":819.1,"wind_direction":16383,"wind_b":127)", nullptr},
        {R"("sensor":"wind-3","wind_speed":-819.3,"wind_direction":0,"wind_b":0)", "wind_speed"},
        {R"("sensor":"wind-3","wind_speed":1,"wind_direction":-1,"wind_b":0)", "wind_direction"},
        {R"("sensor":"wind-3","wind_speed":1,"wind_direction":0,"wind_b":128)", "wind_b"},
        {R"("sensor":"brightness-0","value":-8192,"factor":0)", nullptr},
        {R"("sensor":"brightness-0","value":8192,"factor":1)", "value"},
        {R"("sensor":"pyranometer-0","value":1,"factor":128)", "factor"},
    };
    for (const Case& c : cases) {
        const ImportedReading parsed = ParseReadingJson(t + c.values + "}");
        if (c.refused == nullptr) {
            EXPECT_TRUE(parsed.reading) << c.values << ": " << parsed.error;
        } else {
            EXPECT_FALSE(parsed.reading) << c.values;
            EXPECT_TRUE(parsed.error.starts_with("\"" + std::string(c.refused) +
                                                 "\" liegt außerhalb dessen, was ein Telegramm "
                                                 "tragen kann ("))
                << c.values << ": " << parsed.error;
        }
    }
    EXPECT_EQ(ParseReadingJson(t + R"("sensor":"temp-only-0","temperature":999.9})").error,
              "\"temperature\" liegt außerhalb dessen, was ein Telegramm tragen kann (-819,2 bis "
              "819,1)");
}

TEST(TimeText, TheFormsOfDatesAndTimes) {
    struct Case {
        std::string text;
        bool valid;
        LocalTime time;
        bool hasClock;
        std::optional<int> offset;
    };
    const std::vector<Case> cases = {
        {"2026-12-07", true, {2026, 12, 7}, false, {}},
        {"2026-12-07T14:03", true, {2026, 12, 7, 14, 3}, true, {}},
        {"2026-12-07 14:03:07", true, {2026, 12, 7, 14, 3, 7}, true, {}},
        {"2026-12-07T14:03:07.4", true, {2026, 12, 7, 14, 3, 7, 400}, true, {}},
        {"2026-12-07T14:03:07.456Z", true, {2026, 12, 7, 14, 3, 7, 456}, true, 0},
        {"2026-12-07T14:03:07-03:30", true, {2026, 12, 7, 14, 3, 7, 0, -12600}, true, -12600},
        {"2024-02-29", true, {2024, 2, 29}, false, {}},
        {"2025-02-29", false, {}, false, {}},
        {"2026-13-01", false, {}, false, {}},
        {"2026-12-07T24:00", false, {}, false, {}},
        {"2026-12-07T14", false, {}, false, {}},
        {"2026-12-07T14:03:07.", false, {}, false, {}},
        {"2026-12-07T14:03+1", false, {}, false, {}},
        {"07.12.2026", false, {}, false, {}},
        {"2026-12-07x", false, {}, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const std::optional<IsoTime> iso = ParseIsoTime(c.text);
        ASSERT_EQ(iso.has_value(), c.valid);
        if (iso) {
            EXPECT_EQ(InstantOf(iso->time), InstantOf(c.time));
            EXPECT_EQ(iso->time.utcOffsetSeconds, c.time.utcOffsetSeconds);
            EXPECT_EQ(iso->hasClock, c.hasClock);
            EXPECT_EQ(iso->offsetSeconds, c.offset);
        }
    }
}

}  // namespace
}  // namespace tavrolin
