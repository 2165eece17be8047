// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "archive/Archive.h"
#include "base/Clock.h"
#include "decode/Reading.h"
#include "settings/WeatherSettings.h"

namespace tavrolin {

// A sensor's readings as files for machines: what `tavrolin-history export` writes, the
// chart window's "Als CSV speichern..." and the browser view's download.
enum class ExportFormat {
    Csv,   // RFC 4180 with a header line of the sensor's kind's columns, lines ending CR LF
    Json,  // JSON Lines, the form of tavrolin-log --json
};

// The CSV header of a sensor's kind, and one reading as a CSV line (times ISO 8601 with
// their offset, numbers with the decimals of their decoding, the derived values as --json
// has them).
std::string CsvHeader(const SensorKey& key, const WeatherSettings& weather);
void AppendCsv(const Reading& reading, const WeatherSettings& weather, std::string& out);

// Writes every reading of the sensor in [from, to), oldest first, with the weather values
// the receiving programs derive with these settings (a rain sensor's totals counted from its
// first reading in the archive), through `write` in pieces of some 64 KiB. The count of
// readings written goes to `rows`.
ArchiveStatus ExportReadings(Archive& archive, const SensorKey& sensor, Instant from, Instant to,
                             const WeatherSettings& weather, ExportFormat format,
                             const std::function<void(std::string_view)>& write,
                             int64_t* rows = nullptr);

}  // namespace tavrolin
