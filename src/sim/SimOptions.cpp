// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/SimOptions.h"

#include "base/CommandLine.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace tavrolin::sim {

namespace {

template <typename T>
bool ParseNumber(std::string_view text, T& value) {
    if (text.empty()) {
        return false;
    }
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end;
}

bool ParseInt(std::string_view text, int low, int high, int& value) {
    long long v = 0;
    if (!ParseNumber(text, v) || v < low || v > high) {
        return false;
    }
    value = static_cast<int>(v);
    return true;
}

}  // namespace

std::string SimUsage() {
    return R"usage(Aufruf: tavrolin-sim [OPTIONEN]

Spielt den Wettersensor-Empfänger auf einem Pseudo-Terminal: beantwortet die Befehlsrahmen
des Programms und sendet, einmal gestartet, die Sensortelegramme einer ganzen Wetterstation.

Beim Start gibt es eine Zeile "tavrolin-sim: ready on /dev/pts/N (link PFAD)" auf stdout
aus. SIGINT, SIGTERM oder SIGHUP beenden es mit einer Zusammenfassung auf stderr und dem
Exit-Status 0.

Optionen:
  --link PFAD     PFAD zu einem symbolischen Link auf das Pseudo-Terminal machen (ein alter
                  Link dort wird ersetzt, jede andere Datei bleibt, wie sie ist, und der
                  Simulator startet nicht); der Link wird am Ende entfernt
  --speed X       die Perioden der Station durch X teilen (--speed 60 macht aus einer Minute
                  eine Sekunde); Vorgabe 1
  --rate N        Lastbetrieb: N Telegramme in der Sekunde, reihum über die Sensoren der
                  Station. Die Leitung trägt höchstens 200 Telegramme in der Sekunde (19200
                  Baud, 8O2); das Senden überholt sie nie
  --noise         zufällige Bytes außer STX (0x02) zwischen den Telegrammen, ETX (0x03)
                  darunter
  --split         jedes Telegramm in zwei Schreibvorgängen senden, einige ms auseinander
  --count N       nach N Telegrammen nichts mehr senden; Befehle werden weiter beantwortet
  --replay DATEI  einmal gestartet, statt der Station die Bytes von DATEI senden (einen
                  Mitschnitt von --record), in Stücken, die an einem ETX enden, im Tempo der
                  Leitung oder mit --rate Stücken in der Sekunde; danach nichts. --noise und
                  --split gelten dafür nicht
  --record DATEI  jedes gesendete Byte (Telegramme, Störbytes, Antworten) an DATEI anhängen
  --seed N        Startwert für die Werte der Station, die Störbytes und die Teilungsstellen;
                  Vorgabe 1
  --silent N      die ersten N Befehle nicht beantworten
  --nak N         die N Befehle nach den unbeantworteten mit NAK (02 15 03) beantworten
  --verbose       empfangene Rahmen und gesendete Bytes hexadezimal auf stderr melden
  --help          diesen Text zeigen
  --version       Programmname und Version zeigen

Befehle: der Startbefehl (Nutzdaten FF 00 00 00 00 00) und der Stoppbefehl (Nutzdaten
FE 00 00 00 00 00) werden mit ACK (02 06 03) beantwortet, andere Befehle mit NAK. Die Befehle
werden in der Reihenfolge ihres Eintreffens gezählt: mit --silent S --nak N bleiben die
Befehle 1..S unbeantwortet, S+1..S+N bekommen NAK, und ab S+N+1 wird wieder wie sonst
geantwortet. Ein Befehl, der kein ACK bekommt, bewirkt nichts. Rahmen mit falscher Prüfsumme
oder fehlerhafter Maskierung werden übergangen und zählen nicht als Befehle.

Nach einem Start beginnt die Station eine Runde: jeder Sensor ist in den ersten Sekunden
(geteilt durch --speed) einmal zu hören, danach in seiner eigenen Periode. Auf einen
Antwortrahmen folgt 50 ms lang kein Telegramm, damit die Antwort für sich ankommt. Nach
einem Stopp wird nichts gesendet.

Solange kein Programm das Pseudo-Terminal offen hat, wird nichts geschrieben: die Telegramme,
die derweil fällig werden, gehen verloren wie auf einer echten Leitung (eine Wiedergabe
wartet statt dessen).

Exit-Status: 0 nach einem Signal; 1, wenn sich das Pseudo-Terminal, der Link, die Datei von
--replay oder die von --record nicht anlegen oder öffnen lassen; 2 bei einer falschen
Befehlszeile.

Mehr in der Handbuchseite: man tavrolin-sim
)usage";
}

ParsedOptions ParseSimOptions(std::span<const std::string_view> args) {
    SimOptions o;
    const auto fail = [](std::string text) { return ParsedOptions{std::nullopt, std::move(text)}; };

    OptionReader reader(args);
    while (reader.Next()) {
        const std::string_view name = reader.Name();
        const auto flag = [&](bool& target) {
            target = true;
            return !reader.HasInlineValue();
        };
        const auto value = [&reader] { return reader.Value(); };
        const std::string option(name);

        if (name == "--help" || name == "-h") {
            o.help = true;
        } else if (name == "--noise" || name == "--split" || name == "--verbose" ||
                   name == "--version") {
            bool& target = name == "--noise"     ? o.noise
                           : name == "--split"   ? o.split
                           : name == "--version" ? o.version
                                                 : o.verbose;
            if (!flag(target)) {
                return fail(option + " nimmt keinen Wert");
            }
        } else if (name == "--link" || name == "--replay" || name == "--record") {
            const auto v = value();
            if (!v || v->empty()) {
                return fail(option + " braucht einen Dateinamen");
            }
            (name == "--link"     ? o.linkPath
             : name == "--replay" ? o.replayFile
                                  : o.recordFile) = std::string(*v);
        } else if (name == "--speed") {
            const auto v = value();
            double speed = 0;
            if (!v || !ParseNumber(*v, speed) || !std::isfinite(speed) || speed < 0.001 ||
                speed > 1e6) {
                return fail("--speed braucht eine Zahl von 0.001 bis 1000000");
            }
            o.speed = speed;
        } else if (name == "--rate") {
            const auto v = value();
            if (!v || !ParseInt(*v, 1, 100000, o.rate)) {
                return fail("--rate braucht eine ganze Zahl von 1 bis 100000");
            }
        } else if (name == "--nak" || name == "--silent") {
            const auto v = value();
            if (!v || !ParseInt(*v, 0, 1000000, name == "--nak" ? o.nak : o.silent)) {
                return fail(option + " braucht eine ganze Zahl von 0 bis 1000000");
            }
        } else if (name == "--count" || name == "--seed") {
            const auto v = value();
            uint64_t n = 0;
            if (!v || !ParseNumber(*v, n)) {
                return fail(option + " braucht eine ganze Zahl von 0 bis " +
                            std::to_string(std::numeric_limits<uint64_t>::max()));
            }
            if (name == "--count") {
                o.count = n;
            } else {
                o.seed = n;
            }
        } else {
            return fail("unbekannte Option " + std::string(reader.Argument()) + " (siehe --help)");
        }
    }
    return ParsedOptions{o, ""};
}

}  // namespace tavrolin::sim
