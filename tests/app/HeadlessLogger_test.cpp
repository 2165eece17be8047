// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/HeadlessLogger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "AddressWordDecoder.h"
#include "FakeClocks.h"
#include "FakeSerialLine.h"
#include "MemoryFileSystem.h"
#include "RecordingMessageSink.h"
#include "mux/MultiplexerLine.h"

namespace tavrolin {
namespace {

using testing::LineCall;
using Bytes = std::vector<uint8_t>;
using Kind = LineCall::Kind;
using Words = std::vector<uint16_t>;

const std::string kProfile = "/home/user/.config/tavrolin.INI";
const Bytes kStartFrame = {0x01, 0xFF, 0, 0, 0, 0, 0, 0x80, 0x04};
const Bytes kStopFrame = {0x01, 0xFE, 0, 0, 0, 0, 0, 0x81, 0x04};
const Bytes kAckFrame = {0x02, 0x06, 0x03};

// "Außen (2)  12.3°  67%", a rain sensor and an indoor sensor, with noise around them.
const Bytes kOutdoor2 = {0x02, 0x12, 0x00, 123, 67, 0x00, 0x00, 0x03};
const Bytes kRain0 = {0x02, 0x20, 0x02, 0x0B, 0x00, 0x00, 0x00, 0x03};
const Bytes kIndoor1 = {0x02, 0x41, 0x01, 0x4F, 45, 0x07, 0x74, 0x03};
const Bytes kFensterHigh = {0x02, 0x70, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03};

class HeadlessLoggerTest : public ::testing::Test {
protected:
    HeadlessLoggerTest() {
        // The receiver acknowledges every command.
        device.onWrite = [this](std::span<const uint8_t>) { device.Receive(kAckFrame); };
    }
    void Profile(const std::string& system) { files.files[kProfile] = "[SYSTEM]\n" + system; }
    bool Start() { return logger.Start(SystemSettings::Read(settings)); }
    void Receive(std::initializer_list<Bytes> parts) {
        for (const Bytes& p : parts) {
            device.Receive(p);
        }
    }
    std::string FileOf(const std::string& path) { return files.files[path]; }
    // The lines of each poll's output, one string per line.
    void Print(std::string_view lines) {
        ++outputs;
        for (std::size_t end; (end = lines.find('\n')) != std::string_view::npos;) {
            printed.emplace_back(lines.substr(0, end));
            lines.remove_prefix(end + 1);
        }
    }

