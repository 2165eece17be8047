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
#include "settings/SettingsStore.h"
#include "settings/StationSensors.h"

using namespace tavrolin;

namespace {

constexpr std::chrono::milliseconds kTickPeriod{HeadlessLogger::kTickMs};

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
    SystemSettings loggerSettings = SystemSettings::Read(settings);
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
        // The port layer has said why, in the window's words; which device it tried is what
        // the one who set up the logger needs next.
        if (!device.DevicePath().empty()) {
            std::fprintf(stderr, "tavrolin-log: Gerät %s\n", device.DevicePath().c_str());
        }
        logger.Stop();
        outputs.Finish(messages);
        return 1;
    }
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
