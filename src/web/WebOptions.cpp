// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/WebOptions.h"

#include <arpa/inet.h>

#include <charconv>

#include "base/CommandLine.h"
#include "base/Win1252.h"
#include "web/PasswordHash.h"
#include "web/WebServer.h"

namespace tavrolin {

std::optional<ListenAddress> ParseListenAddress(std::string_view text) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos || colon == 0) {
        return std::nullopt;
    }
    std::string_view host = text.substr(0, colon);
    const std::string_view portText = text.substr(colon + 1);
    const bool bracketed = host.size() >= 2 && host.front() == '[' && host.back() == ']';
    if (bracketed) {
        host = host.substr(1, host.size() - 2);
    }
    // An IPv6 address has colons of its own, so only in brackets is its port clear.
    if (host.find(':') != std::string_view::npos && !bracketed) {
        return std::nullopt;
    }
    unsigned port = 0;
    const auto [end, error] =
        std::from_chars(portText.data(), portText.data() + portText.size(), port);
    if (error != std::errc() || end != portText.data() + portText.size() || port == 0 ||
        port > 65535) {
        return std::nullopt;
    }
    ListenAddress address{std::string(host), static_cast<uint16_t>(port)};
    // Only numeric addresses: a name would be looked up, and might mean more than one.
    unsigned char buffer[16];
    const int family = bracketed ? AF_INET6 : AF_INET;
    if (::inet_pton(family, address.host.c_str(), buffer) != 1) {
        return std::nullopt;
    }
    return address;
}

ParsedWebOptions ParseWebOptions(std::span<const std::string_view> args) {
    WebOptions o;
    if (auto error = ReadOptions(args,
                                 {{"--listen", &o.listen},
                                  {"--archive", &o.archivePath},
                                  {"--profile", &o.profilePath},
                                  {"--cert", &o.certFile},
                                  {"--key", &o.keyFile},
                                  {"--upload-state", &o.uploadStateFolder}},
                                 {{"--hash-password", &o.hashPassword},
                                  {"--help", &o.help},
                                  {"-h", &o.help},
                                  {"--version", &o.version}},
                                 "tavrolin-web")) {
        return {std::nullopt, std::move(*error)};
    }
    if (!o.listen.empty() && !ParseListenAddress(o.listen)) {
        return {std::nullopt,
                "--listen braucht ADRESSE:PORT, etwa 127.0.0.1:8470 oder "
                "[::1]:8470, nicht " +
                    o.listen};
    }
    if (o.certFile.empty() != o.keyFile.empty()) {
        return {std::nullopt, "--cert und --key gehören zusammen"};
    }
    return {o, {}};
}

WebSettings WebSettings::Read(const SettingsStore& store) {
    WebSettings web;
    web.listen = ProfileTextToUtf8(store.ReadString(kSection, "Listen", ""));
    web.user = ProfileTextToUtf8(store.ReadString(kSection, "User", ""));
    web.passwordHash = ProfileTextToUtf8(store.ReadString(kSection, "PasswordHash", ""));
    web.certFile = ProfileTextToUtf8(store.ReadString(kSection, "Cert", ""));
    web.keyFile = ProfileTextToUtf8(store.ReadString(kSection, "Key", ""));
    return web;
}

std::optional<WebConfig> MakeWebConfig(const WebOptions& options, const WebSettings& web,
                                       std::string& error) {
    WebConfig config;
    const std::string listen = options.listen.empty() ? web.listen : options.listen;
    if (!listen.empty()) {
        const std::optional<ListenAddress> address = ParseListenAddress(listen);
        if (!address) {
            error = "Listen=" + listen +
                    " im Abschnitt [Web] ist keine ADRESSE:PORT wie 127.0.0.1:8470 oder "
                    "[::1]:8470.";
            return std::nullopt;
        }
        config.address = *address;
    }
    if (web.user.empty() != web.passwordHash.empty()) {
        error = "Für die Anmeldung braucht der Abschnitt [Web] User und PasswordHash.";
        return std::nullopt;
    }
    if (!web.passwordHash.empty() && !IsPasswordHash(web.passwordHash)) {
        error =
            "PasswordHash im Abschnitt [Web] ist nicht, was tavrolin-web --hash-password "
            "ausgibt.";
        return std::nullopt;
    }
    config.user = web.user;
    config.passwordHash = web.passwordHash;
    config.certFile = options.certFile.empty() ? web.certFile : options.certFile;
    config.keyFile = options.keyFile.empty() ? web.keyFile : options.keyFile;
    if (config.certFile.empty() != config.keyFile.empty()) {
        error =
            "Für HTTPS braucht es Zertifikat und Schlüssel (--cert und --key, oder Cert und "
            "Key im Abschnitt [Web]).";
        return std::nullopt;
    }
    return config;
}

