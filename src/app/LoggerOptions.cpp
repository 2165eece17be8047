// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/LoggerOptions.h"

#include <charconv>

#include "base/CommandLine.h"

namespace tavrolin {

std::string LoggerUsage() {
    return R"usage(Usage: tavrolin-log [OPTIONS]

Logs the weather-sensor receiver without a window: connects to the receiver as the desktop
program tavrolin does, sends the start command and polls the port every 50 ms. Every
record is appended to the protocol file (Windows-1252, CR LF line ends, exactly as the
desktop program writes it) and printed on stdout in UTF-8, one line per record, or with
--json as one JSON object per line. Output to stdout never holds up the logging: when
nobody reads it, or the reader has gone, records still go to the protocol file. When the
protocol file cannot be written (a full disk), that is reported once on stderr, the records
go to stdout only, and once a minute the file is opened again and appended to.
With an MQTT broker set (section [MQTT] or --mqtt), every reading is published there too,
with Home Assistant discovery; a broker that is away never holds up the logging either.

Settings are read from the desktop program's profile, $XDG_CONFIG_HOME/tavrolin.INI
(~/.config/tavrolin.INI without XDG_CONFIG_HOME), or from --profile FILE. Nothing is ever
written to it. Keys of section [SYSTEM]:
  COM           serial port 0..3 for COM1..COM4 (default 0)
  Mit MUX       non-zero: the receiver sits behind the RS-232 multiplexer (default 0)
  MUX Adresse   multiplexer address 0..66; other values count as 0 (default 0)
  Protokoll     which records are logged, a bit mask; -1 (default) logs all: bits 0..7
                outdoor and temperature sensors 0..7, 8 rain, 9 wind, 10..17 indoor
                sensors 0..7, 18 brightness, 19 pyranometer, 20 remote control. Fenster
                events are always logged
  Filename      protocol file (default protokoll.dat); a relative name is taken from the
                current directory
  Stille Minuten  minutes without a byte from the receiver before it is started anew
                (default 15; 0: never)
Section [Ports] maps COM1..COM4 to devices (COM1=/dev/ttyUSB0); without an entry COMn is
/dev/ttyS<n-1>. Section [Archiv]:
  Datei         the archive, an SQLite file that keeps every logged record for
                tavrolin-history and the window's charts (default
                $XDG_DATA_HOME/tavrolin/archiv.sqlite, ~/.local/share/tavrolin/archiv.sqlite)
  Aktiv         0: keep no archive (default 1)
An archive that cannot be written is reported once on stderr and retried every minute;
the records meanwhile wait in memory, and logging goes on.
Section [MQTT] (see the README for the topics and Home Assistant):
  Host            the broker, HOST or HOST:PORT; without it nothing is published
  Port            default 1883, with CAFile 8883
  User            user name; PasswordFile: a file whose first line is the password (the
                  password itself never stands in the profile)
  CAFile          the CA certificate (PEM) that signed the broker's; turns on TLS
  Topic           first topic level (default tavrolin); Receiver: the second (default
                  the host name)
  Discovery       0 turns Home Assistant discovery off (default 1); DiscoveryPrefix
                  its topic (default homeassistant)
Section [Sensornamen] names sensors for Home Assistant and the messages: outdoor-1=Garten.
A logged sensor that stays silent for three of its usual periods is said once on stderr
("Empfang: Sensor Garten (outdoor-1) seit 14:03:07 nicht empfangen."), and once when it is
heard again.

When the receiver goes away (the adapter pulled, the device hung up, or nothing but
errors for a second), the port is closed, this is said once on stderr, and the port is
opened again after 1 s, then after doubling pauses of up to 30 s, its device looked up
anew each time (a [Ports] entry or a /dev/serial/by-id link finds a re-plugged adapter).
Once it opens, the multiplexer address and the start command go out as at the start, and
"wieder verbunden" is said with the length of the outage. A receiver that sends nothing
at all for "Stille Minuten" ([SYSTEM], default 15; 0: never) is told so on stderr and
gets the stop command, the multiplexer address and the start command again, at most once
in that time.

Under systemd (NOTIFY_SOCKET set, Type=notify) the logger reports READY=1 once connected,
WATCHDOG=1 while its timer runs (WatchdogSec=), and a STATUS= line: "verbunden mit
DEVICE" or "keine Verbindung seit HH:MM:SS".

Options:
  --profile FILE  read the settings from FILE instead
  --port PATH     use the device PATH, whatever COM and [Ports] say
  --archive FILE  keep the archive in FILE, whatever Datei says
  --json          print JSON Lines instead of the report lines (schema: see the README)
  --mqtt HOST[:PORT]  publish to this broker, whatever Host and Port say
  --exit-on-loss  end with status 1 when the receiver goes away, instead of reconnecting
                  (for a service manager that starts it again)
  --help          show this text

Signals: SIGINT or SIGTERM stop the logger as the desktop program's OK does: the protocol
file is closed, the stop command sent, the multiplexer set back to address 0 and the port
closed; then it exits with status 0.

Exit status: 0 after SIGINT or SIGTERM; 1 when the port cannot be opened at the start,
or, with --exit-on-loss, when the line gives nothing but errors for a second (an adapter
pulled, the device gone; the reason is shown on stderr, and a service manager may start
the logger again); 2 for a wrong command line, a --profile FILE that does not exist, a
profile that is there but cannot be read (a folder, no permission, over 64 MiB), or
unusable MQTT settings. A protocol file that cannot be opened is reported on stderr, and
the records then go to stdout only.
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
        if (name == "--help" || name == "-h" || name == "--json") {
            if (reader.HasInlineValue()) {
                return fail(std::string(name) + " takes no value");
            }
            (name == "--json" ? o.json : o.help) = true;
        } else if (name == "--mqtt") {
            const std::optional<std::string_view> value = reader.Value();
            if (!value || value->empty()) {
                return fail("--mqtt needs a broker, HOST or HOST:PORT");
            }
            o.mqttHost = std::string(*value);
        } else if (name == "--exit-on-loss") {
            if (reader.HasInlineValue()) {
                return fail("--exit-on-loss takes no value");
            }
            o.exitOnLoss = true;
        } else if (name == "--silence-seconds") {
            const std::string_view value = reader.Value().value_or("");
            int seconds = -1;
            const auto [end, ec] =
                std::from_chars(value.data(), value.data() + value.size(), seconds);
            if (value.empty() || ec != std::errc{} || end != value.data() + value.size() ||
                seconds < 0) {
                return fail("--silence-seconds needs a number of seconds");
            }
            o.silenceSeconds = seconds;
        } else if (name == "--profile" || name == "--port" || name == "--archive") {
            const std::optional<std::string_view> value = reader.Value();
            if (!value || value->empty()) {
                return fail(std::string(name) + " needs a file name");
            }
            (name == "--profile" ? o.profilePath
             : name == "--port"  ? o.portPath
                                 : o.archivePath) = std::string(*value);
        } else {
            return fail("unknown option " + std::string(reader.Argument()) + " (see --help)");
        }
    }
    return {o, {}};
}

}  // namespace tavrolin
