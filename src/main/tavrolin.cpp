// SPDX-License-Identifier: GPL-3.0-or-later
// tavrolin: the receiver window. The profile is named after the executable,
// $XDG_CONFIG_HOME/tavrolin.INI for the installed program; its section "Ports" may name the
// device of each COM port (see the README).
#include <signal.h>

#include <QApplication>
#include <QSocketNotifier>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/Outputs.h"
#include "app/ReceiverApp.h"
#include "app/WindowOptions.h"
#include "base/Version.h"
#include "history/History.h"
#include "mux/MultiplexerDialog.h"
#include "platform/mqtt/MosquittoConnection.h"
#include "platform/posix/PortNames.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/PosixSerialLine.h"
#include "platform/posix/ProfileLocation.h"
#include "platform/posix/SignalPipe.h"
#include "platform/posix/SystemClocks.h"
#include "platform/posix/UnixFeedPort.h"
#include "platform/qt/GermanTranslations.h"
#include "platform/qt/HistoryWindows.h"
#include "platform/qt/ProgramIcon.h"
#include "platform/qt/QtFileChooser.h"
#include "platform/qt/QtHelpViewer.h"
#include "platform/qt/QtMessageSink.h"
#include "platform/qt/QtWindowRunner.h"
#include "serial/ReceiverPort.h"
#include "settings/SettingsStore.h"

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
    SystemWallClock wallClock;
    SystemTimeZone zone;
    SystemCoarseClock coarseClock;
    SettingsStore settings(files,
                           ProfilePath(QCoreApplication::applicationFilePath().toStdString()));
    PosixSerialLine line(ProfilePortResolver(settings));
    QtMessageSink messages;
    QtFileChooser fileChooser;
    QtHelpViewer help;
    AppEnvironment environment{settings, files, messages, fileChooser, help, coarseClock};
    // The archive and MQTT, beside the list and the protocol file; the window runs all the
    // same without what cannot be built.
    Outputs outputs(settings,
                    {files, wallClock, zone, coarseClock, LocalHostName(),
                     [] { return DefaultArchivePath(true); }, MosquittoConnections(),
                     ListenForFeedReaders, DefaultLivePath},
                    {});
    for (const OutputProblem& problem : outputs.Problems()) {
        messages.ShowMessage(problem.caption, problem.text + " " + problem.withoutIt,
                             MessageIcon::Exclamation);
    }
    environment.outputs = &outputs;
    // The sensor overview and the charts of the context menu read the same archive.
    // Its charts add what the archive has not committed yet from the one place it waits.
    History history(outputs.Names(), outputs.Tracker(), outputs.ArchivePath(), wallClock, zone,
                    outputs.Weather(), [&outputs](const auto& each) {
                        outputs.Live().ForEachUncommitted(
                            [&each](const KeyedReading& keyed) { each(keyed.reading); });
                    });
    // [Station]'s main sensors, for "Heute"; a bad entry is said, and the default serves.
    const StationSensorsResult station = ReadStationSensors(settings);
    if (!station.errors.empty()) {
        std::string text;
        for (const std::string& error : station.errors) {
            text += (text.empty() ? "" : " ") + error;
        }
        messages.ShowMessage("Tavrolin", text, MessageIcon::Exclamation);
    }
    history.SetStation(station.sensors);
    environment.overview = &history.Sink();
    HistoryWindows historyWindows(history);

    // The program's three long-lived objects, made in this order and ended in reverse: the
    // port is closed (without stop command) only after the window has gone.
    MultiplexerLine multiplexerLine(coarseClock);
    MultiplexerDialog multiplexer(multiplexerLine);
    ReceiverPort receiverPort(line, multiplexerLine, messages, wallClock, zone);
    ReceiverApp app(receiverPort, multiplexer, environment);

    // A logout or a shutdown (SIGTERM, SIGHUP) or Ctrl+C ends the window as its close box
    // does: the stop command, the protocol file closed, and what waits for the archive
    // written, as the logger does, instead of the readings of the commit interval lost.
    SignalPipe endSignals;
    std::unique_ptr<QSocketNotifier> ending;
    if (endSignals.Install({SIGTERM, SIGHUP, SIGINT})) {
        ending = std::make_unique<QSocketNotifier>(endSignals.Fd(), QSocketNotifier::Read);
        QObject::connect(ending.get(), &QSocketNotifier::activated, [&endSignals, &ending] {
            endSignals.Take();
            ending->setEnabled(false);
            QApplication::closeAllWindows();
            QCoreApplication::exit(0);
        });
    }

    QtWindowRunner runner(&messages, &fileChooser);
    historyWindows.AddMenuItems(runner);
    return app.StartApplication(runner);
}