    testing::MemoryFileSystem files;
    SettingsStore settings{files, kProfile};
    testing::FakeSerialLine device;
    testing::FakeCoarseClock coarse{3};
    testing::FakeCoarseClock wall{1, 0};  // moves only when the test says
    MultiplexerLine mux{coarse};
    testing::RecordingMessageSink messages;
    testing::FakeWallClock clock{{2026, 12, 7, 14, 3, 7, 456}};
    ReceiverPort port{device, mux, messages, clock, clock};
    std::vector<std::string> printed;
    int outputs = 0;
    HeadlessLogger logger{port,     mux,  files,
                          messages, wall, [this](std::string_view lines) { Print(lines); }};
};

TEST_F(HeadlessLoggerTest, WithoutAProfileItLogsEverythingFromCom1IntoProtokollDat) {
    ASSERT_TRUE(Start());
    ASSERT_FALSE(device.CallsOf(Kind::Open).empty());
    EXPECT_EQ(device.CallsOf(Kind::Open).front().name, "COM1");
    EXPECT_EQ(device.Writes(), std::vector<Bytes>{kStartFrame});
    EXPECT_TRUE(device.changes.empty()) << "no multiplexer";
    EXPECT_TRUE(logger.FileOpen());
    EXPECT_TRUE(files.files.count("protokoll.dat"));
    EXPECT_TRUE(messages.messages.empty());

    clock.AdvanceMs(1500);
    Receive({{0x41, 0x03}, kOutdoor2, {0x7F}, kRain0, kIndoor1});
    logger.OnTick();
    // The terminal gets UTF-8; the file keeps the window's Windows-1252 bytes and CR LF.
    EXPECT_EQ(printed, (std::vector<std::string>{
                           "(14:03:08.9) : (1.50s)  Außen (2)   12.3°  67%",
                           "(14:03:08.9) : (1.50s)  Regen (0)  10B",
                           "(14:03:08.9) : (1.50s)  Innen (1)   20.7°  45%  1012hPa",
                       }));
    EXPECT_EQ(FileOf("protokoll.dat"),
              "(14:03:08.9) : (1.50s)  Au\xDF"
              "en (2)   12.3\xB0  67%\r\n"
              "(14:03:08.9) : (1.50s)  Regen (0)  10B\r\n"
              "(14:03:08.9) : (1.50s)  Innen (1)   20.7\xB0  45%  1012hPa\r\n");
    // One poll, one write to each: the file and the output.
    EXPECT_EQ(files.writeCount, 1);
    EXPECT_EQ(outputs, 1);
    logger.OnTick();  // nothing came: nothing written
    EXPECT_EQ(files.writeCount, 1);
    EXPECT_EQ(outputs, 1);
    EXPECT_EQ(files.replaceCount, 0) << "the logger writes no settings";
}

TEST_F(HeadlessLoggerTest, TheSettingsChoosePortFileAndRecords) {
    // Only the outdoor sensors 0..7: no rain, no indoor record; Fenster events always.
    Profile("COM=2\nProtokoll=255\nFilename=/var/log/wetter.dat\n");
    files.files["/var/log/wetter.dat"] = "old line\r\n";
    ASSERT_TRUE(Start());
    EXPECT_EQ(device.CallsOf(Kind::Open).front().name, "COM3");

    Receive({kRain0, kOutdoor2, kIndoor1, kFensterHigh});
    logger.OnTick();
    ASSERT_EQ(printed.size(), 2u);
    EXPECT_NE(printed[0].find("Außen (2)"), std::string::npos);
    EXPECT_NE(printed[1].find("++++ Fenster High"), std::string::npos);
    const std::string file = FileOf("/var/log/wetter.dat");
    EXPECT_TRUE(file.starts_with("old line\r\n(14:03:07.4) : ")) << file;
    EXPECT_NE(file.find("Fenster High"), std::string::npos);
    EXPECT_EQ(file.find("Regen"), std::string::npos);
}

TEST_F(HeadlessLoggerTest, TheMultiplexerIsAddressedAtStartAndSetBackAtTheEnd) {
    struct Case {
        const char* address;
        Words atStart;
    };
    for (const Case& c :
         {Case{"23", {AddressWord(2), AddressWord(3 | 8)}}, Case{"5", {AddressWord(5)}},
          // Outside 0..66 counts as 0, not as the nearer bound.
          Case{"67", {AddressWord(0)}}, Case{"-4", {AddressWord(0)}}}) {
        SCOPED_TRACE(c.address);
        Profile(std::string("Mit MUX=1\nMUX Adresse=") + c.address + "\n");
        device.ClearRecord();
        ASSERT_TRUE(Start());
        EXPECT_EQ(testing::DecodeAddressWords(device.changes), c.atStart);
        logger.Stop();
        Words all = c.atStart;
        all.push_back(AddressWord(0));
        EXPECT_EQ(testing::DecodeAddressWords(device.changes), all);
        EXPECT_FALSE(device.IsOpen());
    }
}

TEST_F(HeadlessLoggerTest, StopClosesTheFileBeforeTheReceiverIsStoppedAndTheLineLetGo) {
    Profile("Mit MUX=1\nMUX Adresse=1\n");
    ASSERT_TRUE(Start());
    Receive({kOutdoor2});
    logger.OnTick();
    device.ClearRecord();

    bool fileClosedAtStopCommand = false;
    device.onWrite = [this, &fileClosedAtStopCommand](std::span<const uint8_t>) {
        // Only one writer may hold the file: opening it succeeds once the logger let go.
        FileError error = FileError::None;
        fileClosedAtStopCommand =
            files.OpenForWriting("protokoll.dat", OpenMode::Append, error) != nullptr;
        device.Receive(kAckFrame);
    };
    logger.Stop();
    EXPECT_TRUE(fileClosedAtStopCommand);
    EXPECT_FALSE(logger.FileOpen());
    EXPECT_EQ(device.Writes(), std::vector<Bytes>{kStopFrame});
    // Stop command, then the reset word on the modem lines, then the port closed.
    const auto& calls = device.calls;
    const auto firstOf = [&calls](Kind kind) {
        return std::find_if(calls.begin(), calls.end(),
                            [kind](const LineCall& c) { return c.kind == kind; }) -
               calls.begin();
    };
    EXPECT_LT(firstOf(Kind::Write), firstOf(Kind::Dtr));
    EXPECT_LT(firstOf(Kind::Dtr), firstOf(Kind::Close));
    EXPECT_EQ(calls.back().kind, Kind::Close);

    // A second stop has nothing left to do.
    device.ClearRecord();
    logger.Stop();
    EXPECT_TRUE(device.calls.empty());
}

TEST_F(HeadlessLoggerTest, AFailedConnectIsReportedAndStartsNothing) {
    struct Case {
        LineError error;
        const char* profile;
        const char* text;
    };
    for (const Case& c :
         {Case{LineError::CannotOpen, "", "Die Schnittstelle läßt sich nicht öffnen"},
          Case{LineError::InUse, "", "Die Schnittstelle ist bereits geöffnet"},
          Case{LineError::None, "COM=4\n", "Ungültiger COM-Port"}}) {
        SCOPED_TRACE(c.text);
        Profile(c.profile);
        device.openError = c.error;
        device.ClearRecord();
        messages.messages.clear();
        EXPECT_FALSE(Start());
        EXPECT_FALSE(logger.Connected());
        EXPECT_TRUE(device.Writes().empty()) << "no start command";
        ASSERT_EQ(messages.messages.size(), 1u);
        EXPECT_EQ(messages.messages[0].caption, "Fehler beim Öffnen der Schnittstelle");
        EXPECT_EQ(messages.messages[0].text, c.text);
        logger.Stop();
        EXPECT_TRUE(device.Writes().empty()) << "no stop command either";
    }
}

TEST_F(HeadlessLoggerTest, AProtocolFileThatCannotBeOpenedIsReportedAndTheRecordsStillPrinted) {
    struct Case {
        FileError error;
        std::string name;
        std::string text;
    };
    const std::string tail = " Die Empfangsdaten werden nur auf der Standardausgabe ausgegeben.";
    // A name from the settings is Windows-1252; the message shows it in UTF-8.
    for (const Case& c :
         {Case{FileError::AccessDenied, "/var/log/wetter.dat",
               "Die Protokolldatei /var/log/wetter.dat läßt sich nicht öffnen: Keine "
               "Berechtigung." +
                   tail},
          Case{FileError::Folder, "/var/log",
               "Die Protokolldatei /var/log läßt sich nicht öffnen: Das ist ein Ordner." + tail},
          Case{FileError::NotAFile, "/dev/null",
               "Die Protokolldatei /dev/null läßt sich nicht öffnen: Das ist keine gewöhnliche "
               "Datei." +
                   tail},
          Case{FileError::NotFound,
               "/m\xFC"
               "ll/x.dat",
               "Die Protokolldatei /müll/x.dat läßt sich nicht öffnen: Der Ordner existiert "
               "nicht." +
                   tail},
          Case{FileError::Busy, "/a.dat",
               "Die Protokolldatei /a.dat läßt sich nicht öffnen: Sie ist von einem anderen "
               "Programm geöffnet." +
                   tail},
          Case{FileError::NotFound, "",
               "Es ist keine Protokolldatei eingestellt (Filename)." + tail}}) {
        SCOPED_TRACE(c.text);
        Profile("Filename=" + c.name + "\n");
        files.openError = c.error;
        messages.messages.clear();
        printed.clear();
        ASSERT_TRUE(Start());
        ASSERT_EQ(messages.messages.size(), 1u);
        EXPECT_EQ(messages.messages[0].caption, "Tavrolin");
        EXPECT_EQ(messages.messages[0].text, c.text);
        EXPECT_FALSE(logger.FileOpen());
        Receive({kOutdoor2});
        logger.OnTick();
        EXPECT_EQ(printed.size(), 1u);
        logger.Stop();
    }
}

TEST_F(HeadlessLoggerTest, AFullDiskIsToldOnceAndTheFileIsTriedAgainEveryMinute) {
    Profile("Filename=/var/log/wetter.dat\n");
    ASSERT_TRUE(Start());
    Receive({kOutdoor2});
    logger.OnTick();
    const std::string before = FileOf("/var/log/wetter.dat");

    files.writeError = FileError::NoSpace;
    Receive({kOutdoor2, kRain0});
    logger.OnTick();
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text,
              "Beim Zugriff auf /var/log/wetter.dat wurde ein voller Datenträger gemeldet. Die "
              "Empfangsdaten werden jetzt nur auf der Standardausgabe ausgegeben; einmal in der "
              "Minute wird versucht, die Protokolldatei wieder zu öffnen.");
    EXPECT_FALSE(logger.FileOpen());

