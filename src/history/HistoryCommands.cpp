// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/HistoryCommands.h"

#include <algorithm>
#include <filesystem>
#include <limits>
#include <optional>
#include <vector>

#include "archive/Archive.h"
#include "archive/ArchiveQuery.h"
#include "archive/ReadingImport.h"
#include "archive/TimeText.h"
#include "base/CommandLine.h"
#include "base/FileSystem.h"
#include "base/Version.h"
#include "decode/ReadingJson.h"
#include "decode/ReadingText.h"
#include "history/ArchiveSeed.h"
#include "history/Export.h"
#include "history/SensorOverview.h"
#include "settings/ArchiveSettings.h"
#include "settings/SensorNames.h"
#include "settings/SettingsStore.h"
#include "settings/WeatherProfile.h"
#include "weather/WeatherDerivation.h"

namespace tavrolin {

namespace {

constexpr std::size_t kImportBatch = 5000;

// Output through a buffer of its own: the export writes hundreds of thousands of lines a
// second, and one fwrite per line would cost more than the query.
class Output {
public:
    explicit Output(std::FILE* file) : m_file(file) { m_buffer.reserve(kFlushAt + 4096); }
    ~Output() { Flush(); }
    std::string& Buffer() { return m_buffer; }
    void Line(std::string_view text) {
        m_buffer += text;
        m_buffer += '\n';
        MaybeFlush();
    }
    void MaybeFlush() {
        if (m_buffer.size() >= kFlushAt) {
            Flush();
        }
    }
    void Flush() {
        if (!m_buffer.empty()) {
            std::fwrite(m_buffer.data(), 1, m_buffer.size(), m_file);
            m_buffer.clear();
        }
        std::fflush(m_file);
    }

private:
    static constexpr std::size_t kFlushAt = 64 * 1024;
    std::FILE* m_file;
    std::string m_buffer;
};

// --from and --to: an instant. Without an offset, local time in the zone (in the hour the
// clocks repeat, its first time); a date alone is the start of its day, and in --to
// includes that day.
std::optional<Instant> TimeArgument(const std::string& text, bool end, const TimeZone& zone) {
    const std::optional<IsoTime> iso = ParseIsoTime(text);
    if (!iso) {
        return std::nullopt;
    }
    if (iso->offsetSeconds) {
        return InstantOf(iso->time);
    }
    const LocalTime& t = iso->time;
    if (!iso->hasClock) {
        return StartOfLocalDay(zone, DayNumberOf(t.year, t.month, t.day) + (end ? 1 : 0));
    }
    return InstantIn(zone, t, RepeatedHour::First);
}

// Characters, not bytes, so that names with umlauts line up.
std::size_t Width(std::string_view utf8) {
    return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

void Pad(std::string& line, std::string_view cell, std::size_t width) {
    line += cell;
    line.append(width > Width(cell) ? width - Width(cell) + 2 : 2, ' ');
}

// --sensor: an id, or the name the views show of one sensor.
std::optional<SensorKey> SensorNamed(const std::string& text, const SettingsStore& settings,
                                     const HistoryEnvironment& env) {
    if (const std::optional<SensorKey> key = ParseSensorId(text)) {
        return key;
    }
    const SensorNames names = SensorNames::Read(settings);
    std::vector<SensorKey> named;
    for (int i = 0; i < kSensorCount; ++i) {
        // The names every view shows: the friendly one, else the list's ("Außen 1").
        if (names.NameOf(SensorAt(i)) == text) {
            named.push_back(SensorAt(i));
        }
    }
    if (named.size() == 1) {
        return named.front();
    }
    if (named.empty()) {
        Say(env.err, "Einen Sensor " + text +
                         " gibt es nicht; tavrolin-history sensors zeigt die Sensoren.");
    } else {
        std::string ids;
        for (const SensorKey& key : named) {
            ids += (ids.empty() ? "" : ", ") + std::string(SensorIdOf(key));
        }
        Say(env.err, "Den Namen " + text + " tragen mehrere Sensoren (" + ids +
                         "); --sensor braucht dann die Kennung.");
    }
    return std::nullopt;
}

}  // namespace

void Say(std::FILE* err, const std::string& text) {
    std::fprintf(err, "tavrolin-history: %s\n", text.c_str());
}

int ListSensorsCommand(Archive& archive, const SettingsStore& settings,
                       const HistoryEnvironment& env) {
    // The same account of the station the programs start from.
    WeatherDerivation derivation(ReadWeatherSettings(settings).settings);
    SensorTracker tracker;
    std::vector<SensorSummary> sensors;
    if (const ArchiveStatus status = SeedFromArchive(archive, derivation, tracker, &sensors);
        !status.Ok()) {
        Say(env.err, "Das Archiv läßt sich nicht lesen" + status.Describe());
        return 1;
    }
    if (sensors.empty()) {
        Say(env.err, "Das Archiv " + ShownFilePath(archive.Path()) + " enthält keine Messungen.");
        return 0;
    }
    const SensorNames names = SensorNames::Read(settings);
    std::vector<std::array<std::string, 7>> rows;
    rows.push_back(
        {"Sensor", "Name", "Erste Messung", "Letzte Messung", "Anzahl", "Periode", "Letzte Werte"});
    for (const SensorSummary& s : sensors) {
        // The last values with what they give, as the receiving programs derive them; a rain
        // sensor's rain of the day of its last reading.
        const Reading& last = tracker.At(s.key).last;
        rows.push_back({std::string(SensorIdOf(s.key)), names.NameOf(s.key),
                        DateTimeText(s.firstSeenLocal), DateTimeText(last.Local()),
                        std::to_string(s.count),
                        s.usualPeriod ? DurationText(s.usualPeriod->count()) : "-",
                        ValuesText(last, ',') + WeatherText(last, std::nullopt)});
    }
    std::array<std::size_t, 7> widths{};
    for (const auto& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            widths[i] = std::max(widths[i], Width(row[i]));
        }
    }
    Output out(env.out);
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i + 1 < row.size(); ++i) {
            Pad(line, row[i], widths[i]);
        }
        line += row.back();
        out.Line(line);
    }
    return 0;
}

