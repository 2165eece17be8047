// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/LiveFeed.h"
#include "archive/ArchiveSink.h"
#include "base/Clock.h"
#include "base/FileSystem.h"
#include "base/MessageSink.h"
#include "decode/SensorTracker.h"
#include "history/OverdueNotices.h"
#include "mqtt/MqttConnection.h"
#include "mqtt/MqttOutbox.h"
#include "mqtt/MqttSink.h"
#include "settings/SensorNames.h"
#include "settings/SettingsStore.h"
#include "weather/WeatherDerivation.h"

namespace tavrolin {

// What the outputs need of the system they run on.
struct OutputPlatform {
    FileSystem& files;  // for MQTT's password and CA files
    WallClock& wallClock;
    const TimeZone& zone;
    CoarseClock& steadyClock;
    std::string hostName;  // MQTT's receiver name where the profile gives none
    // Where the archive is when [Archiv] names no file (asked only when one is kept).
    std::function<std::string()> defaultArchivePath;
    MqttConnectionFactory makeMqttConnection;
    // The live feed's socket at a path, listening; none (with a German reason) where it
    // cannot be offered. Without the factory there is no feed.
    std::function<std::unique_ptr<FeedPort>(const std::string& path, std::string& error)>
        makeFeedPort;
    // Where the feed is when [Archiv] names no socket (Live=).
    std::function<std::string()> defaultLivePath;
};

// What the program's command line says instead of the profile.
struct OutputOptions {
    std::string archivePath;      // the logger's --archive
    std::string mqttHost;         // the logger's --mqtt HOST[:PORT]
    bool overdueNotices = false;  // say when a recorded sensor falls silent (the logger)
    // The logger ends at the first output that cannot be built: nothing after it is built.
    // The window goes on without it.
    bool stopAtProblem = false;
    // How the archive waits for another program's lock and tries again after a failure.
    ArchiveWriterOptions archive = {};
};

// An output that could not be built, in German: the program goes on without it (the
// window, after saying so) or ends (the logger).
struct OutputProblem {
    std::string caption;    // "MQTT"
    std::string text;       // what is wrong
    std::string withoutIt;  // what the program does without it: "Es wird nichts veröffentlicht."
};

// The outputs' sinks, each null where it is not built, for Reception to wire.
struct OutputSinks {
    ReadingDerivation* derivation = nullptr;  // the weather values of every reading
    ReadingSink* tracker = nullptr;           // every sensor
    JsonSink* mqtt = nullptr;                 // the recorded sensors, from here on
    ReadingSink* archive = nullptr;
    ReadingSink* live = nullptr;
    ReadingSink* overdue = nullptr;
};

// The outputs beside the list, the protocol file and stdout, built from the profile in one
// place for both programs: the weather values derived from every reading ([Regen],
// [Station]), the tracker of every sensor's period and silence (which MQTT, the overview and
// the notices read) — both started from what the archive knows —, the archive ([Archiv]),
// the readings it has not committed yet and the live feed that serves them ([Archiv] Live),
// MQTT ([MQTT], with the names of [Sensornamen]) and, for the logger, the notices of sensors
// that fall silent.
class Outputs {
public:
    Outputs(const SettingsStore& profile, OutputPlatform platform, const OutputOptions& options);
    // Finishes quietly when Finish was not called.
    ~Outputs();
    Outputs(const Outputs&) = delete;
    Outputs& operator=(const Outputs&) = delete;

    // What could not be built; the rest works without it.
    const std::vector<OutputProblem>& Problems() const { return m_problems; }

    // What takes the readings: the tracker every sensor's, the archive, the live feed, MQTT
    // and the notices those the user records, all with their weather values derived.
    OutputSinks Sinks();

    SensorTracker& Tracker() { return m_tracker; }
    const SensorNames& Names() const { return m_names; }
    // [Regen] and [Station] as far as they could be used.
    const WeatherSettings& Weather() const { return m_weatherSettings; }
    // The archive the program writes; empty when it keeps none.
    const std::string& ArchivePath() const { return m_archivePath; }

    // The readings not yet committed, which the live feed serves and the window's charts
    // add to the archive's.
    const LiveReadings& Live() const { return *m_live; }
    // The live feed's socket; empty when none is offered.
    const std::string& LivePath() const { return m_livePath; }
    // The broker the readings are published to ("broker.local:1883, Thema tavrolin/dach");
    // empty without MQTT.
    const std::string& Broker() const { return m_broker; }

    // Ends what runs beside the tick: the archive writes what waits, MQTT sends what is
    // queued while the broker takes it (for a while). What is lost is said.
    void Finish(MessageSink& messages);

private:
    struct Mqtt;

    OutputPlatform m_platform;
    SensorNames m_names;
    WeatherSettings m_weatherSettings;
    std::unique_ptr<WeatherDerivation> m_weather;
    SensorTracker m_tracker;
    std::string m_archivePath;
    std::unique_ptr<ArchiveSink> m_archive;
    std::unique_ptr<FeedPort> m_feedPort;
    std::unique_ptr<LiveReadings> m_live;  // ended before its port
    std::string m_livePath;
    std::string m_broker;
    std::unique_ptr<OverdueNotices> m_overdue;
    std::unique_ptr<Mqtt> m_mqtt;
    std::vector<OutputProblem> m_problems;
    bool m_finished = false;
};

}  // namespace tavrolin
