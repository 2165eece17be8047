// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "archive/Archive.h"
#include "archive/ArchiveQuery.h"
#include "base/Clock.h"
#include "decode/Reading.h"
#include "settings/WeatherSettings.h"
#include "weather/WeatherDerivation.h"

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
// The same a piece at a time, for a reader that takes it at its own pace (the browser
// view's download): each piece reads only what it holds, in batches of their own
// (ReadingCursor), so that a reader that stops reading stops the export.
class ReadingExport {
public:
    ReadingExport(const SensorKey& sensor, Instant from, Instant to, const WeatherSettings& weather,
                  ExportFormat format);
    // The next piece of some 64 KiB, the header at the start of the first; empty at the end.
    ArchiveStatus Next(Archive& archive, std::string& piece);
    // The readings written so far.
    int64_t Rows() const { return m_rows; }

private:
    SensorKey m_sensor;
    Instant m_from;
    WeatherSettings m_weather;
    ExportFormat m_format;
    ReadingCursor m_cursor;
    WeatherDerivation m_derivation;
    std::vector<Reading> m_batch;
    int64_t m_rows = 0;
    bool m_started = false;
    bool m_done = false;
};

ArchiveStatus ExportReadings(Archive& archive, const SensorKey& sensor, Instant from, Instant to,
                             const WeatherSettings& weather, ExportFormat format,
                             const std::function<void(std::string_view)>& write,
                             int64_t* rows = nullptr);

}  // namespace tavrolin
