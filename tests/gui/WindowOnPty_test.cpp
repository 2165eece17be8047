// SPDX-License-Identifier: GPL-3.0-or-later
// The receiver window as the program runs it: the real port on the pseudo-terminal of
// tavrolin-sim, the real message boxes, the real protocol file and archive on disk. What a
// fake port or a recording message sink cannot show (Qt's timers, its modal loops, the
// kernel's tty) shows here.
#include <unistd.h>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "Emulation.h"
#include "TempDir.h"
#include "app/Outputs.h"
#include "app/ReceiverApp.h"
#include "archive/Sqlite.h"
#include "mux/MultiplexerDialog.h"
#include "platform/posix/PortNames.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/PosixSerialLine.h"
#include "platform/posix/SystemClocks.h"
#include "platform/qt/QtFileChooser.h"
#include "platform/qt/QtHelpViewer.h"
#include "platform/qt/QtMessageSink.h"
#include "platform/qt/QtWindowRunner.h"
#include "platform/qt/ReceiverWindow.h"
#include "serial/ReceiverPort.h"
#include "settings/SettingsStore.h"
#include "sim/PseudoTerminal.h"

using namespace tavrolin;
using namespace tavrolin::testing;

namespace {

// The protocol file's lines.
std::vector<std::string> Lines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The message boxes on the screen whose text holds `part`.
QMessageBox* ShownBox(const QString& part) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box != nullptr && box->isVisible() && box->text().contains(part)) {
            return box;
        }
    }
    return nullptr;
}

// The receiver's end of a pseudo-terminal, played on a thread of its own: it acknowledges
// the first `answered` command frames, then keeps silent, and notes when each frame came.
class SilentReceiver {
public:
    using Frame = std::pair<TestClock::time_point, std::vector<uint8_t>>;

    explicit SilentReceiver(int answered) : m_answered(answered) {
        std::string error;
        m_open = m_line.Open(error);
        if (m_open) {
            m_thread = std::thread([this] { Run(); });
        }
    }
    ~SilentReceiver() {
        m_stop = true;
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }
    bool Open() const { return m_open; }
    std::string Path() const { return m_line.SlavePath(); }
    std::vector<Frame> Frames() const {
        const std::lock_guard lock(m_mutex);
        return m_frames;
    }

private:
    void Run() {
        std::vector<uint8_t> frame;
        while (!m_stop) {
            if (!WaitReadable(m_line.MasterFd(), In(std::chrono::milliseconds(20)))) {
                continue;
            }
            uint8_t bytes[64];
            const ssize_t n = ::read(m_line.MasterFd(), bytes, sizeof bytes);
            const auto now = TestClock::now();
            for (ssize_t i = 0; i < n; ++i) {
                frame.push_back(bytes[i]);
                if (bytes[i] != 0x04) {  // EOT ends a command frame
                    continue;
                }
                const std::lock_guard lock(m_mutex);
                m_frames.emplace_back(now, std::exchange(frame, {}));
                if (static_cast<int>(m_frames.size()) <= m_answered) {
                    const uint8_t ack[] = {0x02, 0x06, 0x03};
                    (void)::write(m_line.MasterFd(), ack, sizeof ack);
                }
            }
        }
    }

    const int m_answered;
    sim::PseudoTerminal m_line;
    bool m_open = false;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::vector<Frame> m_frames;
    std::thread m_thread;
};

// The window program's objects on the line behind `device`, with a profile and its files in
// a folder of their own.
struct Program {
    explicit Program(const std::string& device) {
        std::ofstream(profile) << "[SYSTEM]\r\nFilename=" << protocol
                               << "\r\n[Ports]\r\nCOM1=" << device
                               << "\r\n[Archiv]\r\nDatei=" << archivePath
                               << "\r\nSchreibintervall=1\r\n";
    }

    // The archive of the profile, written by the program's outputs with these options.
    void KeepArchive(ArchiveWriterOptions options) {
        OutputOptions outputOptions;
        outputOptions.archive = options;
        outputs = std::make_unique<Outputs>(
            settings, OutputPlatform{files, wallClock, zone, coarseClock, "test", {}, {}, {}, {}},
            outputOptions);
        env.outputs = outputs.get();
    }

    // Shows the window; script runs inside its modal loop and ends it.
    void Run(std::function<void(ReceiverWindow&)> script) {
        QTimer::singleShot(0, [script] {
            auto* window = dynamic_cast<ReceiverWindow*>(QApplication::activeModalWidget());
            QVERIFY(window != nullptr);
            script(*window);
            if (window->isVisible()) {
                QTest::keyClick(window, Qt::Key_Escape);
            }
        });
        QtWindowRunner runner(&messages, &fileChooser);
        ReceiverApp(receiverPort, multiplexer, env).StartApplication(runner);
    }

    TempDir dir;
    const std::string link = dir.File("receiver");
    const std::string profile = dir.File("tavrolin.INI");
    const std::string protocol = dir.File("protokoll.dat");
    const std::string archivePath = dir.File("archiv.sqlite");
    PosixFileSystem files;
    SystemWallClock wallClock;
    SystemTimeZone zone;
    SystemCoarseClock coarseClock;
    SettingsStore settings{files, profile};
    PosixSerialLine line{ProfilePortResolver(settings)};
    QtMessageSink messages;
    QtFileChooser fileChooser;
    QtHelpViewer help;
    AppEnvironment env{settings, files, messages, fileChooser, help, coarseClock};
    std::unique_ptr<Outputs> outputs;
    MultiplexerLine multiplexerLine{coarseClock};
    MultiplexerDialog multiplexer{multiplexerLine};
    ReceiverPort receiverPort{line, multiplexerLine, messages, wallClock, zone};
};

}  // namespace