    // Within the minute nothing is tried; the records are printed all the same.
    const int writes = files.writeCount;
    wall.AdvanceMs(59999);
    Receive({kIndoor1});
    logger.OnTick();
    EXPECT_EQ(files.writeCount, writes);
    // After it, the next record opens the file again; the disk is still full: silence.
    wall.AdvanceMs(1);
    Receive({kIndoor1});
    logger.OnTick();
    EXPECT_EQ(files.writeCount, writes + 1);
    EXPECT_EQ(messages.messages.size(), 1u);
    EXPECT_FALSE(logger.FileOpen());

    // Room again: a minute on, the file takes the records of that poll, and it is told.
    files.writeError = FileError::None;
    wall.AdvanceMs(60000);
    Receive({kOutdoor2});
    logger.OnTick();
    EXPECT_TRUE(logger.FileOpen());
    ASSERT_EQ(messages.messages.size(), 2u);
    EXPECT_EQ(messages.messages[1].text,
              "Die Protokolldatei /var/log/wetter.dat wird wieder geschrieben.");
    EXPECT_EQ(printed.size(), 6u) << "every record was printed";
    const std::string after = FileOf("/var/log/wetter.dat");
    ASSERT_TRUE(after.starts_with(before));
    EXPECT_NE(after.find("Au\xDF"
                         "en (2)",
                         before.size()),
              std::string::npos);
    EXPECT_EQ(std::count(after.begin(), after.end(), '\n'), 2);
}

TEST_F(HeadlessLoggerTest, WithExitOnLossALineThatGivesOnlyFailuresForASecondEndsTheRun) {
    LoggerOptions exitOnLoss;
    exitOnLoss.exitOnLoss = true;
    ASSERT_TRUE(logger.Start(SystemSettings::Read(settings), exitOnLoss));
    device.failRead = true;
    for (int tick = 1; tick < HeadlessLogger::kLostAfterFailedPolls; ++tick) {
        ASSERT_TRUE(logger.OnTick()) << tick;
    }
    // One good read starts the count again; line errors that come and go are no loss.
    device.failRead = false;
    device.RaiseFault(kFramingFault);
    EXPECT_TRUE(logger.OnTick());
    EXPECT_TRUE(logger.OnTick());
    device.failRead = true;
    for (int tick = 1; tick < HeadlessLogger::kLostAfterFailedPolls; ++tick) {
        ASSERT_TRUE(logger.OnTick()) << tick;
    }
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_FALSE(logger.OnTick());
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].caption, "Fehler beim Lesen der Schnittstelle");
    EXPECT_EQ(messages.messages[0].text,
              "Der Empfänger ist nicht mehr erreichbar: die Schnittstelle meldet seit einer "
              "Sekunde nur Fehler.");
}