int ExportCommand(Archive& archive, const HistoryOptions& o, const SettingsStore& settings,
                  const HistoryEnvironment& env) {
    const std::optional<SensorKey> key = SensorNamed(o.sensor, settings, env);
    if (!key) {
        return 2;
    }
    Instant from = Instant::min();
    Instant to = Instant::max();
    for (const auto& [text, end, target] :
         {std::tuple{&o.from, false, &from}, std::tuple{&o.to, true, &to}}) {
        if (text->empty()) {
            continue;
        }
        const std::optional<Instant> t = TimeArgument(*text, end, env.zone);
        if (!t) {
            Say(env.err,
                "Die Zeit " + *text + " ist keine Zeit wie 2026-12-07 oder 2026-12-07T14:03:07.");
            return 2;
        }
        *target = *t;
    }
    if (!o.from.empty() && !o.to.empty() && from >= to) {
        Say(env.err, "Der Zeitraum von --from " + o.from + " bis --to " + o.to +
                         " ist leer: der Anfang muß vor dem Ende liegen.");
        return 2;
    }
    int64_t rows = 0;
    const ArchiveStatus status = ExportReadings(
        archive, *key, from, to, ReadWeatherSettings(settings).settings, o.format,
        [&env](std::string_view piece) { std::fwrite(piece.data(), 1, piece.size(), env.out); },
        &rows);
    std::fflush(env.out);
    if (!status.Ok()) {
        Say(env.err, "Das Archiv läßt sich nicht lesen" + status.Describe());
        return 1;
    }
    if (rows == 0) {
        Say(env.err,
            "Vom Sensor " + o.sensor + " enthält das Archiv in dieser Zeit keine Messungen.");
    }
    return 0;
}

