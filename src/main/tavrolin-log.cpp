// SPDX-License-Identifier: GPL-3.0-or-later
// tavrolin-log: the receiver, the decoder and the protocol file without a window. The run
// itself is HeadlessLogger's; this file wires it to the system: the profile, the port, the
// 50 ms timer, stdout and the signals.

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "app/HeadlessLogger.h"
#include "app/LoggerOptions.h"
#include "app/Outputs.h"
#include "app/StreamMessageSink.h"
#include "base/Version.h"
#include "base/Win1252.h"
#include "mux/MultiplexerLine.h"
#include "platform/mqtt/MosquittoConnection.h"
#include "platform/posix/NonBlockingWriter.h"
#include "platform/posix/PortAdvice.h"
#include "platform/posix/PortNames.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/PosixSerialLine.h"
#include "platform/posix/ProfileLocation.h"
#include "platform/posix/SignalPipe.h"
#include "platform/posix/SystemClocks.h"
#include "platform/posix/SystemdNotifier.h"
#include "platform/posix/TickLoop.h"
#include "platform/posix/UnixFeedPort.h"
#include "serial/ReceiverPort.h"
#include "settings/ArchiveSettings.h"
#include "settings/SettingsStore.h"
#include "settings/StationSensors.h"

using namespace tavrolin;

namespace {

constexpr std::chrono::milliseconds kTickPeriod{HeadlessLogger::kTickMs};

// What the logger does, said once at its start on stderr (the journal, for the service),
// each line under the caption "Start" like the session's other messages under theirs: a
// logger that says nothing while no receiver answers looks the same as one that works.
void SayAtStart(const std::string& text) {
    std::fprintf(stderr, "Start: %s\n", text.c_str());
}

std::string ProfileText(const SettingsStore& settings, const std::string& profile) {
    return settings.ReadError() == FileError::NotFound
               ? "Profil " + ShownFilePath(profile) + " gibt es nicht; es gelten die Vorgaben."
               : "Profil " + ShownFilePath(profile) + ".";
}

// Where the device's name came from: the command line, the profile's [Ports] or the default.
std::string PortOrigin(const LoggerOptions& options, const SettingsStore& settings, int comIndex) {
    if (!options.portPath.empty()) {
        return "mit --port genannt";
    }
    const std::string com = "COM" + std::to_string(comIndex + 1);
    if (!settings.ReadString(kPortsSection, com, "").empty()) {
        return com + " aus [Ports] im Profil";
    }
    return com + ", COM=" + std::to_string(comIndex) +
           " in [SYSTEM]; [Ports] nennt dafür kein Gerät, also die Vorgabe";
}

std::string StartAnswerText(LinkResult answer) {
    if (answer == LinkResult::Acknowledged) {
        return "Der Empfänger hat den Startbefehl bestätigt.";
    }
    const char* how = answer == LinkResult::NoAnswer   ? "keine Antwort"
                      : answer == LinkResult::Answered ? "eine Antwort ohne Bestätigung"
                                                       : "keine gültige Antwort";
    return std::string("Der Empfänger hat den Startbefehl nicht bestätigt (") + how +
           ", auch beim zweiten Mal). tavrolin-log hört trotzdem weiter zu. Meist heißt das: "
           "an dieser Schnittstelle hängt kein Empfänger, er hat keinen Strom, es ist die "
           "falsche Schnittstelle, oder der Multiplexer davor ist anders eingestellt.";
}

void SayWhereItWrites(const SystemSettings& system, const LoggerOptions& options,
                      const SettingsStore& settings, const HeadlessLogger& logger,
                      const Outputs& outputs) {
    if (logger.FileOpen()) {
        SayAtStart("Protokolldatei " + ShownFilePath(system.protocolFileName) + ".");
    }
    SayAtStart(std::string("Empfangsdaten auf der Standardausgabe, ") +
               (options.json ? "als JSON Lines." : "als Text."));
    if (outputs.ArchivePath().empty()) {
        SayAtStart("Kein Archiv ([Archiv] Aktiv=0).");
    } else {
        SayAtStart("Archiv " + ShownFilePath(outputs.ArchivePath()) + ", geschrieben alle " +
                   std::to_string(ArchiveSettings::Read(settings).commitSeconds) +
                   " s ([Archiv] Schreibintervall).");
    }
    if (!outputs.LivePath().empty()) {
        SayAtStart("Live-Daten für tavrolin-web und tavrolin-upload auf " + outputs.LivePath() +
                   ".");
    }
    if (!outputs.Broker().empty()) {
        SayAtStart("MQTT-Broker " + outputs.Broker() + ".");
    }
}

}  // namespace