TEST_F(HeadlessLoggerTest, TheServiceManagerHearsReadinessTheWatchdogAndTheLinksStatus) {
    struct Notifier : ServiceNotifier {
        void Notify(std::string_view state) override { sent.emplace_back(state); }
        int64_t WatchdogTimeoutMs() const override { return timeoutMs; }
        std::vector<std::string> sent;
        int64_t timeoutMs = 30000;
    } notifier;
    logger.ReportTo({notifier, clock, clock, [] { return std::string("/dev/ttyUSB0"); }});
    ASSERT_TRUE(Start());
    EXPECT_EQ(notifier.sent, (std::vector<std::string>{
                                 "READY=1", "STATUS=verbunden mit /dev/ttyUSB0", "WATCHDOG=1"}));
    // The watchdog every half of its time, from the ticks.
    notifier.sent.clear();
    wall.AdvanceMs(14999);
    logger.OnTick();
    EXPECT_TRUE(notifier.sent.empty());
    wall.AdvanceMs(1);
    logger.OnTick();
    EXPECT_EQ(notifier.sent, std::vector<std::string>{"WATCHDOG=1"});

    // Lost and found again, each once; the watchdog goes on meanwhile.
    notifier.sent.clear();
    device.gone = true;
    device.openError = LineError::CannotOpen;
    logger.OnTick();
    logger.OnTick();
    EXPECT_EQ(notifier.sent, std::vector<std::string>{"STATUS=keine Verbindung seit 14:03:07"});
    // While the port is gone the ticks slow down, but not below the watchdog's need.
    EXPECT_EQ(logger.NextTickMs(), 1000);
    notifier.timeoutMs = 2000;
    EXPECT_EQ(logger.NextTickMs(), 500);
    notifier.timeoutMs = 30000;
    device.openError = LineError::None;
    wall.AdvanceMs(15000);
    EXPECT_TRUE(logger.OnTick()) << "reconnecting, it goes on";
    EXPECT_EQ(notifier.sent,
              (std::vector<std::string>{"STATUS=keine Verbindung seit 14:03:07",
                                        "STATUS=verbunden mit /dev/ttyUSB0", "WATCHDOG=1"}));
    EXPECT_EQ(messages.messages.size(), 2u);
}

}  // namespace
}  // namespace tavrolin
