// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/LoggerOptions.h"

#include <charconv>

#include "base/CommandLine.h"

namespace tavrolin {

std::string LoggerUsage() {
    return R"usage(Aufruf: tavrolin-log [OPTIONEN]

Protokolliert den Wettersensor-Empfänger ohne Fenster: verbindet sich mit dem Empfänger wie
das Fensterprogramm tavrolin, sendet den Startbefehl und fragt die Schnittstelle alle 50 ms
ab. Jeder Datensatz wird an die Protokolldatei angehängt (Windows-1252, Zeilenende CR LF,
genau wie das Fensterprogramm sie schreibt) und auf stdout in UTF-8 ausgegeben, eine Zeile
je Datensatz, mit --json ein JSON-Objekt je Zeile. Die Ausgabe auf stdout hält das
Protokollieren nie auf: liest niemand mit oder ist der Leser fort, gehen die Datensätze
trotzdem in die Protokolldatei. Läßt sich die Protokolldatei nicht schreiben (eine volle
Platte), wird das einmal auf stderr gemeldet, die Datensätze gehen nur noch auf stdout, und
einmal in der Minute wird die Datei wieder geöffnet und weitergeschrieben.
Ist ein MQTT-Broker eingestellt (Abschnitt [MQTT] oder --mqtt), wird jede Messung auch dort
veröffentlicht, mit Home-Assistant-Discovery; auch ein Broker, der fort ist, hält das
Protokollieren nie auf.

Die Einstellungen kommen aus dem Profil des Fensterprogramms, $XDG_CONFIG_HOME/tavrolin.INI
(ohne XDG_CONFIG_HOME ~/.config/tavrolin.INI), oder aus --profile DATEI. Geschrieben wird
es nie. Schlüssel des Abschnitts [SYSTEM]:
  COM           Schnittstelle 0..3 für COM1..COM4 (Vorgabe 0)
  Mit MUX       nicht 0: der Empfänger hängt am RS-232-Multiplexer (Vorgabe 0)
  MUX Adresse   Multiplexer-Adresse 0..66; andere Werte gelten als 0 (Vorgabe 0)
  Protokoll     welche Datensätze protokolliert werden, eine Bitmaske; -1 (Vorgabe): alle.
                Bit 0..7 Außen- und Temperatursensoren 0..7, 8 Regen, 9 Wind, 10..17
                Innensensoren 0..7, 18 Helligkeit, 19 Pyranometer, 20 Fernbedienung.
                Fenster-Ereignisse werden immer protokolliert
  Filename      Protokolldatei (Vorgabe protokoll.dat); ein relativer Name gilt im
                aktuellen Verzeichnis
  Stille Minuten  Minuten ohne ein Byte vom Empfänger, nach denen er neu gestartet wird
                (Vorgabe 15; 0: nie)
Der Abschnitt [Ports] ordnet COM1..COM4 Geräte zu (COM1=/dev/ttyUSB0); ohne Eintrag ist
COMn /dev/ttyS<n-1>. Abschnitt [Archiv]:
  Datei         das Archiv, eine SQLite-Datei, die jeden protokollierten Datensatz für
                tavrolin-history und die Diagramme des Fensters aufbewahrt (Vorgabe
                $XDG_DATA_HOME/tavrolin/archiv.sqlite, ~/.local/share/tavrolin/archiv.sqlite)
  Aktiv         0: kein Archiv führen (Vorgabe 1)
  Schreibintervall  Sekunden (1..3600), deren Datensätze gemeinsam in einer Transaktion
                ins Archiv gehen (Vorgabe 300; auf einer SD-Karte empfohlen 1800). Ein
                Stromausfall oder SIGKILL kostet das Archiv höchstens die Datensätze dieser
                Zeit, ein Ende durch SIGTERM oder SIGINT keine
  Live          der Live-Kanal, eine Unix-Socket-Datei, auf der jeder protokollierte
                Datensatz angeboten wird, sobald er empfangen ist (für tavrolin-web und
                andere Leser; JSON Lines, siehe tavrolin-log(1)); Vorgabe
                $RUNTIME_DIRECTORY/live.sock (der Dienst: /run/tavrolin/live.sock), sonst
                $XDG_RUNTIME_DIR/tavrolin/live.sock. Nur der Eigentümer (und die Gruppe des
                Ordners, beim Dienst "tavrolin") darf ihn lesen; bis zu 16 Leser zugleich,
                einer, der nicht mitliest, wird nach 5 s getrennt und auf stderr gemeldet
Ein Archiv, das sich nicht schreiben läßt, wird einmal auf stderr gemeldet und jede Minute
erneut versucht; die Datensätze warten derweil im Speicher, und das Protokollieren geht
weiter.
Abschnitt [MQTT] (Themen und Home Assistant: siehe tavrolin-log(1) und die README):
  Host            der Broker, RECHNER oder RECHNER:PORT; ohne ihn wird nichts
                  veröffentlicht
  Port            Vorgabe 1883, mit CAFile 8883
  User            Benutzername; PasswordFile: eine Datei, deren erste Zeile das Passwort ist
                  (das Passwort selbst steht nie im Profil)
  CAFile          das CA-Zertifikat (PEM), das das des Brokers unterschrieben hat;
                  schaltet TLS ein
  Topic           erste Themenebene (Vorgabe tavrolin); Receiver: die zweite (Vorgabe
                  der Rechnername)
  Discovery       0 schaltet die Home-Assistant-Discovery ab (Vorgabe 1); DiscoveryPrefix
                  ihr Thema (Vorgabe homeassistant)
Der Abschnitt [Sensornamen] benennt Sensoren für Home Assistant und die Meldungen:
outdoor-1=Garten. Ein protokollierter Sensor, der drei seiner üblichen Perioden lang
schweigt, wird einmal auf stderr gemeldet ("Empfang: Sensor Garten (outdoor-1) seit
14:03:07 nicht empfangen."), und einmal, wenn er wieder zu hören ist.

Geht der Empfänger verloren (der Adapter gezogen, das Gerät aufgelegt, oder eine Sekunde
lang nur Fehler von der Leitung), wird die Schnittstelle geschlossen, das einmal auf stderr
gesagt und die Schnittstelle nach 1 s wieder geöffnet, dann nach sich verdoppelnden Pausen
bis 30 s, ihr Gerät jedesmal neu gesucht (ein Eintrag in [Ports] oder ein Link in
/dev/serial/by-id findet einen wieder eingesteckten Adapter). Sobald sie offen ist, gehen
Multiplexer-Adresse und Startbefehl hinaus wie beim Start, und "wieder verbunden" wird mit
der Dauer der Unterbrechung gemeldet. Ein Empfänger, der "Stille Minuten" lang ([SYSTEM],
Vorgabe 15; 0: nie) gar nichts sendet, wird auf stderr gemeldet und bekommt den Stoppbefehl,
die Multiplexer-Adresse und den Startbefehl noch einmal, höchstens einmal in dieser Zeit.

Unter systemd (NOTIFY_SOCKET gesetzt, Type=notify) meldet der Logger READY=1, sobald er
verbunden ist, WATCHDOG=1, solange sein Takt läuft (WatchdogSec=), und eine Zeile STATUS=:
"verbunden mit GERÄT" oder "keine Verbindung seit HH:MM:SS".

Optionen:
  --profile DATEI  die Einstellungen statt dessen aus DATEI lesen
  --port PFAD      das Gerät PFAD nehmen, was COM und [Ports] auch sagen
  --archive DATEI  das Archiv in DATEI führen, was Datei auch sagt
  --json           JSON Lines statt der Protokollzeilen ausgeben (Schema: siehe
                   tavrolin-log(1))
  --mqtt RECHNER[:PORT]  an diesen Broker veröffentlichen, was Host und Port auch sagen
  --exit-on-loss   mit Status 1 enden, wenn der Empfänger verlorengeht, statt die
                   Verbindung wieder aufzunehmen (für einen Dienstverwalter, der ihn neu
                   startet)
  --help           diesen Text zeigen
  --version        Programmname und Version zeigen

Signale: SIGINT oder SIGTERM beenden den Logger wie das OK des Fensterprogramms: die
Protokolldatei wird geschlossen, der Stoppbefehl gesendet, der Multiplexer auf Adresse 0
zurückgesetzt und die Schnittstelle geschlossen; dann endet er mit Status 0.

Exit-Status: 0 nach SIGINT oder SIGTERM; 1, wenn sich die Schnittstelle beim Start nicht
öffnen läßt, oder mit --exit-on-loss, wenn die Leitung eine Sekunde lang nur Fehler liefert
(ein gezogener Adapter, ein verschwundenes Gerät; der Grund steht auf stderr, und ein
Dienstverwalter darf den Logger neu starten); 2 bei einer falschen Befehlszeile, einem
--profile DATEI, das es nicht gibt, einem Profil, das da ist, sich aber nicht lesen läßt
(ein Verzeichnis, keine Leserechte, über 64 MiB), oder unbrauchbaren MQTT-Einstellungen.
Eine Protokolldatei, die sich nicht öffnen läßt, wird auf stderr gemeldet, und die
Datensätze gehen dann nur auf stdout.

Mehr in der Handbuchseite: man tavrolin-log
)usage";
}

ParsedLoggerOptions ParseLoggerOptions(std::span<const std::string_view> args) {
    LoggerOptions o;
    const auto fail = [](std::string text) {
        return ParsedLoggerOptions{std::nullopt, std::move(text)};
    };
    OptionReader reader(args);
    while (reader.Next()) {
        const std::string_view name = reader.Name();
        if (name == "--help" || name == "-h" || name == "--json" || name == "--version") {
            if (reader.HasInlineValue()) {
                return fail(std::string(name) + " nimmt keinen Wert");
            }
            (name == "--json" ? o.json : name == "--version" ? o.version : o.help) = true;
        } else if (name == "--mqtt") {
            const std::optional<std::string_view> value = reader.Value();
            if (!value || value->empty()) {
                return fail("--mqtt braucht einen Broker, RECHNER oder RECHNER:PORT");
            }
            o.mqttHost = std::string(*value);
        } else if (name == "--exit-on-loss") {
            if (reader.HasInlineValue()) {
                return fail("--exit-on-loss nimmt keinen Wert");
            }
            o.exitOnLoss = true;
        } else if (name == "--silence-seconds") {
            const std::string_view value = reader.Value().value_or("");
            int seconds = -1;
            const auto [end, ec] =
                std::from_chars(value.data(), value.data() + value.size(), seconds);
            if (value.empty() || ec != std::errc{} || end != value.data() + value.size() ||
                seconds < 0) {
                return fail("--silence-seconds braucht eine Zahl von Sekunden");
            }
            o.silenceSeconds = seconds;
        } else if (name == "--profile" || name == "--port" || name == "--archive") {
            const std::optional<std::string_view> value = reader.Value();
            if (!value || value->empty()) {
                return fail(std::string(name) + " braucht einen Dateinamen");
            }
            (name == "--profile" ? o.profilePath
             : name == "--port"  ? o.portPath
                                 : o.archivePath) = std::string(*value);
        } else {
            return fail("unbekannte Option " + std::string(reader.Argument()) + " (siehe --help)");
        }
    }
    return {o, {}};
}

}  // namespace tavrolin
