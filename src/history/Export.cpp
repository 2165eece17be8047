// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/Export.h"

#include "archive/ArchiveQuery.h"
#include "decode/ReadingJson.h"
#include "weather/WeatherDerivation.h"

namespace tavrolin {

// RFC 4180, so lines end in CR LF.
std::string CsvHeader(const SensorKey& key, const WeatherSettings& weather) {
    if (key.kind == SensorKind::Special) {
        return key.remoteControl ? "time,sensor,text\r\n" : "time,sensor,interval,event\r\n";
    }
    std::string header = "time,sensor,v12,interval";
    for (const Quantity q : QuantitiesOf(key.kind)) {
        header += ',';
        header += InfoOf(q).key;
    }
    for (const WeatherQuantity q : WeatherQuantitiesOf(key, weather)) {
        header += ',';
        header += InfoOf(q).key;
    }
    if (key.kind == SensorKind::Wind) {
        header += ',';
        header += kWindCompassKey;
    }
    return header + "\r\n";
}

void AppendCsv(const Reading& r, const WeatherSettings& weather, std::string& out) {
    AppendRfc3339(r.Local(), out);
    out += ',';
    out += r.SensorId();
    const int64_t intervalMs = r.interval.value_or(Milliseconds(0)).count();
    if (r.kind != SensorKind::Special) {
        out += r.version12 ? ",true," : ",false,";
        AppendFixed(intervalMs, 3, out);
        for (std::size_t i = 0; i < r.valueCount; ++i) {
            out += ',';
            AppendFixed(r.values[i].raw, InfoOf(r.values[i].quantity).decimals, out);
        }
        // The header's columns, empty where a reading gives no value (a dew point of 0 %).
        for (const WeatherQuantity q : WeatherQuantitiesOf(r.Key(), weather)) {
            out += ',';
            if (const std::optional<Decimal> value = r.weather.Find(q)) {
                AppendFixed(value->raw, value->decimals, out);
            }
        }
        if (r.kind == SensorKind::Wind) {
            out += ',';
            out += r.weather.compass;
        }
    } else if (r.subtype == SpecialSubtype::RemoteControl) {
        // The only free text: quoted where it holds a comma or a quote.
        const std::string_view text(r.text.data());
        out += ',';
        if (text.find_first_of(",\"") == std::string_view::npos) {
            out += text;
        } else {
            out += '"';
            for (const char c : text) {
                out += c;
                if (c == '"') {
                    out += '"';
                }
            }
            out += '"';
        }
    } else {
        out += ',';
        AppendFixed(intervalMs, 3, out);
        out += r.event == FensterEvent::Low ? ",low" : ",high";
    }
    out += "\r\n";
}

ReadingExport::ReadingExport(const SensorKey& sensor, Instant from, Instant to,
                             const WeatherSettings& weather, ExportFormat format)
    : m_sensor(sensor),
      m_from(from),
      m_weather(weather),
      m_format(format),
      // The weather values as the receiving programs give them. A rain sensor's totals count
      // from its first reading in the archive, so its readings are counted from there.
      m_cursor(sensor, sensor.kind == SensorKind::Rain ? Instant::min() : from, to),
      m_derivation(weather) {}

ArchiveStatus ReadingExport::Next(Archive& archive, std::string& piece) {
    // Written in pieces: hundreds of thousands of lines a second, where a write per line
    // would cost more than the query.
    constexpr std::size_t kPiece = 64 * 1024;
    constexpr std::size_t kBatch = 1024;
    piece.clear();
    if (!m_started && m_format == ExportFormat::Csv) {
        piece += CsvHeader(m_sensor, m_weather);
    }
    m_started = true;
    while (piece.size() < kPiece && !m_done) {
        if (const ArchiveStatus status = m_cursor.Next(archive, kBatch, m_batch); !status.Ok()) {
            return status;
        }
        m_done = m_batch.empty();
        for (Reading& reading : m_batch) {
            m_derivation.Derive(reading);
            if (reading.time < m_from) {
                continue;
            }
            if (m_format == ExportFormat::Csv) {
                AppendCsv(reading, m_weather, piece);
            } else {
                AppendReadingJson(reading, piece);
                piece += '\n';
            }
            ++m_rows;
        }
    }
    return {};
}

ArchiveStatus ExportReadings(Archive& archive, const SensorKey& sensor, Instant from, Instant to,
                             const WeatherSettings& weather, ExportFormat format,
                             const std::function<void(std::string_view)>& write, int64_t* rows) {
    ReadingExport exporting(sensor, from, to, weather, format);
    std::string piece;
    ArchiveStatus status;
    do {
        status = exporting.Next(archive, piece);
        if (!piece.empty()) {
            write(piece);  // also what came before a failure
        }
    } while (status.Ok() && !piece.empty());
    if (rows != nullptr) {
        *rows = exporting.Rows();
    }
    return status;
}

}  // namespace tavrolin
