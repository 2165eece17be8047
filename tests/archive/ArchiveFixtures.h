// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Readings and archives for the archive's tests.

#include <cstdint>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "archive/ArchiveQuery.h"
#include "decode/Reading.h"

namespace tavrolin::testing {

inline constexpr int64_t kT0 = 1796650987456;  // 2026-12-07 13:43:07.456 UTC
inline constexpr int kCet = 3600;
inline constexpr int64_t kMinute = 60000;
// The outdoor sensor at address 1, "Garten" where a test names it.
inline constexpr SensorKey kGarden{SensorKind::Outdoor, 1, false};

// One reading of an outdoor sensor (temperature in tenths, humidity) at UTC time t.
Reading Outdoor(int address, int64_t t, int32_t tenths, int32_t humidity = 60,
                int offsetSeconds = kCet);

// A reading of every kind and of both special sensors, as the decoder builds them from
// telegrams, 1.5 s apart, in the given UTC offset.
std::vector<Reading> EveryKind(int offsetSeconds);

// A chart's query of the sensor from `from` to `to` (UTC milliseconds), in UTC unless a zone
// is given.
SeriesRequest Request(const SensorKey& sensor, int64_t from, int64_t to, int maxPoints,
                      const TimeZone& zone = UtcZone());

// The sensor's readings in the archive, each as its JSON line, oldest first.
std::vector<std::string> JsonLines(Archive& archive, const SensorKey& sensor);
std::string JsonLine(const Reading& reading);

// The archive's check, its findings joined ("" when all is well).
std::string CheckFindings(Archive& archive);

}  // namespace tavrolin::testing
