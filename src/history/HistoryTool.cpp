// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/HistoryTool.h"

#include <charconv>
#include <filesystem>
#include <optional>

#include "archive/Archive.h"
#include "base/CommandLine.h"
#include "base/FileSystem.h"
#include "base/Version.h"
#include "history/HistoryCommands.h"
#include "settings/ArchiveSettings.h"
#include "settings/SettingsStore.h"

namespace tavrolin {

namespace {

// Readers wait this long for a writer's transaction; an import waits longer, since it
// shares the file with a logger that writes every few seconds.
constexpr int kReadBusyMs = 2000;
constexpr int kImportBusyMs = 10000;

std::optional<int> ParseCount(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 1 ||
        value > ArchiveSettings::kMostBackupsKept) {
        return std::nullopt;
    }
    return value;
}

std::optional<HistoryOptions> Parse(std::span<const std::string_view> args, std::FILE* err) {
    HistoryOptions o;
    OptionReader reader(args);
    const auto fail = [err](const std::string& text) {
        Say(err, text + " (tavrolin-history --help zeigt die Aufrufe)");
        return std::nullopt;
    };
    while (reader.Next()) {
        const std::string_view name = reader.Name();
        if (name == "--help" || name == "-h" || name == "--version") {
            (name == "--version" ? o.version : o.help) = true;
        } else if (name == "--keep") {
            const std::optional<std::string_view> value = reader.Value();
            const std::optional<int> keep = value ? ParseCount(*value) : std::nullopt;
            if (!keep) {
                return fail("--keep braucht eine Zahl von 1 bis " +
                            std::to_string(ArchiveSettings::kMostBackupsKept));
            }
            o.keep = keep;
        } else if (name == "--archive" || name == "--profile" || name == "--sensor" ||
                   name == "--from" || name == "--to" || name == "--format" || name == "--month" ||
                   name == "--year") {
            const std::optional<std::string_view> value = reader.Value();
            if (!value || value->empty()) {
                return fail(std::string(name) + " braucht einen Wert");
            }
            std::string* target = name == "--archive"   ? &o.archive
                                  : name == "--profile" ? &o.profile
                                  : name == "--sensor"  ? &o.sensor
                                  : name == "--from"    ? &o.from
                                  : name == "--to"      ? &o.to
                                  : name == "--month"   ? &o.month
                                  : name == "--year"    ? &o.year
                                                        : nullptr;
            if (target != nullptr) {
                *target = std::string(*value);
            } else if (*value == "csv" || *value == "json" || *value == "text") {
                o.format = *value == "json" ? ExportFormat::Json : ExportFormat::Csv;
                o.formatText = std::string(*value);
            } else {
                return fail("--format ist text, csv oder json, nicht " + std::string(*value));
            }
        } else if (name.starts_with("-") && name != "-") {
            return fail("unbekannte Option " + std::string(reader.Argument()));
        } else if (o.command == Command::None) {
            o.command = name == "sensors"   ? Command::Sensors
                        : name == "export"  ? Command::Export
                        : name == "check"   ? Command::Check
                        : name == "import"  ? Command::Import
                        : name == "report"  ? Command::Report
                        : name == "records" ? Command::Records
                        : name == "backup"  ? Command::Backup
                        : name == "restore" ? Command::Restore
                                            : Command::None;
            if (o.command == Command::None) {
                return fail("unbekannter Befehl " + std::string(name));
            }
        } else if (o.command == Command::Import && o.importFile.empty()) {
            o.importFile = std::string(name);
        } else if ((o.command == Command::Backup || o.command == Command::Restore) &&
                   o.target.empty()) {
            o.target = std::string(name);
        } else {
            return fail("überzähliges Argument " + std::string(name));
        }
    }
    if (o.help || o.version) {
        return o;
    }
    if (o.command == Command::None) {
        return fail(
            "ein Befehl fehlt: sensors, export, check, import, report, records, backup oder "
            "restore");
    }
    if (o.command == Command::Restore && o.target.empty()) {
        return fail("restore braucht die Kopie, die an die Stelle des Archivs kommt");
    }
    if (o.keep && o.command != Command::Backup) {
        return fail("--keep gehört zu backup");
    }
    const bool exporting = o.command == Command::Export;
    const bool climate = o.command == Command::Report || o.command == Command::Records;
    if (exporting && o.sensor.empty()) {
        return fail("export braucht --sensor ID");
    }
    if (!exporting && (!o.from.empty() || !o.to.empty())) {
        return fail("--from und --to gehören zu export");
    }
    if (!exporting && !climate && (!o.sensor.empty() || !o.formatText.empty())) {
        return fail("--sensor und --format gehören zu export, report und records");
    }
    if (exporting && o.formatText == "text") {
        return fail("export schreibt csv oder json");
    }
    if (o.command == Command::Report ? o.month.empty() == o.year.empty()
                                     : !o.month.empty() || !o.year.empty()) {
        return fail("report braucht entweder --month JJJJ-MM oder --year JJJJ");
    }
    return o;
}

// The path as a shell reads it back: in single quotes where it has more than letters,
// digits and the plainest signs.
std::string ForShell(const std::string& path) {
    if (path.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"
                               "/._-+,:@%=") == std::string::npos) {
        return path;
    }
    std::string quoted = "'";
    for (const char c : path) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

ArchiveStatus OpenArchive(Archive& archive, const std::string& path, Archive::Access access,
                          int busyMs, std::FILE* err) {
    const ArchiveStatus status = archive.Open(path, access, busyMs);
    if (!status.Ok()) {
        std::string text =
            "Das Archiv " + ShownFilePath(path) + " läßt sich nicht öffnen" + status.Describe();
        if (status.problem == ArchiveProblem::OlderFormat) {
            // An import opens it for writing, and with no readings it does nothing else.
            text += " Gleich erneuert es: tavrolin-history --archive " +
                    ForShell(ShownFilePath(path)) +
                    " import /dev/null (ein Archiv auf einem schreibgeschützten Datenträger "
                    "zuvor an einen beschreibbaren Ort kopieren).";
        }
        Say(err, text);
    }
    return status;
}

}  // namespace