class WindowOnPtyTest : public QObject {
    Q_OBJECT
private slots:
    void receptionGoesOnWhileTheArchivesNoticesAreShown();
    void theStopCommandGoesAgainAfterTheFullAnswerTimeOfASilentReceiver();
};

void WindowOnPtyTest::receptionGoesOnWhileTheArchivesNoticesAreShown() {
    // Another program holds the archive while telegrams arrive; the window says so once the
    // lock has lasted, and again when the archive is written again. Neither box may hold
    // up reception: the protocol file grows under them, every reading keeps the time it came,
    // and the archive gets every reading the list showed.
    ArchiveWriterOptions options;
    options.lockedGraceMs = 300;
    options.lockedRetryMs = 100;
    options.retryMs = 200;
    TempDir dir;
    const std::string link = dir.File("receiver");
    ChildProcess sim(TAVROLIN_SIM_PROGRAM, {"--link", link, "--rate", "20"});
    QVERIFY(sim.ReadyLine(In(std::chrono::seconds(5))).starts_with("tavrolin-sim: ready"));
    Program program(link);
    sql::Database other;
    QCOMPARE(other.Open(program.archivePath, true), sql::kOk);
    QCOMPARE(other.Exec("PRAGMA journal_mode=WAL; BEGIN EXCLUSIVE"), sql::kOk);
    program.KeepArchive(options);
    // A modal box would hold up the test's own waits too: note it and let it go.
    bool modalBox = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&modalBox] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            modalBox = true;
            box->accept();
        }
    });
    watch.start(100);

    program.Run([&](ReceiverWindow& window) {
        QMessageBox* locked = nullptr;
        QVERIFY(QTest::qWaitFor([&] { return (locked = ShownBox("nicht beschreiben")); }, 10000));
        const std::size_t before = Lines(program.protocol).size();
        QVERIFY(
            QTest::qWaitFor([&] { return Lines(program.protocol).size() >= before + 20; }, 5000));
        QCOMPARE(other.Exec("COMMIT"), sql::kOk);
        other.Close();
        QMessageBox* again = nullptr;
        QVERIFY(QTest::qWaitFor([&] { return (again = ShownBox("wieder beschrieben")); }, 10000));
        const std::size_t during = Lines(program.protocol).size();
        QVERIFY(
            QTest::qWaitFor([&] { return Lines(program.protocol).size() >= during + 20; }, 5000));
        locked->accept();
        again->accept();
        QTest::keyClick(&window,
                        Qt::Key_Return);  // OK: the settings are saved, the receiver stopped
    });
    program.outputs.reset();  // the archive writes what waits
    QVERIFY(!modalBox);

    const std::vector<std::string> lines = Lines(program.protocol);
    QVERIFY(lines.size() > 40);
    // Twenty telegrams a second: had the polls stopped, the held-up readings would share the
    // tenth of a second they were read in. Under emulation a poll may itself take a tenth of a
    // second, so only the readings' count is looked at there.
    std::multiset<std::string> times;
    for (const std::string& line : lines) {
        times.insert(line.substr(0, 14));
    }
    std::size_t mostInOneTenth = 0;
    for (const std::string& time : times) {
        mostInOneTenth = std::max(mostInOneTenth, times.count(time));
    }
    QVERIFY2(mostInOneTenth <= 5 || UnderEmulation(), std::to_string(mostInOneTenth).c_str());

    sql::Database archive;
    QCOMPARE(archive.Open(program.archivePath, false), sql::kOk);
    sql::Statement count =
        archive.Prepare("SELECT (SELECT count(*) FROM reading) + (SELECT count(*) FROM recent)");
    QCOMPARE(count.Step(), sql::kRow);
    QCOMPARE(count.Int(0), static_cast<int64_t>(lines.size()));
}

void WindowOnPtyTest::theStopCommandGoesAgainAfterTheFullAnswerTimeOfASilentReceiver() {
    // The receiver acknowledges the start command and says nothing after it: no telegram,
    // no answer to the stop command, which therefore goes twice, the second time after the
    // first has waited its 200 ms for an answer.
    SilentReceiver receiver(1);
    QVERIFY(receiver.Open());
    Program program(receiver.Path());
    program.Run([](ReceiverWindow& window) {
        QTest::qWait(300);
        QTest::keyClick(&window, Qt::Key_Return);
    });

    const std::vector<uint8_t> stop{0x01, 0xFE, 0x00, 0x00, 0x00, 0x00, 0x00, 0x81, 0x04};
    const std::vector<SilentReceiver::Frame> frames = receiver.Frames();
    QCOMPARE(frames.size(), std::size_t{3});
    QVERIFY(frames[1].second == stop && frames[2].second == stop);
    const auto apart =
        std::chrono::duration_cast<std::chrono::milliseconds>(frames[2].first - frames[1].first);
    QVERIFY2(apart.count() >= 195, (std::to_string(apart.count()) + " ms").c_str());
}

QTEST_MAIN(WindowOnPtyTest)
#include "WindowOnPty_test.moc"
