// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/WindowOptions.h"

namespace tavrolin {

WindowRequest WindowRequestOf(std::span<const std::string_view> args) {
    for (const std::string_view arg : args) {
        if (arg == "--help" || arg == "-h") {
            return WindowRequest::Help;
        }
        if (arg == "--version") {
            return WindowRequest::Version;
        }
    }
    return WindowRequest::Run;
}

std::string WindowUsage() {
    return R"usage(Aufruf: tavrolin [QT-OPTIONEN]

Das Fenster zum Wettersensor-Empfänger an einer seriellen Schnittstelle (RS-232 oder ein
USB-Adapter): zeigt jedes Telegramm der Funk-Wettersensoren als eine Zeile deutschen Textes
in einer Liste der neuesten Zeilen und hängt die Zeilen der angekreuzten Sensoren an die
Protokolldatei an. Jede dieser Messungen kommt außerdem ins Archiv (tavrolin-history) und,
mit einem Abschnitt [MQTT] im Profil, zu einem MQTT-Broker. Das Kontextmenü (rechte
Maustaste auf dem Fensterhintergrund) öffnet die Sensorübersicht und die Verlaufsdiagramme.

Das Profil ist $XDG_CONFIG_HOME/tavrolin.INI (ohne XDG_CONFIG_HOME ~/.config/tavrolin.INI).
Das Fenster liest seinen Abschnitt [SYSTEM] beim Start und schreibt ihn zurück, wenn es mit
der Eingabetaste oder seinem Schließfeld geschlossen wird (Esc schließt, ohne zu
speichern); [Ports], [Archiv], [MQTT] und [Sensornamen] liest es nur. Das Archiv liegt ohne
andere Angabe in $XDG_DATA_HOME/tavrolin/archiv.sqlite
(~/.local/share/tavrolin/archiv.sqlite). Jede dieser Messungen bietet das Fenster sofort
auf seinem Live-Kanal an ([Archiv] Live, Vorgabe $XDG_RUNTIME_DIR/tavrolin/live.sock), den
tavrolin-web liest. SIGTERM, SIGHUP (Abmelden, Herunterfahren) und SIGINT schließen das
Fenster wie sein Schließfeld: was noch auf das Archiv wartet, wird geschrieben.

Optionen:
  --help          diesen Text zeigen
  --version       Programmname und Version zeigen
Alle anderen Argumente gehen an Qt (etwa -platform xcb).

Exit-Status: 0, wenn das Fenster geschlossen ist.

Mehr in der Handbuchseite, mit jedem Schlüssel des Profils: man tavrolin
)usage";
}

}  // namespace tavrolin
