// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/HistoryCommands.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <optional>
#include <vector>

#include "archive/Archive.h"
#include "archive/ArchiveBackup.h"
#include "archive/ArchiveQuery.h"
#include "archive/ReadingImport.h"
#include "archive/TimeText.h"
#include "base/CommandLine.h"
#include "base/FileSystem.h"
#include "base/Version.h"
#include "decode/ReadingJson.h"
#include "decode/ReadingText.h"
#include "history/ArchiveSeed.h"
#include "history/Climate.h"
#include "history/Export.h"
#include "history/SensorOverview.h"
#include "settings/ArchiveSettings.h"
#include "settings/SensorNames.h"
#include "settings/SettingsStore.h"
#include "settings/StationSensors.h"
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
    const std::vector<SensorKey> named = SensorsNamed(text, SensorNames::Read(settings));
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

// The sensors of a report or of the records: --sensor's, else the station's main sensors
// ([Station]; what is wrong there is said, and the default serves). `sensors` gets the
// archive's list, for each one's usual period. Exit status 0 when there are some.
int ClimateSensors(Archive& archive, const HistoryOptions& o, const SettingsStore& settings,
                   const HistoryEnvironment& env, std::vector<SensorSummary>& sensors,
                   std::vector<SensorKey>& chosen) {
    if (const ArchiveStatus status = ListSensors(archive, sensors); !status.Ok()) {
        Say(env.err, status.Unreadable());
        return 1;
    }
    if (!o.sensor.empty()) {
        const std::optional<SensorKey> key = SensorNamed(o.sensor, settings, env);
        if (!key) {
            return 2;
        }
        chosen = {*key};
        return 0;
    }
    const StationSensorsResult station = ReadStationSensors(settings);
    for (const std::string& error : station.errors) {
        Say(env.err, error);
    }
    std::vector<SensorKey> known;
    for (const SensorSummary& s : sensors) {
        known.push_back(s.key);
    }
    chosen = station.sensors.All(known);
    if (chosen.empty()) {
        Say(env.err, "Das Archiv " + ShownFilePath(archive.Path()) +
                         " kennt keinen Außen-, Wind-, Regen- oder Innensensor; --sensor nennt "
                         "einen anderen.");
        return 1;
    }
    if (chosen.size() > 1 && o.formatText == "csv") {
        Say(env.err, "--format csv schreibt eine Tabelle je Sensor und braucht dann --sensor.");
        return 2;
    }
    return 0;
}

ClimateFormat ClimateFormatOf(const HistoryOptions& o) {
    return o.formatText == "json"  ? ClimateFormat::Json
           : o.formatText == "csv" ? ClimateFormat::Csv
                                   : ClimateFormat::Text;
}

// "archiv-ersetzt-2026-12-09-041203.sqlite" beside the archive: where a restore keeps the
// archive it replaces, so that a wrong copy put in place is not the end of the years.
std::string KeptName(const std::string& path, const LocalTime& t) {
    const std::filesystem::path archive(path);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "-ersetzt-%04d-%02d-%02d-%02d%02d%02d", t.year, t.month,
                  t.day, t.hour, t.minute, t.second);
    return (archive.parent_path() /
            (archive.stem().string() + stamp + archive.extension().string()))
        .string();
}

// What a copy holds, for the line that says it was made.
std::string Holding(const CheckReport& check) {
    return Messungen(check.readings) + " von " + std::to_string(check.sensors) +
           (check.sensors == 1 ? " Sensor" : " Sensoren");
}