int CheckCommand(Archive& archive, const HistoryEnvironment& env) {
    CheckReport report;
    const ArchiveStatus status = CheckArchive(archive, report);
    if (!status.Ok()) {
        Say(env.err, "Das Archiv " + ShownFilePath(archive.Path()) + " läßt sich nicht prüfen" +
                         status.Describe());
        return 1;
    }
    Output out(env.out);
    for (const std::string& finding : report.findings) {
        out.Line(finding);
    }
    if (report.findings.empty()) {
        out.Line("Das Archiv " + ShownFilePath(archive.Path()) + " ist in Ordnung: " +
                 Messungen(report.readings) + " von " + std::to_string(report.sensors) +
                 (report.sensors == 1 ? " Sensor." : " Sensoren."));
        return 0;
    }
    out.Line("Das Archiv " + ShownFilePath(archive.Path()) + " hat " +
             std::to_string(report.findings.size()) + " Fehler.");
    return 1;
}

int ImportCommand(Archive& archive, const HistoryOptions& o, const HistoryEnvironment& env) {
    const bool useStdin = o.importFile.empty() || o.importFile == "-";
    std::FILE* in = useStdin ? env.in : std::fopen(o.importFile.c_str(), "rb");
    if (in == nullptr) {
        Say(env.err, "Die Datei " + ShownFilePath(o.importFile) + " läßt sich nicht lesen.");
        return 1;
    }
    std::vector<Reading> batch;
    batch.reserve(kImportBatch);
    Archive::Counts total;
    int64_t skipped = 0;
    ArchiveStatus status;
    const auto write = [&] {
        Archive::Counts counts;
        if (status.Ok() && !batch.empty()) {
            status = archive.Write(batch, &counts);
            total.added += counts.added;
            total.duplicates += counts.duplicates;
        }
        batch.clear();
    };

    std::string pending;
    int64_t lineNumber = 0;
    char chunk[64 * 1024];
    const auto takeLine = [&](std::string_view line) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.find_first_not_of(" \t") == std::string_view::npos) {
            return;
        }
        ImportedReading parsed = ParseReadingJson(line);
        if (!parsed.reading) {
            ++skipped;
            Say(env.err,
                "Zeile " + std::to_string(lineNumber) + ": " + parsed.error + "; übersprungen.");
            return;
        }
        batch.push_back(*parsed.reading);
        if (batch.size() >= kImportBatch) {
            write();
        }
    };
    std::size_t got;
    while (status.Ok() && (got = std::fread(chunk, 1, sizeof chunk, in)) > 0) {
        pending.append(chunk, got);
        std::size_t start = 0;
        for (std::size_t end; (end = pending.find('\n', start)) != std::string::npos;
             start = end + 1) {
            takeLine(std::string_view(pending).substr(start, end - start));
        }
        pending.erase(0, start);
    }
    if (!pending.empty()) {
        takeLine(pending);
    }
    const bool readFailed = std::ferror(in) != 0;
    if (!useStdin) {
        std::fclose(in);
    }
    write();
    if (!status.Ok()) {
        Say(env.err, "In das Archiv " + ShownFilePath(archive.Path()) +
                         " läßt sich nicht schreiben" + status.Describe() + " " +
                         "Übernommen: " + Messungen(total.added) + ".");
        return 1;
    }
    if (readFailed) {
        Say(env.err, "Die Eingabe ließ sich nicht zu Ende lesen.");
    }
    Output out(env.out);
    out.Line("Übernommen: " + Messungen(total.added) +
             ", schon im Archiv: " + std::to_string(total.duplicates) +
             ", übersprungene Zeilen: " + std::to_string(skipped) + ".");
    return skipped > 0 || readFailed ? 1 : 0;
}

}  // namespace tavrolin
