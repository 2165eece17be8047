// SPDX-License-Identifier: GPL-3.0-or-later
// tavrolin-log: the receiver, the decoder and the protocol file without a window. The run
// itself is HeadlessLogger's; this file wires it to the system: the profile, the port, the
// 50 ms timer, stdout and the signals.

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/HeadlessLogger.h"
#include "app/LoggerOptions.h"
#include "settings/SensorNames.h"
#include "settings/SettingsStore.h"
#include "app/StreamMessageSink.h"
#include "settings/ArchiveSettings.h"
#include "archive/ArchiveSink.h"
#include "base/Version.h"
#include "base/Win1252.h"
#include "history/OverdueNotices.h"
#include "settings/MqttSettings.h"
#include "mux/MultiplexerLine.h"
#include "platform/mqtt/MqttPublishing.h"
#include "platform/posix/LineWriter.h"
#include "platform/posix/PortNames.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/PosixSerialLine.h"
#include "platform/posix/ProfileLocation.h"
#include "platform/posix/SignalPipe.h"
#include "platform/posix/SystemClocks.h"
#include "platform/posix/SystemdNotifier.h"
#include "platform/posix/TickLoop.h"
#include "serial/ReceiverPort.h"

using namespace tavrolin;

namespace {

constexpr std::chrono::milliseconds kTickPeriod{HeadlessLogger::kTickMs};

// A service started without stdin, stdout or stderr would hand their numbers to the port or
// the protocol file, and the records printed for stdout would land in them.
void KeepStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
            ::open("/dev/null", O_RDWR);  // takes the lowest free number: this one
        }
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
    // Running on the defaults instead of a profile that is there would open COM1, which may
    // be the console, and send it command frames.
    const FileError profileError = settings.ReadError();
    if (profileError == FileError::NotFound && !options.profilePath.empty()) {
        std::fprintf(stderr, "tavrolin-log: Das Profil %s gibt es nicht.\n",
                     FileNameToUtf8(profile).c_str());
        return 2;
    }
    if (ProfileUnreadable(profileError)) {
        std::fprintf(stderr, "tavrolin-log: %s\n",
                     UnreadableProfileText(profile, profileError).c_str());
        return 2;
    }
    SystemSettings loggerSettings = SystemSettings::Read(settings);
    PosixSerialLine::PortPathResolver resolver = ProfilePortResolver(settings);
    if (!options.portPath.empty()) {
        loggerSettings.comPort = 0;
        resolver = FixedPortResolver(options.portPath);
    }
    const MqttSettingsResult mqttSettings =
        ReadMqttSettings(settings, files, LocalHostName(), options.mqttHost);
    if (!mqttSettings.error.empty()) {
        std::fprintf(stderr, "MQTT: %s\n", mqttSettings.error.c_str());
        return 2;
    }

    // A reader of stdout that goes away must not end the logging.
    ::signal(SIGPIPE, SIG_IGN);
    SignalPipe signals;
    if (!signals.Install({SIGINT, SIGTERM})) {
        std::fprintf(stderr, "tavrolin-log: cannot set up signal handling: %s\n",
                     std::strerror(errno));
        return 1;
    }

    // The process-wide objects in the window program's order.
    SystemCoarseClock coarseClock;
    MultiplexerLine multiplexer(coarseClock);
    PosixSerialLine device(resolver);
    StreamMessageSink messages(stderr);
    SystemLocalClock localClock;
    ReceiverPort port(device, multiplexer, messages, localClock);

    // The archive, when the profile keeps one; it outlives the logger that feeds it.
    std::unique_ptr<ArchiveSink> archive;
    const ArchiveSettings archiveSettings = ArchiveSettings::Read(settings);
    if (archiveSettings.active) {
        const std::string path = !options.archivePath.empty()
                                     ? options.archivePath
                                     : archiveSettings.PathOr(DefaultArchivePath(true));
        archive = std::make_unique<ArchiveSink>(
            path, static_cast<RecordingMask>(loggerSettings.recordingMask));
    }
    const auto finishArchive = [&archive, &messages] {
        if (archive) {
            archive->Finish();
            while (const std::optional<SinkNotice> notice = archive->TakeNotice()) {
                messages.ShowMessage(notice->caption, notice->text, notice->icon);
            }
        }
    };

    LineWriter out(STDOUT_FILENO);
    const auto print = [&out](std::string_view lines) { out.WriteLines(lines); };
    HeadlessLogger logger(port, multiplexer, files, messages, coarseClock, print);
    // The sinks of this program's own keep to the recording mask as the logger's do.
    const auto mask = static_cast<RecordingMask>(loggerSettings.recordingMask);
    if (archive) {
        logger.Sinks().Add(*archive);
    }
    // A recorded sensor that falls silent, and its return, are said on stderr.
    const SensorNames names = SensorNames::Read(settings);
    OverdueNotices overdue(names, localClock, coarseClock);
    overdue.SetMask(mask);
    logger.Sinks().Add(overdue);
    std::unique_ptr<MqttPublishing> mqtt;
    if (mqttSettings.settings) {
        mqtt = std::make_unique<MqttPublishing>(*mqttSettings.settings, names, localClock,
                                                coarseClock);
        std::string error;
        if (!mqtt->Start(error)) {
            std::fprintf(stderr, "MQTT: %s\n", error.c_str());
            finishArchive();
            return 2;
        }
        mqtt->Sink().SetMask(mask);
        logger.Sinks().Add(mqtt->Sink());
    }
    SystemdNotifier notifier;
    if (notifier.Active()) {
        logger.ReportTo({notifier, localClock, [&device] { return device.DevicePath(); }});
    }
    if (!logger.Start(loggerSettings, options)) {
        // The port layer has said why, in the window's words; which device it tried is what
        // the one who set up the logger needs next.
        if (!device.DevicePath().empty()) {
            std::fprintf(stderr, "tavrolin-log: Gerät %s\n", device.DevicePath().c_str());
        }
        logger.Stop();
        finishArchive();
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
    finishArchive();
    if (mqtt) {
        if (const std::size_t unsent = mqtt->Stop(); unsent > 0) {
            std::fprintf(stderr,
                         "MQTT: %zu Nachrichten konnten dem Broker nicht mehr übergeben werden.\n",
                         unsent);
        }
    }
    if (end == TickLoopEnd::Failed) {
        std::fprintf(stderr, "tavrolin-log: the 50 ms timer failed: %s\n", std::strerror(error));
    }
    return end == TickLoopEnd::Stopped ? 0 : 1;
}
