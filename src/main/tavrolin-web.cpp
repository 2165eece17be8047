// SPDX-License-Identifier: GPL-3.0-or-later
// tavrolin-web: the station in a browser. The pages and answers are WebServer's and
// Station's; this file wires them to the system: the profile, the archive's place, the
// listening address, the terminal for --hash-password and the signals.

#include <boost/asio/io_context.hpp>
#include <boost/asio/signal_set.hpp>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "base/FileSystem.h"
#include "base/Version.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/ProfileLocation.h"
#include "platform/posix/SystemClocks.h"
#include "platform/posix/TerminalInput.h"
#include "settings/ArchiveSettings.h"
#include "settings/SensorNames.h"
#include "settings/SettingsStore.h"
#include "settings/StationSensors.h"
#include "settings/WeatherProfile.h"
#include "upload/UploadSettings.h"
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

int HashPasswordCommand() {
    const std::string password = ReadSecretLine("Passwort: ");
    if (StdinIsTerminal() && ReadSecretLine("Noch einmal: ") != password) {
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
    std::string error;
    std::optional<WebConfig> made = MakeWebConfig(options, WebSettings::Read(settings), error);
    if (!made) {
        return Fail(error, 2);
    }
    WebConfig& config = *made;

    const ArchiveSettings archive = ArchiveSettings::Read(settings);
    const std::string archivePath = options.archivePath.empty()
                                        ? archive.PathOr(DefaultArchivePath(false))
                                        : options.archivePath;
    config.livePath = archive.LiveOr(DefaultLivePath());
    // Which archive and which profile, on stderr (the journal, for the service): a view of
    // the wrong archive looks like a station that has stopped.
    std::fprintf(stderr, "Start: Profil %s%s\n", ShownFilePath(profile).c_str(),
                 settings.ReadError() == FileError::NotFound
                     ? " gibt es nicht; es gelten die Vorgaben."
                     : ".");
    std::fprintf(stderr, "Start: Archiv %s%s; Live-Daten von %s.\n",
                 ShownFilePath(archivePath).c_str(),
                 options.archivePath.empty() ? "" : " (--archive)", config.livePath.c_str());
    SystemWallClock clock;
    SystemTimeZone zone;
    Station station(SensorNames::Read(settings), weather.settings, archivePath, clock, zone);
    // A bad entry is said, and its role falls to the default.
    const StationSensorsResult mainSensors = ReadStationSensors(settings);
    for (const std::string& error : mainSensors.errors) {
        std::fprintf(stderr, "tavrolin-web: %s\n", error.c_str());
    }
    station.SetStation(mainSensors.sensors);
    if (!station.Start()) {
        return Fail(station.Problem(), 1);
    }
    const BackupWatch backups(archive.backupFolder, archivePath);
    station.ShowBackups(backups);
    const UploadWatch uploads(
        files,
        options.uploadStateFolder.empty() ? DefaultUploadStateFolder() : options.uploadStateFolder,
        ReadUploadSettings(settings).settings);
    station.ShowUploads(uploads);

    boost::asio::io_context io;
    WebServer server(io, station, config);
    if (!server.Start(error)) {
        return Fail(error, 1);
    }
    std::printf("tavrolin-web: %s zeigt %s\n", server.Url().c_str(),
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
