// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Outputs.h"

#include <chrono>
#include <utility>
#include <vector>

#include "archive/ArchiveQuery.h"
#include "history/ArchiveSeed.h"
#include "settings/ArchiveSettings.h"
#include "settings/MqttSettings.h"
#include "settings/WeatherProfile.h"

namespace tavrolin {

namespace {

// At an orderly end, what is still queued for the broker may take this long to go out.
constexpr std::chrono::milliseconds kMqttDrain{2000};

// With the archive on, the program goes on where the archive left off, as if it had never
// stopped: each rain sensor's totals and its day's and hour's sums, and every sensor's last
// reading and usual period (SeedFromArchive). An archive that is not there yet has nothing to
// go on from, and one of an older format is left to the archive's own thread to bring up to
// date (minutes, on a large one), not waited for here: the program then starts afresh, as
// without an archive.
// Gives the key of the archive's newest reading: the live feed's last commit at the start.
int64_t SeedFrom(const std::string& path, int busyTimeoutMs, WeatherDerivation& derivation,
                 SensorTracker& tracker) {
    Archive archive;
    int64_t newest = 0;
    if (archive.Open(path, Archive::Access::Read, busyTimeoutMs).Ok()) {
        SeedFromArchive(archive, derivation, tracker);
        if (!NewestKey(archive, newest).Ok()) {
            newest = 0;
        }
    }
    return newest;
}

}  // namespace

struct Outputs::Mqtt {
    Mqtt(const MqttSettings& settings, const SensorNames& names, const SensorTracker& tracker,
         const WeatherSettings& weather, const OutputPlatform& platform)
        : sink(settings, names, outbox, tracker, platform.wallClock, platform.steadyClock, weather),
          connection(platform.makeMqttConnection(settings, outbox)) {}

    MqttOutbox outbox;
    MqttSink sink;
    std::unique_ptr<MqttConnection> connection;
};

Outputs::Outputs(const SettingsStore& profile, OutputPlatform platform,
                 const OutputOptions& options)
    : m_platform(std::move(platform)), m_names(SensorNames::Read(profile)) {
    const auto problem = [this, &options](std::string caption, std::string text,
                                          std::string withoutIt) {
        m_problems.push_back({std::move(caption), std::move(text), std::move(withoutIt)});
        return options.stopAtProblem;
    };
    const WeatherSettingsResult weather = ReadWeatherSettings(profile);
    if (!weather.errors.empty()) {
        std::string text;
        for (const std::string& error : weather.errors) {
            text += (text.empty() ? "" : " ") + error;
        }
        if (problem("Tavrolin", std::move(text), "Diese Einträge bleiben unbeachtet.")) {
            return;
        }
    }
    m_weatherSettings = weather.settings;
    m_weather = std::make_unique<WeatherDerivation>(weather.settings);
    constexpr const char* kNoMqtt = "Es wird nichts veröffentlicht.";
    // The settings first: a logger whose settings are wrong starts nothing.
    const MqttSettingsResult mqtt =
        ReadMqttSettings(profile, m_platform.files, m_platform.hostName, options.mqttHost);
    if (!mqtt.error.empty() && problem("MQTT", mqtt.error, kNoMqtt)) {
        return;
    }
    const ArchiveSettings archive = ArchiveSettings::Read(profile);
    int64_t committedKey = 0;
    if (archive.active) {
        if (!archive.error.empty() &&
            problem("Tavrolin", archive.error,
                    "Das Archiv wird alle " +
                        std::to_string(ArchiveSettings::kDefaultCommitSeconds) +
                        " Sekunden geschrieben.")) {
            return;
        }
        m_archivePath = !options.archivePath.empty() ? options.archivePath
                        : !archive.file.empty()      ? archive.file
                                                     : m_platform.defaultArchivePath();
        // Before the archive's thread opens it: that one may take it to a new format.
        committedKey =
            SeedFrom(m_archivePath, options.archive.busyTimeoutMs, *m_weather, m_tracker);
        ArchiveWriterOptions writing = options.archive;
        writing.commitIntervalMs = int64_t{archive.commitSeconds} * 1000;
        m_archive = std::make_unique<ArchiveSink>(m_archivePath, writing);
    }
    m_live = std::make_unique<LiveReadings>(m_archive.get(), committedKey, m_platform.steadyClock);
    if (m_platform.makeFeedPort) {
        const std::string path = archive.LiveOr(m_platform.defaultLivePath());
        std::string error;
        m_feedPort = m_platform.makeFeedPort(path, error);
        if (m_feedPort) {
            m_livePath = path;
            m_live->Offer(*m_feedPort, ShownFilePath(path));
        } else {
            // Said with the first poll's notices; the program runs on without a feed.
            m_live->Refused(std::move(error));
        }
    }
    if (options.overdueNotices) {
        m_overdue = std::make_unique<OverdueNotices>(m_names, m_tracker, m_platform.wallClock,
                                                     m_platform.zone, m_platform.steadyClock);
    }
    if (mqtt.settings) {
        m_mqtt = std::make_unique<Mqtt>(*mqtt.settings, m_names, m_tracker, weather.settings,
                                        m_platform);
        if (std::string error; !m_mqtt->connection->Start(error)) {
            m_mqtt.reset();
            problem("MQTT", std::move(error), kNoMqtt);
        } else {
            m_broker = mqtt.settings->Address() + ", Thema " + mqtt.settings->topic + "/" +
                       mqtt.settings->receiver;
        }
    }
}

Outputs::~Outputs() {
    if (!m_finished) {
        if (m_mqtt) {
            m_mqtt->connection->Stop(kMqttDrain);
        }
        if (m_archive) {
            m_archive->Finish();
        }
        if (m_live) {
            m_live->Close();
        }
    }
}

OutputSinks Outputs::Sinks() {
    return {m_weather.get(), &m_tracker,   m_mqtt ? &m_mqtt->sink : nullptr,
            m_archive.get(), m_live.get(), m_overdue.get()};
}

void Outputs::Finish(MessageSink& messages) {
    if (m_finished) {
        return;
    }
    m_finished = true;
    if (m_archive) {
        m_archive->Finish();
        while (const std::optional<SinkNotice> notice = m_archive->TakeNotice()) {
            messages.ShowMessage(notice->caption, notice->text, notice->icon);
        }
    }
    if (m_live) {
        m_live->Close();
    }
    if (m_mqtt) {
        if (const std::size_t unsent = m_mqtt->connection->Stop(kMqttDrain); unsent > 0) {
            messages.ShowMessage("MQTT",
                                 std::to_string(unsent) +
                                     " Nachrichten konnten dem Broker nicht mehr übergeben werden.",
                                 MessageIcon::Exclamation);
        }
    }
}

}  // namespace tavrolin