int main(int argc, char** argv) {
    KeepStandardDescriptors();
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const ParsedLoggerOptions parsed = ParseLoggerOptions(args);
    if (!parsed.options) {
        std::fprintf(stderr, "tavrolin-log: %s\n", parsed.error.c_str());
        return 2;
    }
    const LoggerOptions& options = *parsed.options;
    if (options.help) {
        std::fputs(LoggerUsage().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::fputs(VersionText("tavrolin-log").c_str(), stdout);
        return 0;
    }

    PosixFileSystem files;
    const std::string profile =
        options.profilePath.empty() ? ProfilePath("tavrolin") : options.profilePath;
    const SettingsStore settings(files, profile);
    if (const auto problem = ProfileProblem(settings, !options.profilePath.empty())) {
        std::fprintf(stderr, "tavrolin-log: %s\n", problem->c_str());
        return 2;
    }
    SayAtStart(ProfileText(settings, profile));
    SystemSettings loggerSettings = SystemSettings::Read(settings);
    const int comIndex = loggerSettings.comPort;
    PosixSerialLine::PortPathResolver resolver = ProfilePortResolver(settings);
    if (!options.portPath.empty()) {
        // The device serves whatever port is opened; one outside 1..4 in the profile must not
        // stop the logger from opening it.
        loggerSettings.comPort = 0;
        resolver = FixedPortResolver(options.portPath);
    }
    // A reader of stdout that goes away must not end the logging.
    ::signal(SIGPIPE, SIG_IGN);
    SignalPipe signals;
    if (!signals.Install({SIGINT, SIGTERM})) {
        std::fprintf(stderr, "tavrolin-log: Die Signale lassen sich nicht abfangen: %s\n",
                     std::strerror(errno));
        return 1;
    }

    // The process-wide objects in the window program's order.
    SystemCoarseClock coarseClock;
    MultiplexerLine multiplexer(coarseClock);
    PosixSerialLine device(resolver);
    StreamMessageSink messages(stderr);
    SystemWallClock wallClock;
    SystemTimeZone zone;
    ReceiverPort port(device, multiplexer, messages, wallClock, zone);

    // The archive, MQTT and the notices of silent sensors; they outlive the logger that feeds
    // them.
    Outputs outputs(settings,
                    {files, wallClock, zone, coarseClock, LocalHostName(),
                     [] { return DefaultArchivePath(true); }, MosquittoConnections(),
                     ListenForFeedReaders, DefaultLivePath},
                    {.archivePath = options.archivePath,
                     .mqttHost = options.mqttHost,
                     .overdueNotices = true,
                     .stopAtProblem = true});
    for (const OutputProblem& problem : outputs.Problems()) {
        std::fprintf(stderr, "%s: %s\n", problem.caption.c_str(), problem.text.c_str());
    }
    if (!outputs.Problems().empty()) {
        outputs.Finish(messages);
        return 2;
    }
    // The station's main sensors, which the reports take: a bad entry is said, and the
    // default serves.
    for (const std::string& error : ReadStationSensors(settings).errors) {
        std::fprintf(stderr, "Tavrolin: %s\n", error.c_str());
    }

    NonBlockingWriter out(STDOUT_FILENO);
    HeadlessLogger logger(
        port, multiplexer, files, messages, coarseClock,
        [&out](std::string_view lines) { out.WriteLines(lines); },
        options.json ? HeadlessLogger::Format::Json : HeadlessLogger::Format::Text, &outputs);
    SystemdNotifier notifier;
    if (notifier.Active()) {
        logger.ReportTo({notifier, wallClock, zone, [&device] { return device.DevicePath(); }});
    }
    if (!logger.Start(loggerSettings, options)) {
        // The port layer has said it in the window's words; which device it tried, why it
        // did not open and what there is instead is what the one who set up the logger
        // needs next.
        if (!device.DevicePath().empty()) {
            const PortFacts facts =
                LookUpPort(device.DevicePath(), device.LastOpenReason(), device.LastOpenErrno());
            for (const std::string& line :
                 PortOpenAdvice(device.DevicePath(), device.LastOpenReason(), facts)) {
                std::fprintf(stderr, "tavrolin-log: %s\n", line.c_str());
            }
        }
        logger.Stop();
        outputs.Finish(messages);
        return 1;
    }
    SayAtStart("Schnittstelle " + device.DevicePath() + " geöffnet (" +
               PortOrigin(options, settings, comIndex) + ").");
    SayAtStart(StartAnswerText(logger.StartAnswer()));
    SayWhereItWrites(loggerSettings, options, settings, logger, outputs);
    const TickLoopEnd end = RunTicks(
        kTickPeriod, signals.Fd(), [&logger] { return logger.OnTick(); },
        [&logger] { return std::chrono::milliseconds(logger.NextTickMs()); });
    const int error = errno;
    if (end == TickLoopEnd::Stopped) {
        // What came since the last tick is logged too, before the file is closed.
        logger.OnTick();
    }
    logger.Stop();
    outputs.Finish(messages);
    if (end == TickLoopEnd::Failed) {
        std::fprintf(stderr, "tavrolin-log: Der 50-ms-Takt ist ausgefallen: %s\n",
                     std::strerror(error));
    }
    return end == TickLoopEnd::Stopped ? 0 : 1;
}
