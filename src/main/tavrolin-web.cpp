// SPDX-License-Identifier: GPL-3.0-or-later
// tavrolin-web: the station in a browser. The pages and answers are WebServer's and
// Station's; this file wires them to the system: the profile, the archive's place, the
// listening address, the terminal for --hash-password and the signals.

#include <termios.h>
#include <unistd.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/signal_set.hpp>
#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "base/FileSystem.h"
#include "base/Version.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/ProfileLocation.h"
#include "platform/posix/SystemClocks.h"
#include "settings/ArchiveSettings.h"
#include "settings/SensorNames.h"
#include "settings/SettingsStore.h"
#include "settings/WeatherProfile.h"
#include "web/PasswordHash.h"
#include "web/Station.h"
#include "web/WebOptions.h"
#include "web/WebServer.h"

using namespace tavrolin;

namespace {

int Fail(const std::string& text, int status) {
    std::fprintf(stderr, "tavrolin-web: %s\n", text.c_str());
    return status;
}

// A line from stdin; on a terminal without echo, after a prompt on stderr.
std::string ReadPassword(const char* prompt) {
    const bool terminal = ::isatty(STDIN_FILENO) != 0;
    termios saved{};
    if (terminal) {
        std::fputs(prompt, stderr);
        ::tcgetattr(STDIN_FILENO, &saved);
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::string line;
    std::getline(std::cin, line);
    if (terminal) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fputs("\n", stderr);
    }
    return line;
}

int HashPasswordCommand() {
    const std::string password = ReadPassword("Passwort: ");
    if (::isatty(STDIN_FILENO) != 0 && ReadPassword("Noch einmal: ") != password) {
        return Fail("Die beiden Eingaben sind verschieden.", 1);
    }
    if (password.empty()) {
        return Fail("Ein leeres Passwort schützt nichts.", 1);
    }
    const std::string hash = HashPassword(password);
    if (hash.empty()) {
        return Fail("OpenSSL konnte das Passwort nicht verschlüsseln.", 1);
    }
    std::printf("%s\n", hash.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const ParsedWebOptions parsed = ParseWebOptions(args);
    if (!parsed.options) {
        return Fail(parsed.error, 2);
    }
    const WebOptions& options = *parsed.options;
    if (options.help) {
        std::fputs(WebUsage().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::fputs(VersionText("tavrolin-web").c_str(), stdout);
        return 0;
    }
    if (options.hashPassword) {
        return HashPasswordCommand();
    }

    PosixFileSystem files;
    const std::string profile =
        options.profilePath.empty() ? ProfilePath("tavrolin") : options.profilePath;
    const SettingsStore settings(files, profile);
    if (const auto problem = ProfileProblem(settings, !options.profilePath.empty())) {
        return Fail(*problem, 2);
    }
    const WeatherSettingsResult weather = ReadWeatherSettings(settings);
    for (const std::string& error : weather.errors) {
        std::fprintf(stderr, "tavrolin-web: %s\n", error.c_str());
    }
    if (!weather.errors.empty()) {
        return 2;
    }
    const WebSettings web = WebSettings::Read(settings);
    WebConfig config;
    const std::string listen = options.listen.empty() ? web.listen : options.listen;
    if (!listen.empty()) {
        const std::optional<ListenAddress> address = ParseListenAddress(listen);
        if (!address) {
            return Fail("Listen=" + listen +
                            " im Abschnitt [Web] ist keine ADRESSE:PORT wie "
                            "127.0.0.1:8470 oder [::1]:8470.",
                        2);
        }
        config.address = *address;
    }
    if (web.user.empty() != web.passwordHash.empty()) {
        return Fail("Für die Anmeldung braucht der Abschnitt [Web] User und PasswordHash.", 2);
    }
    if (!web.passwordHash.empty() && !IsPasswordHash(web.passwordHash)) {
        return Fail(
            "PasswordHash im Abschnitt [Web] ist nicht, was tavrolin-web "
            "--hash-password ausgibt.",
            2);
    }
    config.user = web.user;
    config.passwordHash = web.passwordHash;
    config.certFile = options.certFile.empty() ? web.certFile : options.certFile;
    config.keyFile = options.keyFile.empty() ? web.keyFile : options.keyFile;
    if (config.certFile.empty() != config.keyFile.empty()) {
        return Fail(
            "Für HTTPS braucht es Zertifikat und Schlüssel (--cert und --key, oder Cert "
            "und Key im Abschnitt [Web]).",
            2);
    }

    const std::string archivePath =
        options.archivePath.empty()
            ? ArchiveSettings::Read(settings).PathOr(DefaultArchivePath(false))
            : options.archivePath;
    SystemWallClock clock;
    SystemTimeZone zone;
    Station station(SensorNames::Read(settings), weather.settings, archivePath, clock, zone);
    if (!station.Start()) {
        return Fail(station.Problem(), 1);
    }

    boost::asio::io_context io;
    WebServer server(io, station, config);
    std::string error;
    if (!server.Start(error)) {
        return Fail(error, 1);
    }
    const bool v6 = config.address.host.find(':') != std::string::npos;
    std::printf("tavrolin-web: %s://%s%s%s:%u/ zeigt %s\n",
                config.certFile.empty() ? "http" : "https", v6 ? "[" : "",
                config.address.host.c_str(), v6 ? "]" : "", server.Port(),
                ShownFilePath(archivePath).c_str());
    std::fflush(stdout);
    boost::asio::signal_set signals(io, SIGINT, SIGTERM);
    signals.async_wait([&](const boost::system::error_code&, int) {
        server.Stop();
        io.stop();
    });
    io.run();
    return 0;
}