std::string WebUsage() {
    return R"usage(Aufruf: tavrolin-web [OPTIONEN]

Zeigt die Station im Browser: "Jetzt und heute" der Hauptsensoren ([Station]) mit Tiefst-
und Höchstwerten von heute und ihrer Uhrzeit, Regen und Luftdrucktendenz, Monats- und
Jahresberichte und Rekorde, eine Übersicht aller Sensoren mit ihren letzten Werten, die
sich von selbst erneuert, und je Sensor Diagramme über 24 Stunden, 7 Tage, 30 Tage, ein
Jahr, das ganze Archiv oder einen gewählten Zeitraum, mit CSV zum Herunterladen; dazu eine
JSON-Schnittstelle und /metrics für Prometheus. tavrolin-web liest nur das Archiv, das
tavrolin-log oder tavrolin schreiben (eine SQLite-Datei), und deren Live-Kanal, ändert nie
etwas daran und öffnet keine Schnittstelle: der Logger und das Fenster schreiben weiter,
während Seiten ausgeliefert werden. Jede Messung steht eine Sekunde, nachdem sie empfangen
ist, auf den Seiten, über den Live-Kanal ([Archiv] Live, Vorgabe
$XDG_RUNTIME_DIR/tavrolin/live.sock, ohne XDG_RUNTIME_DIR /run/tavrolin/live.sock, wo ihn
der Dienst tavrolin-log anbietet); läuft kein Logger, folgt es dem Archiv, sagt das auf den
Seiten ("Archiv, Stand ...") und verbindet sich wieder, sobald der Kanal zurück ist. Nichts wird aus dem Internet geladen; Chart.js kommt aus dem Paket libjs-chart.js.

Ohne --listen lauscht es nur auf 127.0.0.1, Port 8470: erreichbar nur von diesem Rechner
(http://127.0.0.1:8470/).

Die Einstellungen kommen aus dem Profil des Fensterprogramms, $XDG_CONFIG_HOME/tavrolin.INI
(ohne XDG_CONFIG_HOME ~/.config/tavrolin.INI), oder aus --profile DATEI; gelesen werden
[Archiv] Datei und Live, [Sensornamen] (outdoor-1=Garten), [Regen] (rain-0=0.25, Regen in mm),
[Station] (Höhe=312, Luftdruck auf Meereshöhe) wie in den anderen Programmen, von den
Abschnitten der Wetternetze ([Wunderground], [Windy] ...) nur, welche eingerichtet sind (für
die Zeilen unter "Uploads": was tavrolin-upload jedem zuletzt gesendet hat), und der
Abschnitt [Web]:
  Listen        ADRESSE:PORT, auf der es lauscht (wie --listen)
  User          mit PasswordHash: jede Seite, jeder Ereignisstrom, die API und /metrics
                verlangen diese Anmeldung
  PasswordHash  was tavrolin-web --hash-password aus dem Passwort macht (das Passwort
                selbst steht nie im Profil)
  Cert, Key     Zertifikat und Schlüssel (PEM): HTTPS statt HTTP (wie --cert und --key)
Eine Anmeldung über einfaches HTTP gehört in ein vertrauenswürdiges Netz oder hinter einen
Reverse-Proxy mit HTTPS (siehe README).

Optionen:
  --listen ADRESSE:PORT  etwa 0.0.0.0:8470 (alle IPv4-Adressen), [::1]:8470 oder
                   [::]:8470 (alle IPv6-Adressen); Port 0 wählt einen freien
  --archive DATEI  das Archiv (Vorgabe: [Archiv] Datei im Profil, sonst
                   $XDG_DATA_HOME/tavrolin/archiv.sqlite, ~/.local/share/tavrolin/archiv.sqlite)
  --profile DATEI  das Profil (Vorgabe: das des Fensterprogramms)
  --upload-state ORDNER  wo tavrolin-upload den Stand der Netze hält, für die Zeilen unter
                   "Uploads" und /metrics (Vorgabe: $XDG_STATE_HOME/tavrolin-upload,
                   ~/.local/state/tavrolin-upload; der Dienst: /var/lib/tavrolin-upload)
  --cert DATEI, --key DATEI  Zertifikat und Schlüssel für HTTPS
  --hash-password  ein Passwort lesen (am Terminal verdeckt, zweimal) und die Zeile für
                   PasswordHash ausgeben
  --help           diesen Text zeigen
  --version        Programmname und Version zeigen

Exit-Status: 0 nach SIGINT oder SIGTERM; 1 das Archiv läßt sich nicht lesen oder die Adresse
nicht belegen; 2 eine falsche Befehlszeile oder ein falsches Profil.

Mehr in der Handbuchseite: man tavrolin-web
)usage";
}

}  // namespace tavrolin
