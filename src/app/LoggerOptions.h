// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tavrolin {

// The command line of tavrolin-log.
struct LoggerOptions {
    std::string profilePath;  // empty: the desktop program's profile
    std::string portPath;     // empty: the port of the profile's "COM" setting
    std::string archivePath;  // empty: the profile's [Archiv] Datei, or the default
    std::string mqttHost;     // HOST[:PORT]; empty: section [MQTT] decides
    bool json = false;        // JSON Lines on stdout instead of the report lines
    // End with status 1 when the receiver is lost, instead of reconnecting.
    bool exitOnLoss = false;
    // The silence time in seconds instead of the profile's whole minutes (for tests; not in
    // the help).
    std::optional<int> silenceSeconds;
    bool help = false;
    bool version = false;
};

struct ParsedLoggerOptions {
    std::optional<LoggerOptions> options;  // absent when the command line is wrong
    std::string error;                     // what is wrong with it
};

// The arguments after the program name. Options take their value as the next argument or
// after '=' (--port /dev/ttyUSB0, --port=/dev/ttyUSB0).
ParsedLoggerOptions ParseLoggerOptions(std::span<const std::string_view> args);

// The text of --help, German like every message.
std::string LoggerUsage();

}  // namespace tavrolin
