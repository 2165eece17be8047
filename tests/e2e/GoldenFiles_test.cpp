// SPDX-License-Identifier: GPL-3.0-or-later
// Receiver bytes through the simulator into the logger, and the protocol file compared with
// checked-in expected files, time prefixes and intervals masked.
//
// To regenerate the capture (from the table below) and every expected file, run
//   TAVROLIN_REGENERATE_GOLDEN=1 build/tests/e2e/tavrolin_e2e_tests --gtest_filter='Golden*'
// and review the diff of tests/e2e/data before committing it.

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "E2eSupport.h"

namespace tavrolin::e2e {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

const std::string kData = TAVROLIN_E2E_DATA;

bool Regenerating() {
    const char* value = std::getenv("TAVROLIN_REGENERATE_GOLDEN");
    return value != nullptr && std::string(value) == "1";
}

// The capture: what a receiver might put on the line, one entry per piece.
Bytes Capture() {
    const std::vector<Bytes> pieces = {
        {0x55, 0x03, 0xFF, 0x00},                          // noise, an ETX among it
        {0x02, 0x00, 0x01, 0x57, 0x00, 0x00, 0x00, 0x03},  // nur Temp (0) 21.5°
        {0x02, 0x0B, 0x7F, 0x47, 0x00, 0x00, 0x00, 0x03},  // nur Temp V1.2 (3) -5.7°
        {0x02, 0x11, 0x00, 0x7B, 0x43, 0x00, 0x00, 0x03},  // Außen (1) 12.3° 67%
        {0x02, 0x91, 0x80, 0xFB, 0xC3, 0x80, 0x80, 0x03},  // the same with bit 7 set
        {0x02, 0x1F, 0x00, 0x64, 0x32, 0x00, 0x00, 0x03},  // Außen V1.2 (7) 10.0° 50%
        {0x7E, 0x03, 0x10},                                // noise
        {0x02, 0x20, 0x03, 0x23, 0x00, 0x00, 0x00, 0x03},  // Regen (0) 1A3: D1 is 0x03
        {0x02, 0x2D, 0x00, 0x10, 0x00, 0x00, 0x00, 0x03},  // Regen V1.2 (5) 010
        {0x02, 0x33, 0x01, 0x32, 0x03, 0x01, 0x7A, 0x03},  // Wind (3) 17.8 km/h 250° B3
        {0x02, 0x38, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03},  // Wind V1.2 (0) calm
        {0x02, 0x41, 0x01, 0x4F, 0x2D, 0x07, 0x74, 0x03},  // Innen (1) 20.7° 45% 1012hPa
        {0x02, 0x4E, 0x7F, 0x6C, 0x28, 0x07, 0x7F, 0x03},  // Innen V1.2 (6) -2.0° 40% 1023hPa
        {0x02, 0x50, 0x16, 0x5C, 0x0A, 0x00, 0x00, 0x03},  // Helligkeit (0) 2908 Faktor 10
        {0x02, 0xDA, 0x80, 0x85, 0x81, 0x80, 0x80, 0x03},  // Helligkeit V1.2 (2), bit 7 set
        {0x02, 0x68, 0x03, 0x64, 0x01, 0x00, 0x00, 0x03},  // Pyranometer V1.2 (0) 484
        {0x02, 0x64, 0x00, 0x2A, 0x02, 0x00, 0x00, 0x03},  // Pyranometer (4): D3 is 0x02
        {0x02, 0x70, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03},  // Fenster High
        {0x02, 0x71, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03},  // Fenster Low
        {0x02, 0x75, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03},  // Special subtype 5: no record
        {0x02, 0xF9, 0x01, 0x02, 0x00, 0x00, 0x00, 0x03},  // Special subtype 9: no record
        {0x02, 0x7F, 0x41, 0x42, 0x43, 0x44, 0x45, 0x03},  // FB : A B C D E
        {0x02, 0x7F, 0x31, 0x32, 0x00, 0x00, 0x00, 0x03},  // FB : 1 2, a 0 ends the text
        {0x02, 0x7F, 0x41, 0x0A, 0x42, 0x7F, 0x43, 0x03},  // control characters show as '?'
        {0x02, 0x41, 0x03},                                // a short candidate: nothing
        {0x02, 0x11, 0x00, 0x7B, 0x43, 0x00, 0x00, 0x00, 0x03},  // ETX one place late: nothing
        {0x00, 0x03, 0x03},                                      // noise
        {0x02, 0x1A, 0x01, 0x02, 0x55, 0x00, 0x00, 0x03},        // Außen V1.2 (2) 13.0° 85%
    };
    Bytes capture;
    for (const Bytes& piece : pieces) {
        capture.insert(capture.end(), piece.begin(), piece.end());
    }
    return capture;
}

// The masked lines of a protocol file, each with its CR LF, as the expected files hold them.
std::string MaskedFile(const std::string& bytes) {
    std::string masked;
    for (const std::string& line : FileLines(bytes)) {
        masked += Masked(line) + "\r\n";
    }
    return masked;
}

// Compares the logger's protocol file with an expected file, or writes that file.
void ExpectGolden(const std::string& file, const std::string& expectedName) {
    const std::string expectedPath = kData + "/" + expectedName;
    const std::string actual = MaskedFile(file);
    if (Regenerating()) {
        testing::WriteBytes(expectedPath, actual);
        return;
    }
    const std::string expected = testing::ReadBytes(expectedPath);
    ASSERT_FALSE(expected.empty()) << expectedPath << " is missing";
    EXPECT_EQ(FileLines(actual), FileLines(expected))
        << "the protocol file differs from " << expectedName;
    EXPECT_EQ(actual, expected);
}

std::size_t ExpectedLines(const std::string& expectedName) {
    return FileLines(testing::ReadBytes(kData + "/" + expectedName)).size();
}

// The capture replayed into the logger with the given profile lines; the protocol file.
std::string Replay(const std::string& systemLines, const std::string& expectedName) {
    TempDir dir;
    const std::string capture = kData + "/replay.bin";
    if (Regenerating()) {
        const Bytes bytes = Capture();
        testing::WriteBytes(capture, std::string(bytes.begin(), bytes.end()));
    }
    Simulator sim(dir.File("ttySIM"), {"--replay", capture});
    EXPECT_TRUE(sim.Ready()) << sim.Stderr();
    WriteProfile(dir.File("p.INI"), systemLines + "Filename=" + dir.File("log.dat") + "\n",
                 dir.File("ttySIM"));
    Logger logger({"--profile", dir.File("p.INI")});
    if (Regenerating()) {
        // Nothing to count against yet: everything has come once the line has been quiet
        // for a while.
        while (logger.WaitForStdoutLines(logger.StdoutLines().size() + 1, In(1000ms))) {
        }
    } else {
        EXPECT_TRUE(logger.WaitForStdoutLines(ExpectedLines(expectedName), In(10s)))
            << logger.Stdout() << logger.Stderr();
    }
    EXPECT_EQ(logger.Terminate(In(5s)), 0) << logger.Stderr();
    EXPECT_EQ(sim.Terminate(In(5s)), 0);
    EXPECT_EQ(AfterStart(logger.Stderr()), "");
    return testing::ReadBytes(dir.File("log.dat"));
}

TEST(GoldenFiles, ACaptureOfEveryKindGivesTheExpectedProtocolFile) {
    const std::string file = Replay("", "replay-all.expected");
    ExpectGolden(file, "replay-all.expected");
    // The window's bytes: Windows-1252 and CR LF.
    EXPECT_NE(file.find("Au\xDF"
                        "en (1)   12.3\xB0  67%\r\n"),
              std::string::npos);
    EXPECT_EQ(file.find("\xC3"), std::string::npos) << "no UTF-8 in the file";
}

TEST(GoldenFiles, TheRecordingMaskOfTheProfileFilters) {
    // Only the outdoor and temperature-only sensors 0..7: Fenster events still come.
    const std::string file = Replay("Protokoll=255\n", "replay-outdoor.expected");
    ExpectGolden(file, "replay-outdoor.expected");
    for (const char* gone : {"Regen", "Wind", "Innen", "Helligkeit", "Pyranometer", "FB :"}) {
        EXPECT_EQ(file.find(gone), std::string::npos) << gone;
    }
    EXPECT_NE(file.find("++++ Fenster High"), std::string::npos);
    EXPECT_NE(file.find("---- Fenster Low"), std::string::npos);
}

TEST(GoldenFiles, TheSimulatorsFirstRoundHasALineForEveryKind) {
    TempDir dir;
    // --speed 60: the round's 14 telegrams within some 60 ms, and no sensor twice. Their
    // values depend on when the start command came, so the lines are matched, not compared.
    Simulator sim(dir.File("ttySIM"), {"--speed", "60"});
    ASSERT_TRUE(sim.Ready()) << sim.Stderr();
    WriteProfile(dir.File("p.INI"), "Filename=" + dir.File("log.dat"), dir.File("ttySIM"));
    Logger logger({"--profile", dir.File("p.INI")});
    EXPECT_TRUE(logger.WaitForStdoutLines(14, In(10s))) << logger.Stdout() << logger.Stderr();
    EXPECT_EQ(logger.Terminate(In(5s)), 0);
    EXPECT_EQ(sim.Terminate(In(5s)), 0);
    std::vector<std::string> lines = FileLines(testing::ReadBytes(dir.File("log.dat")));
    ASSERT_GE(lines.size(), 14u);
    lines.resize(14);

    // The station's sensors in the order of its first round, as the file holds them.
    const std::string t = R"(\(hh:mm:ss\.t\) : )";
    const std::string temp = R"( [ \-\d]{2}\d\.\d\xB0)";  // "  %5.1f°" after the ")"
    const std::vector<std::string> patterns = {
        t + R"(\(\*s\)  nur Temp \(0\) )" + temp,
        t + R"(\(\*s\)  Au\xDF)" + "en" + R"( \(1\) )" + temp + R"(  [ \d]\d%)",
        t + R"(\(\*s\)  Regen \(0\)  [0-9A-F]{3,8})",  // "%03X" of the signed counter
        t + R"(\(\*s\)  Wind \(3\)  [ \d]{3}\d\.\dkm/h  [ \d]{2}\d\xB0 B\d)",
        t + R"(\(\*s\)  Innen V1\.2 \(2\) )" + temp + R"(  [ \d]\d%  [ \d]{3}\dhPa)",
        t + R"(\(\*s\)  Helligkeit \(0\)  \d+  Faktor \d+)",
        t + R"(\(\*s\)  Pyranometer V1\.2 \(0\)  \d+  Faktor \d+)",
        t + R"(\+\+\+\+ Fenster High \* s)",
        t + R"(FB : . . . . .)",
        t + R"(\(\*s\)  Au\xDF)" + "en" + R"( V1\.2 \(2\) )" + temp + R"(  [ \d]\d%)",
        t + R"(\(\*s\)  nur Temp V1\.2 \(3\) )" + temp,
        t + R"(\(\*s\)  Innen \(0\) )" + temp + R"(  [ \d]\d%  [ \d]{3}\dhPa)",
        t + R"(\(\*s\)  Au\xDF)" + "en" + R"( \(5\) )" + temp + R"(  [ \d]\d%)",
        t + R"(---- Fenster Low \* s)",
    };
    for (std::size_t i = 0; i < patterns.size(); ++i) {
        EXPECT_TRUE(std::regex_match(Masked(lines[i]), std::regex(patterns[i])))
            << "line " << i << ": " << lines[i];
    }
}

}  // namespace
}  // namespace tavrolin::e2e