// Why a copy was not made or not put in place; "Es blieb keine Kopie zurück." follows.
void SayNotKept(const CopyOutcome& outcome, const std::string& first, std::FILE* err) {
    if (outcome.stopped) {
        Say(err, first + ": abgebrochen.");
    } else if (!outcome.status.Ok()) {
        Say(err, first + outcome.status.Describe());
    } else {
        Say(err, first + ": Die Kopie hat die Prüfung nicht bestanden.");
        for (const std::string& finding : outcome.check.findings) {
            Say(err, "  " + finding);
        }
    }
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
        Say(env.err, status.Unreadable());
        return 1;
    }
    if (const std::string folder = ArchiveSettings::Read(settings).backupFolder; !folder.empty()) {
        // Above the table: a copy that is days old is what an owner should see first.
        const std::optional<LastCopy> last = NewestCopy(folder, archive.Path());
        Output(env.out).Line(
            last ? "Letzte Sicherung: " + DateTimeText(LocalTimeIn(env.zone, last->taken)) + " (" +
                       ShownFilePath(last->path) + ")"
                 : "Letzte Sicherung: keine in " + ShownFilePath(folder));
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
        Say(env.err, status.Unreadable());
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

int ReportCommand(Archive& archive, const HistoryOptions& o, const SettingsStore& settings,
                  const HistoryEnvironment& env) {
    ClimateRequest request;
    int year = 0, month = 0;
    char tail = 0;
    const bool byMonth = !o.month.empty();
    const std::string& text = byMonth ? o.month : o.year;
    const int fields = byMonth ? std::sscanf(text.c_str(), "%4d-%2d%c", &year, &month, &tail)
                               : std::sscanf(text.c_str(), "%4d%c", &year, &tail);
    if (fields != (byMonth ? 2 : 1) || text.size() != (byMonth ? 7u : 4u) || year < 1970 ||
        (byMonth && (month < 1 || month > 12))) {
        Say(env.err, byMonth ? "--month braucht einen Monat wie 2026-11, nicht " + text + "."
                             : "--year braucht ein Jahr wie 2026, nicht " + text + ".");
        return 2;
    }
    std::vector<SensorSummary> sensors;
    std::vector<SensorKey> chosen;
    if (const int rc = ClimateSensors(archive, o, settings, env, sensors, chosen); rc != 0) {
        return rc;
    }
    request.year = year;
    request.month = month;
    request.zone = &env.zone;
    request.weather = ReadWeatherSettings(settings).settings;
    request.now = std::chrono::time_point_cast<Milliseconds>(std::chrono::system_clock::now());
    const SensorNames names = SensorNames::Read(settings);
    Output out(env.out);
    for (std::size_t i = 0; i < chosen.size(); ++i) {
        request.sensor = chosen[i];
        request.usualPeriod.reset();
        for (const SensorSummary& s : sensors) {
            if (s.key == chosen[i]) {
                request.usualPeriod = s.usualPeriod;
            }
        }
        ClimateReport report;
        if (const ArchiveStatus status = ComputeClimateReport(archive, request, report);
            !status.Ok()) {
            Say(env.err, status.Unreadable());
            return 1;
        }
        const ClimateFormat format = ClimateFormatOf(o);
        out.Buffer() += (i > 0 && format == ClimateFormat::Text ? "\n" : "") +
                        ReportText(report, names.NameOf(chosen[i]), format);
        out.MaybeFlush();
    }
    return 0;
}

int RecordsCommand(Archive& archive, const HistoryOptions& o, const SettingsStore& settings,
                   const HistoryEnvironment& env) {
    std::vector<SensorSummary> sensors;
    std::vector<SensorKey> chosen;
    if (const int rc = ClimateSensors(archive, o, settings, env, sensors, chosen); rc != 0) {
        return rc;
    }
    const WeatherSettings weather = ReadWeatherSettings(settings).settings;
    const SensorNames names = SensorNames::Read(settings);
    Output out(env.out);
    for (std::size_t i = 0; i < chosen.size(); ++i) {
        std::vector<ClimateRecord> records;
        if (const ArchiveStatus status =
                ComputeClimateRecords(archive, chosen[i], env.zone, weather, records);
            !status.Ok()) {
            Say(env.err, status.Unreadable());
            return 1;
        }
        const ClimateFormat format = ClimateFormatOf(o);
        out.Buffer() += (i > 0 && format == ClimateFormat::Text ? "\n" : "") +
                        RecordsText(chosen[i], names.NameOf(chosen[i]), records, format);
        out.MaybeFlush();
    }
    return 0;
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

namespace tavrolin {

int BackupCommand(Archive& archive, const HistoryOptions& o, const SettingsStore& settings,
                  const HistoryEnvironment& env) {
    namespace fs = std::filesystem;
    const ArchiveSettings profile = ArchiveSettings::Read(settings);
    const bool scheduled = o.target.empty();
    const std::string target = scheduled ? profile.backupFolder : o.target;
    if (target.empty()) {
        Say(env.err,
            "Wohin? tavrolin-history backup ORDNER, oder im Profil [Archiv] Sicherung=ORDNER.");
        return 2;
    }
    std::error_code error;
    // A folder that is not there is not made: it is most often a stick that is not plugged
    // in or a share that is not mounted, and a folder made in its place would put the copy on
    // the archive's own card.
    const bool folder = scheduled || fs::is_directory(target, error) || target.ends_with('/');
    if (folder && !fs::is_directory(target, error)) {
        Say(env.err, "Den Ordner " + ShownFilePath(target) +
                         " für die Sicherung gibt es nicht (ist der Datenträger eingehängt?). "
                         "Es wurde nichts gesichert.");
        return 1;
    }
    if (o.keep && !folder) {
        Say(env.err, "--keep gilt für einen Ordner von Tageskopien, nicht für die Datei " +
                         ShownFilePath(target) + ".");
        return 2;
    }
    if (scheduled && !profile.backupError.empty()) {
        Say(env.err, profile.backupError + " Es gilt " +
                         std::to_string(ArchiveSettings::kDefaultBackupsKept) + ".");
    }
    const Instant taken = env.now();
    const std::string path =
        folder ? (fs::path(target) / DatedCopyName(archive.Path(), LocalTimeIn(env.zone, taken)))
                     .string()
               : target;
    if (fs::equivalent(path, archive.Path(), error)) {
        Say(env.err, "Die Kopie kann nicht das Archiv selbst sein.");
        return 2;
    }
    const CopyOutcome outcome = CopyArchive(archive, path, taken, env.goOn);
    if (!outcome.Kept()) {
        SayNotKept(outcome, "Die Sicherung nach " + ShownFilePath(path) + " ist nicht gelungen",
                   env.err);
        Say(env.err, "Es blieb keine Kopie zurück.");
        return 1;
    }
    Output out(env.out);
    out.Line("Gesichert: " + ShownFilePath(path) + ", " + Holding(outcome.check) + ", Stand " +
             DateTimeText(LocalTimeIn(env.zone, taken)) + ".");
    const std::optional<int> keep = o.keep      ? o.keep
                                    : scheduled ? std::optional<int>(profile.backupsKept)
                                                : std::nullopt;
    if (folder && keep) {
        for (const std::string& removed :
             RemoveOldCopies(target, archive.Path(), static_cast<std::size_t>(*keep))) {
            out.Line("Entfernt: " + ShownFilePath(removed));
        }
    }
    return 0;
}

int RestoreCommand(const std::string& path, const HistoryOptions& o,
                   const HistoryEnvironment& env) {
    namespace fs = std::filesystem;
    const std::vector<ArchiveUser> users =
        env.archiveUsers ? env.archiveUsers(path) : std::vector<ArchiveUser>{};
    std::string writers;
    for (const ArchiveUser& user : users) {
        if (user.Writes()) {
            writers += (writers.empty() ? "" : ", ") + user.program + " (PID " +
                       std::to_string(user.pid) + ")";
        }
    }
    if (!writers.empty()) {
        Say(env.err, "Das Archiv " + ShownFilePath(path) + " wird gerade von " + writers +
                         " benutzt; nichts wurde ersetzt. Erst das Programm beenden (der Dienst: "
                         "sudo systemctl stop tavrolin-log), dann wiederherstellen.");
        return 1;
    }
    std::error_code error;
    if (path == env.defaultArchive) {
        fs::create_directories(fs::path(path).parent_path(), error);
    }
    const bool replacing = fs::exists(path, error);
    const std::string kept = KeptName(path, LocalTimeIn(env.zone, env.now()));
    const CopyOutcome outcome = RestoreArchive(o.target, path, kept);
    if (!outcome.Kept()) {
        SayNotKept(outcome,
                   "Die Kopie " + ShownFilePath(o.target) + " wurde nicht wiederhergestellt",
                   env.err);
        Say(env.err, "Das Archiv " + ShownFilePath(path) + " blieb, wie es war.");
        return 1;
    }
    if (env.takeOwnerOf) {
        // Where no archive was (a new card), the folder tells whose it is: a service's state
        // folder is its account's.
        const fs::path folder = fs::path(path).parent_path();
        env.takeOwnerOf(replacing ? kept : (folder.empty() ? "." : folder.string()), path);
    }
    Output out(env.out);
    out.Line("Wiederhergestellt: " + ShownFilePath(path) + " aus " + ShownFilePath(o.target) +
             ", " + Holding(outcome.check) + ".");
    if (replacing) {
        out.Line("Das bisherige Archiv liegt als " + ShownFilePath(kept) + " daneben.");
    }
    for (const ArchiveUser& user : users) {
        out.Line(user.program + " (PID " + std::to_string(user.pid) +
                 ") liest noch das bisherige Archiv, bis es neu gestartet wird.");
    }
    return 0;
}

}  // namespace tavrolin
