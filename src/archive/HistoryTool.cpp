// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/HistoryTool.h"

#include <algorithm>
#include <filesystem>
#include <limits>
#include <optional>
#include <vector>

#include "app/SensorNames.h"
#include "app/SettingsStore.h"
#include "archive/Archive.h"
#include "archive/ArchiveQuery.h"
#include "archive/ArchiveSettings.h"
#include "archive/ReadingImport.h"
#include "archive/TimeText.h"
#include "base/CommandLine.h"
#include "base/Version.h"
#include "decode/ProtocolFile.h"
#include "decode/ReadingJson.h"
#include "decode/ReadingText.h"

namespace tavrolin {

namespace {

// Readers wait this long for a writer's transaction; an import waits longer, since it
// shares the file with a logger that writes every few seconds.
constexpr int kReadBusyMs = 2000;
constexpr int kImportBusyMs = 10000;
constexpr std::size_t kImportBatch = 5000;

enum class Command { None, Sensors, Export, Check, Import };
enum class Format { Csv, Json };

struct Options {
    Command command = Command::None;
    std::string archive;
    std::string profile;
    std::string sensor;
    std::string from, to;
    Format format = Format::Csv;
    std::string importFile;  // empty or "-": stdin
    bool help = false;
    bool version = false;
};

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

void Say(std::FILE* err, const std::string& text) {
    std::fprintf(err, "tavrolin-history: %s\n", text.c_str());
}

std::optional<Options> Parse(std::span<const std::string_view> args, std::FILE* err) {
    Options o;
    OptionReader reader(args);
    const auto fail = [err](const std::string& text) {
        Say(err, text + " (tavrolin-history --help zeigt die Aufrufe)");
        return std::nullopt;
    };
    while (reader.Next()) {
        const std::string_view name = reader.Name();
        if (name == "--help" || name == "-h" || name == "--version") {
            (name == "--version" ? o.version : o.help) = true;
        } else if (name == "--archive" || name == "--profile" || name == "--sensor" ||
                   name == "--from" || name == "--to" || name == "--format") {
            const std::optional<std::string_view> value = reader.Value();
            if (!value || value->empty()) {
                return fail(std::string(name) + " braucht einen Wert");
            }
            std::string* target = name == "--archive"   ? &o.archive
                                  : name == "--profile" ? &o.profile
                                  : name == "--sensor"  ? &o.sensor
                                  : name == "--from"    ? &o.from
                                  : name == "--to"      ? &o.to
                                                        : nullptr;
            if (target != nullptr) {
                *target = std::string(*value);
            } else if (*value == "csv" || *value == "json") {
                o.format = *value == "csv" ? Format::Csv : Format::Json;
            } else {
                return fail("--format ist csv oder json, nicht " + std::string(*value));
            }
        } else if (name.starts_with("-") && name != "-") {
            return fail("unbekannte Option " + std::string(reader.Argument()));
        } else if (o.command == Command::None) {
            o.command = name == "sensors"  ? Command::Sensors
                        : name == "export" ? Command::Export
                        : name == "check"  ? Command::Check
                        : name == "import" ? Command::Import
                                           : Command::None;
            if (o.command == Command::None) {
                return fail("unbekannter Befehl " + std::string(name));
            }
        } else if (o.command == Command::Import && o.importFile.empty()) {
            o.importFile = std::string(name);
        } else {
            return fail("überzähliges Argument " + std::string(name));
        }
    }
    if (o.help || o.version) {
        return o;
    }
    if (o.command == Command::None) {
        return fail("ein Befehl fehlt: sensors, export, check oder import");
    }
    const bool exporting = o.command == Command::Export;
    if (exporting && o.sensor.empty()) {
        return fail("export braucht --sensor ID");
    }
    if (!exporting && (!o.sensor.empty() || !o.from.empty() || !o.to.empty())) {
        return fail("--sensor, --from und --to gehören zu export");
    }
    return o;
}

// --from and --to: an instant, UTC milliseconds. A date alone in --to includes that day.
std::optional<int64_t> TimeArgument(const std::string& text, bool end) {
    const std::optional<IsoTime> iso = ParseIsoTime(text);
    if (!iso) {
        return std::nullopt;
    }
    if (iso->offsetSeconds) {
        return ToUnixMs(iso->time);
    }
    LocalTime t = iso->time;
    if (!iso->hasClock && end) {
        // The next day's midnight: through the day count, so that month ends roll over.
        t = FromUnixMs(ToUnixMs(t) + kMsPerDay, 0);
    }
    return LocalToUnixMs(t);
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

ArchiveStatus OpenArchive(Archive& archive, const std::string& path, Archive::Access access,
                          int busyMs, std::FILE* err) {
    const ArchiveStatus status = archive.Open(path, access, busyMs);
    if (!status.Ok()) {
        Say(err,
            "Das Archiv " + ShownFilePath(path) + " läßt sich nicht öffnen" + status.Describe());
    }
    return status;
}

int Sensors(Archive& archive, const SettingsStore* settings, const HistoryEnvironment& env) {
    std::vector<SensorSummary> sensors;
    if (const ArchiveStatus status = ListSensors(archive, sensors); !status.Ok()) {
        Say(env.err, "Das Archiv läßt sich nicht lesen" + status.Describe());
        return 1;
    }
    if (sensors.empty()) {
        Say(env.err, "Das Archiv " + ShownFilePath(archive.Path()) + " enthält keine Messungen.");
        return 0;
    }
    const SensorNames names = settings != nullptr ? SensorNames::Read(*settings) : SensorNames();
    std::vector<std::array<std::string, 7>> rows;
    rows.push_back(
        {"Sensor", "Name", "Erste Messung", "Letzte Messung", "Anzahl", "Periode", "Letzte Werte"});
    for (const SensorSummary& s : sensors) {
        rows.push_back(
            {std::string(SensorIdOf(s.key)), names.FriendlyName(s.key), DateTimeText(s.firstSeen),
             DateTimeText(s.last.time), std::to_string(s.count),
             s.usualPeriodMs ? DurationText(*s.usualPeriodMs) : "-", ValuesText(s.last, ',')});
        if (rows.back()[1].empty()) {
            rows.back()[1] = "-";
        }
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

// The CSV header of a sensor's kind; RFC 4180, so lines end in CR LF.
std::string CsvHeader(const SensorKey& key) {
    if (key.kind == SensorKind::Special) {
        return key.remoteControl ? "time,sensor,text\r\n" : "time,sensor,interval,event\r\n";
    }
    std::string header = "time,sensor,v12,interval";
    for (const Quantity q : QuantitiesOf(key.kind)) {
        header += ',';
        header += InfoOf(q).key;
    }
    return header + "\r\n";
}

void AppendCsv(const Reading& r, std::string& out) {
    AppendRfc3339(r.time, out);
    out += ',';
    out += r.SensorId();
    if (r.kind != SensorKind::Special) {
        out += r.version12 ? ",true," : ",false,";
        AppendFixed(r.intervalTicks / 10000, 3, out);
        for (std::size_t i = 0; i < r.valueCount; ++i) {
            out += ',';
            AppendFixed(r.values[i].raw, InfoOf(r.values[i].quantity).decimals, out);
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
        AppendFixed(r.intervalTicks / 10000, 3, out);
        out += r.event == FensterEvent::Low ? ",low" : ",high";
    }
    out += "\r\n";
}

// --sensor: an id, or the friendly name [Sensornamen] gives one sensor.
std::optional<SensorKey> SensorNamed(const std::string& text, const SettingsStore& settings,
                                     const HistoryEnvironment& env) {
    if (const std::optional<SensorKey> key = ParseSensorId(text)) {
        return key;
    }
    const SensorNames names = SensorNames::Read(settings);
    std::vector<SensorKey> named;
    for (int i = 0; i < kSensorCount; ++i) {
        if (names.FriendlyName(SensorAt(i)) == text) {
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

int Export(Archive& archive, const Options& o, const SettingsStore& settings,
           const HistoryEnvironment& env) {
    const std::optional<SensorKey> key = SensorNamed(o.sensor, settings, env);
    if (!key) {
        return 2;
    }
    int64_t from = std::numeric_limits<int64_t>::min();
    int64_t to = std::numeric_limits<int64_t>::max();
    for (const auto& [text, end, target] :
         {std::tuple{&o.from, false, &from}, std::tuple{&o.to, true, &to}}) {
        if (text->empty()) {
            continue;
        }
        const std::optional<int64_t> t = TimeArgument(*text, end);
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
    Output out(env.out);
    if (o.format == Format::Csv) {
        out.Buffer() += CsvHeader(*key);
    }
    int64_t rows = 0;
    const ArchiveStatus status =
        ForEachReading(archive, *key, from, to, [&](const Reading& reading) {
            if (o.format == Format::Csv) {
                AppendCsv(reading, out.Buffer());
            } else {
                AppendReadingJson(reading, out.Buffer());
                out.Buffer() += '\n';
            }
            out.MaybeFlush();
            ++rows;
        });
    out.Flush();
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

int Check(Archive& archive, const HistoryEnvironment& env) {
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

int Import(Archive& archive, const Options& o, const HistoryEnvironment& env) {
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

}  // namespace

int RunHistory(std::span<const std::string_view> args, const HistoryEnvironment& env) {
    const std::optional<Options> parsed = Parse(args, env.err);
    if (!parsed) {
        return 2;
    }
    const Options& o = *parsed;
    if (o.help) {
        std::fputs(HistoryUsage().c_str(), env.out);
        return 0;
    }
    if (o.version) {
        std::fputs(VersionText("tavrolin-history").c_str(), env.out);
        return 0;
    }
    const std::string profilePath = o.profile.empty() ? env.defaultProfile : o.profile;
    const SettingsStore settings(env.files, profilePath);
    // The archive's place may be in it: a profile that cannot be read is no place to guess.
    const FileError profileError = settings.ReadError();
    if (profileError == FileError::NotFound && !o.profile.empty()) {
        Say(env.err, "Das Profil " + ShownFilePath(profilePath) + " gibt es nicht.");
        return 2;
    }
    if (ProfileUnreadable(profileError)) {
        Say(env.err, UnreadableProfileText(profilePath, profileError));
        return 2;
    }
    const std::string path =
        o.archive.empty() ? ArchiveSettings::Read(settings).PathOr(env.defaultArchive) : o.archive;

    Archive archive;
    const bool importing = o.command == Command::Import;
    if (importing && path == env.defaultArchive) {
        // The default place is made as the receiving programs make it; a failure shows when
        // the archive is opened.
        std::error_code ignored;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    }
    if (!OpenArchive(archive, path, importing ? Archive::Access::Write : Archive::Access::Read,
                     importing ? kImportBusyMs : kReadBusyMs, env.err)
             .Ok()) {
        return 1;
    }
    switch (o.command) {
        case Command::Sensors:
            return Sensors(archive, &settings, env);
        case Command::Export:
            return Export(archive, o, settings, env);
        case Command::Check:
            return Check(archive, env);
        case Command::Import:
            return Import(archive, o, env);
        case Command::None:
            break;
    }
    return 2;
}

std::string HistoryUsage() {
    return R"usage(Aufruf: tavrolin-history [--archive DATEI] [--profile DATEI] BEFEHL [OPTIONEN]

Liest und pflegt das Archiv, in dem tavrolin und tavrolin-log jede empfangene Messung
aufbewahren (eine SQLite-Datei). Mehrere Programme dürfen das Archiv zugleich benutzen:
tavrolin-history liest, während ein Logger schreibt.

Befehle:
  sensors       jeden Sensor im Archiv aufführen: seine Kennung, seinen Namen (Abschnitt
                [Sensornamen] des Profils, etwa outdoor-1=Garten), seine erste und letzte
                Messung, wie viele Messungen es gibt, wie oft er gewöhnlich sendet, und
                seine letzten Werte
  export --sensor SENSOR [--from T] [--to T] [--format csv|json]
                die Messungen eines Sensors, die älteste zuerst, auf stdout schreiben.
                SENSOR ist seine Kennung (outdoor-1) oder sein Name aus [Sensornamen]
                (Garten).
                csv (die Vorgabe): RFC 4180 mit einer Kopfzeile, die die Spalten der
                Sensorart nennt, Zeiten wie 2026-12-07T14:03:07.456+01:00. json: ein
                JSON-Objekt je Zeile, in der Form von tavrolin-log --json
  check         die Unversehrtheit der Datei prüfen und ob die Zusammenfassungen zu den
                Messungen passen; Exit-Status 0, wenn alles in Ordnung ist, sonst 1
  import [DATEI]  Messungen aus JSON Lines in der Form von tavrolin-log --json
                hinzufügen (aus DATEI, oder von stdin ohne DATEI oder mit -), etwa von
                einem früheren tavrolin-log --json > messungen.jsonl. Fehlerhafte Zeilen
                und Werte, die kein Telegramm tragen kann (etwa 250 % Feuchte), werden
                mit ihrer Zeilennummer gemeldet und übersprungen; Messungen, die schon im
                Archiv sind, kommen nicht doppelt hinein

Zeiten T (--from schließt T ein, --to schließt es aus, --from muß vor --to liegen), in
Ortszeit, wenn kein Versatz angegeben ist:
  2026-12-07               ein Tag; als --to ist der ganze Tag eingeschlossen
  2026-12-07T14:03         auch 2026-12-07T14:03:07 und 2026-12-07T14:03:07.456; ein
                           Leerzeichen darf für das T stehen ("2026-12-07 14:03")
  2026-12-07T14:03:07Z     mit Z oder einem Versatz wie +01:00: dieser Zeitpunkt

Optionen:
  --archive DATEI  das zu benutzende Archiv. Ohne sie: Datei im Abschnitt [Archiv] des
                   Profils, sonst $XDG_DATA_HOME/tavrolin/archiv.sqlite
                   (~/.local/share/tavrolin/archiv.sqlite)
  --profile DATEI  das Profil, aus dem [Archiv] und [Sensornamen] gelesen werden (Vorgabe:
                   das des Fensterprogramms, $XDG_CONFIG_HOME/tavrolin.INI)
  --help           diesen Text zeigen
  --version        Programmname und Version zeigen

Beispiele:
  tavrolin-history sensors
  tavrolin-history export --sensor outdoor-1 --from 2026-01-01 --to 2026-12-31 > garten.csv
  tavrolin-history export --sensor wind-0 --from "2026-12-07 12:00" --format json
  tavrolin-history export --sensor Garten --from 2026-12-01
  tavrolin-history --archive /var/lib/tavrolin/archiv.sqlite check
  tavrolin-history import messungen.jsonl

Exit-Status: 0 erledigt; 1 das Archiv läßt sich nicht lesen oder schreiben, check hat
Probleme gefunden, oder import hat Zeilen übersprungen; 2 eine falsche Befehlszeile (auch
ein unbekannter Sensor oder ein leerer Zeitraum).

Mehr in der Handbuchseite: man tavrolin-history
)usage";
}

}  // namespace tavrolin
