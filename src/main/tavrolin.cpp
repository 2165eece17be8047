// SPDX-License-Identifier: GPL-3.0-or-later
// tavrolin: the receiver window. The profile is named after the executable,
// $XDG_CONFIG_HOME/tavrolin.INI for the installed program; its section "Ports" may name the
// device of each COM port (see the README).
#include <QApplication>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/ReceiverApp.h"
#include "settings/SensorNames.h"
#include "settings/SettingsStore.h"
#include "app/WindowOptions.h"
#include "settings/ArchiveSettings.h"
#include "archive/ArchiveSink.h"
#include "base/Version.h"
#include "history/History.h"
#include "settings/MqttSettings.h"
#include "mux/MultiplexerDialog.h"
#include "platform/mqtt/MqttPublishing.h"
#include "platform/posix/PortNames.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/PosixSerialLine.h"
#include "platform/posix/ProfileLocation.h"
#include "platform/posix/SystemClocks.h"
#include "platform/qt/GermanTranslations.h"
#include "platform/qt/HistoryWindows.h"
#include "platform/qt/ProgramIcon.h"
#include "platform/qt/QtFileChooser.h"
#include "platform/qt/QtHelpViewer.h"
#include "platform/qt/QtMessageSink.h"
#include "platform/qt/QtWindowRunner.h"
#include "serial/ReceiverPort.h"

using namespace tavrolin;

int main(int argc, char* argv[]) {
    // Answered before Qt starts, so that they need no display.
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    switch (WindowRequestOf(args)) {
        case WindowRequest::Help:
            std::fputs(WindowUsage().c_str(), stdout);
            return 0;
        case WindowRequest::Version:
            std::fputs(VersionText("tavrolin").c_str(), stdout);
            return 0;
        case WindowRequest::Run:
            break;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tavrolin"));
    QApplication::setWindowIcon(ProgramIcon());
    if (!UseGermanQtTexts(application)) {
        std::fputs(
            "tavrolin: Qts deutsche Übersetzungen (qtbase_de.qm, Paket "
            "qt6-translations-l10n) fehlen; Dateiauswahl und Standardknöpfe bleiben "
            "englisch.\n",
            stderr);
    }

    PosixFileSystem files;
    SystemLocalClock localClock;
    SystemCoarseClock coarseClock;
    SettingsStore settings(files,
                           ProfilePath(QCoreApplication::applicationFilePath().toStdString()));
    PosixSerialLine line(ProfilePortResolver(settings));
    QtMessageSink messages;
    QtFileChooser fileChooser;
    QtHelpViewer help;
    AppEnvironment environment{settings, files, messages, fileChooser, help, coarseClock};
    // The readings besides the list and the protocol file.
    SinkFanOut readings;
    environment.readings = &readings;

    // The archive keeps what the list shows: the window tells it the recording mask.
    std::unique_ptr<ArchiveSink> archive;
    std::string archivePath;
    if (const ArchiveSettings archiveSettings = ArchiveSettings::Read(settings);
        archiveSettings.active) {
        archivePath = archiveSettings.PathOr(DefaultArchivePath(true));
        archive = std::make_unique<ArchiveSink>(archivePath);
        readings.Add(*archive);
    }
    // The sensor overview and the charts of the context menu read the same archive.
    const SensorNames names = SensorNames::Read(settings);
    History history(names, archivePath, localClock);
    readings.Add(history.Sink());
    HistoryWindows historyWindows(history);
    // So does MQTT: neighbours' sensors stay out of Home Assistant.
    std::unique_ptr<MqttPublishing> mqtt;
    const MqttSettingsResult mqttSettings = ReadMqttSettings(settings, files, LocalHostName(), {});
    std::string mqttError = mqttSettings.error;
    if (mqttSettings.settings) {
        mqtt = std::make_unique<MqttPublishing>(*mqttSettings.settings, names, localClock,
                                                coarseClock);
        if (mqtt->Start(mqttError)) {
            readings.Add(mqtt->Sink());
        } else {
            mqtt.reset();
        }
    }
    if (!mqttError.empty()) {
        // The window runs all the same, without publishing.
        messages.ShowMessage("MQTT", mqttError + " Es wird nichts veröffentlicht.",
                             MessageIcon::Exclamation);
    }
    environment.recordingMaskChanged = [&archive, &mqtt](RecordingMask mask) {
        if (archive) {
            archive->SetMask(mask);
        }
        if (mqtt) {
            mqtt->Sink().SetMask(mask);
        }
    };

    // The program's three long-lived objects, made in this order and ended in reverse: the
    // port is closed (without stop command) only after the window has gone.
    MultiplexerLine multiplexerLine(coarseClock);
    MultiplexerDialog multiplexer(multiplexerLine);
    ReceiverPort receiverPort(line, multiplexerLine, messages, localClock);
    ReceiverApp app(receiverPort, multiplexer, environment);

    QtWindowRunner runner(&messages, &fileChooser);
    historyWindows.AddMenuItems(runner);
    const int status = app.StartApplication(runner);
    if (mqtt) {
        mqtt->Stop();
    }
    return status;
}
