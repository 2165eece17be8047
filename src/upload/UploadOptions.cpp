// SPDX-License-Identifier: GPL-3.0-or-later
#include "upload/UploadOptions.h"

#include "base/CommandLine.h"
#include "upload/UploadSettings.h"

namespace tavrolin {

ParsedUploadOptions ParseUploadOptions(std::span<const std::string_view> args) {
    UploadOptions o;
    if (auto error = ReadOptions(args,
                                 {{"--profile", &o.profilePath},
                                  {"--archive", &o.archivePath},
                                  {"--state", &o.stateFolder},
                                  {"--ca", &o.caFile},
                                  {"--test", &o.test}},
                                 {{"--status", &o.status},
                                  {"--help", &o.help},
                                  {"-h", &o.help},
                                  {"--version", &o.version}},
                                 "tavrolin-upload")) {
        return {std::nullopt, std::move(*error)};
    }
    if (!o.test.empty() && !NetworkNamed(o.test)) {
        return {std::nullopt, "--test kennt kein Netz " + o.test +
                                  "; die Netze: wunderground, pwsweather, wow, windy, cwop, "
                                  "opensensemap"};
    }
    if (!o.test.empty() && o.status) {
        return {std::nullopt, "--test und --status schließen einander aus"};
    }
    return {o, {}};
}

std::string UploadUsage() {
    return R"usage(Aufruf: tavrolin-upload [OPTIONEN]

Sendet die Beobachtungen der Station an die Wetternetze: Weather Underground, PWSweather,
Met Office WOW, Windy, CWOP (APRS-IS) und openSenseMap, jedes in seinem eigenen Takt. Die
Werte kommen von den Hauptsensoren ([Station] Außen, Wind, Regen, Luftdruck) aus dem
Archiv, das tavrolin-log schreibt, und aus dessen Live-Kanal ([Archiv] Live): die
Beobachtung einer Minute geht hinaus, sobald sie vorbei ist. tavrolin-upload liest beide nur,
öffnet keine Schnittstelle und lauscht auf keinem Port. Nach einem Ausfall bekommt ein Netz, das Vergangenes annimmt
(Weather Underground, PWSweather, openSenseMap), was ihm fehlt, das Älteste zuerst und je
Lauf begrenzt; CWOP, WOW und Windy nur das Neueste. Weist ein Netz die Zugangsdaten ab,
wird an es nicht mehr gesendet, bis sein Abschnitt im Profil geändert ist.

Die Einstellungen kommen aus dem Profil des Fensterprogramms, $XDG_CONFIG_HOME/tavrolin.INI
(ohne XDG_CONFIG_HOME ~/.config/tavrolin.INI), oder aus --profile DATEI. Jedes Netz hat
seinen Abschnitt, [Wunderground], [PWSweather], [WOW], [Windy], [CWOP], [openSenseMap], und
sendet erst, wenn er eingerichtet ist:
  Kennung      die Kennung der Station (WOW: die Site-ID, CWOP: CW1234 oder das
               Rufzeichen, openSenseMap: die Box-ID)
  Schlüssel    ihr Schlüssel oder Passwort (CWOP: der Passcode, Vorgabe -1; openSenseMap:
               der Zugangsschlüssel der Box)
  Intervall    Sekunden zwischen zwei Beobachtungen, ganze Minuten (Vorgabe 300; WOW,
               Windy und CWOP nicht öfter als alle 300)
  Adresse      ein anderer Server desselben Protokolls (Vorgabe: der des Netzes)
openSenseMap nennt dazu die Sensorkennungen der Box: Temperatur, Feuchte, Taupunkt,
Luftdruck, Wind, Böe, Windrichtung, Regen1h, RegenHeute. [Station] Höhe gibt den Luftdruck
auf Meereshöhe, Breite und Länge den Ort (für CWOP nötig), [Regen] den Regen in mm.

Optionen:
  --status         je Netz den letzten Erfolg, den letzten Fehler in den Worten des Netzes
                   und den Rückstand zeigen
  --test NAME      die jetzige Beobachtung einmal an das Netz NAME senden (wunderground,
                   pwsweather, wow, windy, cwop, opensensemap) und die Anfrage (Passwort
                   verdeckt) und die Antwort zeigen
  --archive DATEI  das Archiv (Vorgabe: [Archiv] Datei im Profil, sonst
                   $XDG_DATA_HOME/tavrolin/archiv.sqlite, ~/.local/share/tavrolin/archiv.sqlite)
  --profile DATEI  das Profil (Vorgabe: das des Fensterprogramms)
  --state ORDNER   der Ordner für den Stand je Netz (Vorgabe: $STATE_DIRECTORY des Dienstes,
                   sonst $XDG_STATE_HOME/tavrolin-upload, ~/.local/state/tavrolin-upload)
  --ca DATEI       den Zertifikaten dieser Stelle (PEM) vertrauen statt denen des Systems
  --help           diesen Text zeigen
  --version        Programmname und Version zeigen

Exit-Status: 0 nach SIGINT oder SIGTERM, und wenn --test angenommen wurde; 1 das Archiv
läßt sich nicht lesen, oder --test wurde abgewiesen; 2 eine falsche Befehlszeile, ein
falsches Profil oder kein Netz eingerichtet.

Mehr in der Handbuchseite: man tavrolin-upload
)usage";
}

}  // namespace tavrolin