int RunHistory(std::span<const std::string_view> args, const HistoryEnvironment& env) {
    const std::optional<HistoryOptions> parsed = Parse(args, env.err);
    if (!parsed) {
        return 2;
    }
    const HistoryOptions& o = *parsed;
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
    if (env.tellPlaces) {
        Say(env.err,
            "Archiv " + ShownFilePath(path) + (o.archive.empty() ? "" : " (--archive)") +
                "; Profil " + ShownFilePath(profilePath) +
                (profileError == FileError::NotFound ? " gibt es nicht, es gelten die Vorgaben."
                                                     : "."));
    }

    if (o.command == Command::Restore) {
        return RestoreCommand(path, o, env);
    }
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
            return ListSensorsCommand(archive, settings, env);
        case Command::Export:
            return ExportCommand(archive, o, settings, env);
        case Command::Check:
            return CheckCommand(archive, env);
        case Command::Import:
            return ImportCommand(archive, o, env);
        case Command::Report:
            return ReportCommand(archive, o, settings, env);
        case Command::Records:
            return RecordsCommand(archive, o, settings, env);
        case Command::Backup:
            return BackupCommand(archive, o, settings, env);
        case Command::Restore:
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
                seine letzten Werte mit dem, was sie ergeben (Taupunkt, Luftdruck auf
                Meereshöhe, Himmelsrichtung; beim Regensensor den Regen am Tag seiner
                letzten Messung, in mm mit [Regen] im Profil)
  export --sensor SENSOR [--from T] [--to T] [--format csv|json]
                die Messungen eines Sensors, die älteste zuerst, auf stdout schreiben.
                SENSOR ist seine Kennung (outdoor-1) oder sein Name, wie ihn sensors und die
                Fenster zeigen: aus [Sensornamen] (Garten), sonst wie in der Liste
                (Außen 1).
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
  report --month JJJJ-MM | --year JJJJ [--sensor SENSOR] [--format text|csv|json]
                der Monatsbericht (eine Zeile je Tag) oder der Jahresbericht (eine je
                Monat) eines Sensors, ohne --sensor der Hauptsensoren aus [Station]
                (Außen, Wind, Regen, Luftdruck): Mittel, Minimum und Maximum mit ihrer
                Zeit, Regen, Wind, die Kenntage (Frost-, Eis-, Sommertage, heiße Tage,
                Tropennächte, Niederschlagstage) und die Gradtagzahl G20/15. Tage der
                Ortszeit; * markiert einen unvollständigen Tag. text (die Vorgabe): eine
                Tabelle; csv nur mit --sensor; json ein Objekt je Sensor und Zeile
  records [--sensor SENSOR] [--format text|csv|json]
                die Rekorde eines Sensors (ohne --sensor der Hauptsensoren): für das
                ganze Archiv, jedes Jahr, jeden Monat und jeden Kalendermonat
  backup [ZIEL] [--keep N]
                eine geprüfte Kopie des Archivs anlegen, auch während ein Logger
                schreibt: sie enthält jede Messung, die vor ihrem Beginn geschrieben war.
                ZIEL ist ein Ordner (dann heißt die Kopie nach dem Tag, etwa
                archiv-2026-12-09.sqlite) oder eine Datei; ohne ZIEL der Ordner aus
                [Archiv] Sicherung= des Profils. Die Kopie entsteht unter einem
                vorläufigen Namen und bekommt ihren eigenen erst, wenn sie vollständig ist
                und die Prüfung von check bestanden hat; sonst bleibt nichts zurück.
                --keep N behält von den Tageskopien im Ordner die N neuesten und entfernt
                die älteren (nur Kopien, die backup selbst angelegt hat); ohne ZIEL gilt
                [Archiv] Sicherungen= (Vorgabe 7)
  restore KOPIE  das Archiv durch eine Kopie ersetzen: die Kopie wird geprüft, das
                bisherige Archiv bleibt als archiv-ersetzt-DATUM-UHRZEIT.sqlite daneben
                liegen. Solange tavrolin oder tavrolin-log das Archiv benutzen, wird
                nichts ersetzt; erst das Programm beenden (als Dienst: systemctl stop
                tavrolin-log)

Zeiten T (--from schließt T ein, --to schließt es aus, --from muß vor --to liegen), in
Ortszeit, wenn kein Versatz angegeben ist:
  2026-12-07               ein Tag; als --to ist der ganze Tag eingeschlossen
  2026-12-07T14:03         auch 2026-12-07T14:03:07 und 2026-12-07T14:03:07.456; ein
                           Leerzeichen darf für das T stehen ("2026-12-07 14:03")
  2026-12-07T14:03:07Z     mit Z oder einem Versatz wie +01:00: dieser Zeitpunkt
Die Stunde, die die Umstellung auf Winterzeit doppelt bringt (2026-10-25 02:00 bis
03:00), meint in Ortszeit ihr erstes Mal, noch in Sommerzeit; das zweite mit Versatz:
2026-10-25T02:30+01:00. Eine Zeit, die die Umstellung auf Sommerzeit überspringt
(2026-03-29 02:30), gilt als 03:30 Sommerzeit.

Optionen:
  --archive DATEI  das zu benutzende Archiv. Ohne sie: Datei im Abschnitt [Archiv] des
                   Profils, sonst $XDG_DATA_HOME/tavrolin/archiv.sqlite
                   (~/.local/share/tavrolin/archiv.sqlite)
  --profile DATEI  das Profil, aus dem [Archiv], [Sensornamen], [Regen] und [Station]
                   gelesen werden (Vorgabe: das des Fensterprogramms,
                   $XDG_CONFIG_HOME/tavrolin.INI)
  --help           diesen Text zeigen
  --version        Programmname und Version zeigen

Beispiele:
  tavrolin-history sensors
  tavrolin-history export --sensor outdoor-1 --from 2026-01-01 --to 2026-12-31 > garten.csv
  tavrolin-history export --sensor wind-0 --from "2026-12-07 12:00" --format json
  tavrolin-history export --sensor Garten --from 2026-12-01
  tavrolin-history --archive /var/lib/tavrolin/archiv.sqlite check
  tavrolin-history import messungen.jsonl
  tavrolin-history report --month 2026-11
  tavrolin-history records --sensor Garten --format json
  tavrolin-history backup /media/usb/tavrolin --keep 7
  tavrolin-history restore /media/usb/tavrolin/archiv-2026-12-09.sqlite

Exit-Status: 0 erledigt; 1 das Archiv läßt sich nicht lesen oder schreiben, check hat
Probleme gefunden, import hat Zeilen übersprungen, oder eine Sicherung oder
Wiederherstellung ist nicht gelungen; 2 eine falsche Befehlszeile (auch
ein unbekannter Sensor oder ein leerer Zeitraum).

Mehr in der Handbuchseite: man tavrolin-history
)usage";
}

}  // namespace tavrolin
