// SPDX-License-Identifier: GPL-3.0-or-later
#include "ArchiveFixtures.h"

#include <array>

#include "FakeClocks.h"
#include "archive/ArchiveQuery.h"
#include "decode/ReadingJson.h"
#include "decode/TelegramDecoder.h"

namespace tavrolin::testing {

Reading Outdoor(int address, int64_t t, int32_t tenths, int32_t humidity, int offsetSeconds) {
    Reading r;
    r.time = FromUnixMs(t);
    r.utcOffsetSeconds = offsetSeconds;
    r.kind = SensorKind::Outdoor;
    r.address = static_cast<uint8_t>(address);
    r.interval = Milliseconds(180000);
    r.values[0] = {Quantity::Temperature, tenths};
    r.values[1] = {Quantity::Humidity, humidity};
    r.valueCount = 2;
    return r;
}

std::vector<Reading> EveryKind(int offsetSeconds) {
    const std::array<std::array<uint8_t, 6>, 12> telegrams = {{
        {0x01, 0x7F, 0x4E, 0, 0, 0},     // temp-only-1, -5.0 °C
        {0x11, 0, 123, 67, 0, 0},        // outdoor-1
        {0x2F, 0x40, 0x00, 0, 0, 0},     // rain-7, V1.2
        {0x33, 0, 125, 2, 2, 14},        // wind-3
        {0x4A, 1, 87, 45, 7, 117},       // indoor-2, V1.2
        {0x55, 0x7F, 0x7F, 3, 0, 0},     // brightness-5
        {0x66, 0x3F, 0x7F, 0, 0, 0},     // pyranometer-6
        {0x70, 0, 0, 0, 0, 0},           // Fenster high
        {0x71, 0, 0, 0, 0, 0},           // Fenster low
        {0x7F, 'A', '"', ',', '\n', 0},  // remote control, a control character shown as ?
        {0x7F, 0, 'B', 'C', 'D', 'E'},   // remote control, empty text
        {0x00, 0x00, 0x00, 0, 0, 0},     // temp-only-0, 0.0 °C
    }};
    FakeWallClock clock(LocalTimeAt(FromUnixMs(kT0), offsetSeconds));
    TelegramDecoder decoder(clock, clock);
    std::vector<Reading> readings;
    for (const auto& d : telegrams) {
        clock.AdvanceMs(1500);
        const std::array<uint8_t, 7> bytes = {d[0], d[1], d[2], d[3], d[4], d[5], 0x03};
        readings.push_back(*decoder.Decode(bytes));
    }
    return readings;
}

SeriesRequest Request(const SensorKey& sensor, int64_t from, int64_t to, int maxPoints,
                      const TimeZone& zone) {
    return {sensor, FromUnixMs(from), FromUnixMs(to), maxPoints, &zone};
}

std::string JsonLine(const Reading& reading) {
    std::string json;
    AppendReadingJson(reading, json);
    return json;
}

std::vector<std::string> JsonLines(Archive& archive, const SensorKey& sensor) {
    std::vector<std::string> lines;
    ForEachReading(archive, sensor, Instant::min(), Instant::max(),
                   [&lines](const Reading& r) { lines.push_back(JsonLine(r)); });
    return lines;
}

std::string CheckFindings(Archive& archive) {
    CheckReport report;
    const ArchiveStatus status = CheckArchive(archive, report);
    std::string text = status.Ok() ? "" : "check failed" + status.Describe();
    for (const std::string& finding : report.findings) {
        text += finding + "\n";
    }
    return text;
}

}  // namespace tavrolin::testing
