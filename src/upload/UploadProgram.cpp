// SPDX-License-Identifier: GPL-3.0-or-later
#include "upload/UploadProgram.h"

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "archive/Archive.h"
#include "archive/ArchiveQuery.h"
#include "base/Version.h"
#include "platform/posix/AprsConnection.h"
#include "platform/posix/FeedConnection.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/ProfileLocation.h"
#include "platform/posix/SignalPipe.h"
#include "platform/posix/SystemClocks.h"
#include "settings/ArchiveSettings.h"
#include "settings/SettingsStore.h"
#include "upload/CurlHttpClient.h"
#include "upload/ObservationFeed.h"
#include "upload/Uploader.h"

namespace tavrolin {

namespace {

constexpr int kBusyMs = 2000;
// A minute's observation is made this long after the minute, so that a logger committing
// every second has written the readings up to it.
constexpr int64_t kSettleMs = 3000;
// With the live feed, a reading after the minute makes its observation at once; the clock
// makes it only this late, when the station has said nothing since (a reader that a loaded
// machine serves seconds late still gets the minute's last readings into it).
constexpr int64_t kLiveSettleMs = 30000;
// Without the archive (not yet there, or replaced), it is looked for again after this.
constexpr int64_t kArchiveRetryMs = 30000;
// Without the receiving program's live feed, it is looked for again after this; meanwhile the
// readings come from the archive as it commits them.
constexpr int64_t kFeedRetryMs = 5000;
// The profile is read anew this often (and on SIGHUP): a changed section takes effect, a
// network refused for its credentials may go on.
constexpr int64_t kProfileMs = 30000;

void Say(const std::string& text) {
    std::fprintf(stderr, "tavrolin-upload: %s\n", text.c_str());
    std::fflush(stderr);
}

int Fail(const std::string& text, int status) {
    Say(text);
    return status;
}

std::string StateFolder(const UploadOptions& options) {
    return options.stateFolder.empty() ? DefaultUploadStateFolder() : options.stateFolder;
}

bool AnyOn(const UploadSettings& settings) {
    return std::any_of(settings.networks.begin(), settings.networks.end(),
                       [](const NetworkSettings& n) { return n.on; });
}

int64_t NowMs(WallClock& clock) {
    return UnixMs(clock.Now());
}

// The archive, read-only, and the sensors it knows.
bool OpenArchive(Archive& archive, const std::string& path, std::vector<SensorKey>& known,
                 std::string& problem) {
    if (const ArchiveStatus s = archive.Open(path, Archive::Access::Read, kBusyMs); !s.Ok()) {
        problem = s.Unreadable(path);
        return false;
    }
    // The pages it reads stay out of its resident size: it reads the newest readings once a
    // minute, where mapping a ten-year archive would only count its pages against it.
    archive.Db().Exec("PRAGMA mmap_size=0");
    archive.Db().Exec("PRAGMA cache_size=-1024");
    std::vector<SensorSummary> sensors;
    if (const ArchiveStatus s = ListSensors(archive, sensors); !s.Ok()) {
        problem = s.Unreadable(path);
        archive.Close();
        return false;
    }
    known.clear();
    for (const SensorSummary& s : sensors) {
        known.push_back(s.key);
    }
    return true;
}

// The readings the receiving program has not committed yet, from its live feed, when one runs:
// it greets a reader on its next tick (50 ms) and sends them after the greeting.
void TakeLiveFeed(const std::string& livePath, LiveReadingSource& source, WallClock& clock) {
    FeedConnection live(livePath, 0);
    bool greeted = false;
    const FeedConnection::Handler handler{[&](const FeedLine& line) {
                                              greeted = true;
                                              return source.Line(line);
                                          },
                                          [&](const std::string&) { source.Lost(); }};
    const int64_t until = NowMs(clock) + 1000;
    for (live.Pump(NowMs(clock), handler); live.Fd() >= 0 && NowMs(clock) < until;) {
        pollfd p{live.Fd(), POLLIN, 0};
        if (::poll(&p, 1, 100) == 0 && greeted) {
            return;
        }
        live.Pump(NowMs(clock), handler);
    }
}

int TestCommand(Network network, const UploadSettings& settings, Archive& archive,
                const std::vector<SensorKey>& known, HttpClient& http, AprsClient& aprs,
                const std::string& livePath, WallClock& clock) {
    const int64_t now = NowMs(clock);
    const NetworkSettings& n = settings.Of(network);
    if (!n.on) {
        return Fail(std::string(InfoOf(network).section) +
                        " ist im Profil nicht eingerichtet (Kennung und Schlüssel im Abschnitt [" +
                        std::string(InfoOf(network).section) + "]).",
                    2);
    }
    ObservationFeed feed(settings, known, now);
    LiveReadingSource source(archive, KeyBefore(now - kLeadMs));
    TakeLiveFeed(livePath, source, clock);
    std::string problem;
    if (!feed.Advance(
            source, now - kMsPerMinute, [](const Observation&) {}, problem)) {
        return Fail(problem, 1);
    }
    const Observation o = feed.Observe(now);
    if (o.Empty()) {
        return Fail(
            "Die Hauptsensoren haben in der letzten Viertelstunde nichts gemeldet; es "
            "gibt keine Beobachtung zu senden.",
            1);
    }
    std::string request;
    const Outcome outcome = SendTo(n, settings, {&o, 1}, http, aprs, now, &request);
    std::printf("Anfrage:\n%s\nAntwort: %s\n%s\n", request.c_str(), outcome.text.c_str(),
                outcome.verdict == Verdict::Sent      ? "Angenommen."
                : outcome.verdict == Verdict::Refused ? "Die Zugangsdaten wurden abgewiesen."
                : outcome.verdict == Verdict::TooSoon ? "Zu früh; das Netz will seltener Daten."
                                                      : "Nicht angenommen.");
    return outcome.verdict == Verdict::Sent ? 0 : 1;
}

}  // namespace

int RunUpload(const UploadOptions& options) {
    PosixFileSystem files;
    const std::string profile =
        options.profilePath.empty() ? ProfilePath("tavrolin") : options.profilePath;
    const SettingsStore store(files, profile);
    if (const auto problem = ProfileProblem(store, !options.profilePath.empty())) {
        return Fail(*problem, 2);
    }
    UploadSettingsResult read = ReadUploadSettings(store);
    for (const std::string& error : read.errors) {
        Say(error);
    }
    const std::string folder = StateFolder(options);
    SystemWallClock clock;
    if (options.status) {
        for (const NetworkSettings& n : read.settings.networks) {
            const UploadState state = LoadState(files, StatePath(folder, InfoOf(n.network).name));
            std::printf("%s\n", StatusLine(n, state, NowMs(clock)).c_str());
        }
        return 0;
    }
    if (!AnyOn(read.settings)) {
        return Fail("Kein Netz ist eingerichtet: jedes braucht im Profil " +
                        ShownFilePath(profile) +
                        " seinen Abschnitt mit Kennung und Schlüssel (siehe man tavrolin-upload).",
                    2);
    }
    struct stat info {};
    if (::stat(profile.c_str(), &info) == 0 && (info.st_mode & S_IROTH) != 0) {
        Say("Das Profil " + ShownFilePath(profile) +
            " ist für alle lesbar und enthält die Schlüssel der Netze; chmod o-r " +
            ShownFilePath(profile) + " macht es privat.");
    }
    const ArchiveSettings archiveSettings = ArchiveSettings::Read(store);
    const std::string archivePath = options.archivePath.empty()
                                        ? archiveSettings.PathOr(DefaultArchivePath(false))
                                        : options.archivePath;
    const std::string livePath = archiveSettings.LiveOr(DefaultLivePath());
    CurlHttpClient http(options.caFile);
    PosixAprsClient aprs;
    Archive archive;
    std::vector<SensorKey> known;
    std::string problem;

    if (!options.test.empty()) {
        if (!OpenArchive(archive, archivePath, known, problem)) {
            return Fail(problem, 1);
        }
        return TestCommand(*NetworkNamed(options.test), read.settings, archive, known, http, aprs,
                           livePath, clock);
    }

    ::umask(0077);  // the state is the owner's alone
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error || ::access(folder.c_str(), W_OK) != 0) {
        return Fail("Der Ordner " + ShownFilePath(folder) +
                        " für den Stand der Netze läßt sich nicht anlegen.",
                    1);
    }
    SignalPipe signals;
    if (!signals.Install({SIGINT, SIGTERM, SIGHUP})) {
        return Fail("Die Signale lassen sich nicht einrichten.", 1);
    }
    Uploader uploader(http, aprs, files, folder, Say);
    uploader.Configure(read.settings);
    std::unique_ptr<ObservationFeed> feed;
    std::unique_ptr<LiveReadingSource> source;
    std::unique_ptr<FeedConnection> live;
    const FeedConnection::Handler liveHandler{
        [&source](const FeedLine& line) { return source->Line(line); },
        [&source, &livePath](const std::string& why) {
            Say("Live-Kanal " + livePath + ": " + why +
                "; bis er wieder da ist, kommen die Messungen aus dem Archiv.");
            source->Lost();
        }};
    std::string saidProblem;
    int64_t profileAt = NowMs(clock) + kProfileMs;
    for (;;) {
        const int64_t now = NowMs(clock);
        int64_t wake = now + kArchiveRetryMs;
        if (!feed) {
            if (OpenArchive(archive, archivePath, known, problem)) {
                const int64_t from = uploader.WantedFromMs(now).value_or(now);
                feed = std::make_unique<ObservationFeed>(read.settings, known, from);
                source = std::make_unique<LiveReadingSource>(archive, KeyBefore(from - kLeadMs));
                live = std::make_unique<FeedConnection>(livePath, kFeedRetryMs);
                saidProblem.clear();
            } else if (problem != saidProblem) {
                Say(problem + "; es wird weiter versucht.");
                saidProblem = problem;
            }
        }
        if (feed) {
            live->Pump(now, liveHandler);
            const int64_t settle = live->Fd() >= 0 ? kLiveSettleMs : kSettleMs;
            if (feed->Advance(
                    *source, now - settle, [&](const Observation& o) { uploader.Offer(o, now); },
                    problem)) {
                wake = std::min(
                    {uploader.Run(now), live->RetryAtMs(),
                     FloorDiv(now - settle, kMsPerMinute) * kMsPerMinute + kMsPerMinute + settle});
            } else {
                Say(problem + "; es wird weiter versucht.");
                feed.reset();
                source.reset();
                live.reset();
                archive.Close();
            }
        }
        pollfd p[2] = {{signals.Fd(), POLLIN, 0}, {live ? live->Fd() : -1, POLLIN, 0}};
        const int64_t wait = std::clamp<int64_t>(wake - NowMs(clock), 0, kArchiveRetryMs);
        bool hangUp = false;
        if (::poll(p, 2, static_cast<int>(wait)) > 0 && (p[0].revents & POLLIN) != 0) {
            const int signal = signals.Take();
            if (signal == SIGINT || signal == SIGTERM) {
                return 0;
            }
            hangUp = signal == SIGHUP;
        }
        if (hangUp || NowMs(clock) >= profileAt) {
            profileAt = NowMs(clock) + kProfileMs;
            UploadSettingsResult again = ReadUploadSettings(store);
            if (store.ReadError() == FileError::None) {
                read = std::move(again);
                uploader.Configure(read.settings);
            }
        }
    }
}

}  // namespace tavrolin
