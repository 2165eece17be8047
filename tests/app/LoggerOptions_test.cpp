// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/LoggerOptions.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/StreamMessageSink.h"

namespace tavrolin {
namespace {

ParsedLoggerOptions Parse(std::vector<std::string_view> args) {
    return ParseLoggerOptions(args);
}

TEST(LoggerOptions, ProfileAndPortTakeTheirValueEitherWay) {
    struct Case {
        std::vector<std::string_view> args;
        std::string profile;
        std::string port;
        bool help;
        bool version = false;
    };
    for (const Case& c : {
             Case{{}, "", "", false},
             Case{{"--profile", "/etc/tavrolin.INI"}, "/etc/tavrolin.INI", "", false},
             Case{{"--port=/dev/ttyUSB0", "--profile=p.INI"}, "p.INI", "/dev/ttyUSB0", false},
             Case{{"--port", "/dev/a", "--port", "/dev/b"}, "", "/dev/b", false},
             Case{{"-h"}, "", "", true},
             Case{{"--port", "--help"}, "", "--help", false},  // a value, not an option
             Case{{"--version"}, "", "", false, true},
         }) {
        const ParsedLoggerOptions parsed = Parse(c.args);
        ASSERT_TRUE(parsed.options) << parsed.error;
        EXPECT_EQ(parsed.options->profilePath, c.profile);
        EXPECT_EQ(parsed.options->portPath, c.port);
        EXPECT_EQ(parsed.options->help, c.help);
        EXPECT_EQ(parsed.options->version, c.version);
        EXPECT_FALSE(parsed.options->json);
        EXPECT_EQ(parsed.options->mqttHost, "");
    }
    const ParsedLoggerOptions machine = Parse({"--json", "--mqtt=broker:1884"});
    ASSERT_TRUE(machine.options) << machine.error;
    EXPECT_TRUE(machine.options->json);
    EXPECT_EQ(machine.options->mqttHost, "broker:1884");
}

TEST(LoggerOptions, AWrongCommandLineSaysWhat) {
    struct Case {
        std::vector<std::string_view> args;
        std::string error;
    };
    for (const Case& c : {
             Case{{"--port"}, "--port braucht einen Dateinamen"},
             Case{{"--profile="}, "--profile braucht einen Dateinamen"},
             Case{{"--help=yes"}, "--help nimmt keinen Wert"},
             Case{{"--json=yes"}, "--json nimmt keinen Wert"},
             Case{{"--version=2"}, "--version nimmt keinen Wert"},
             Case{{"--mqtt"}, "--mqtt braucht einen Broker, RECHNER oder RECHNER:PORT"},
             Case{{"/dev/ttyS0"}, "unbekannte Option /dev/ttyS0 (siehe --help)"},
             Case{{"--verbose"}, "unbekannte Option --verbose (siehe --help)"},
             Case{{"--exit-on-loss=1"}, "--exit-on-loss nimmt keinen Wert"},
             Case{{"--silence-seconds"}, "--silence-seconds braucht eine Zahl von Sekunden"},
             Case{{"--silence-seconds", "-1"}, "--silence-seconds braucht eine Zahl von Sekunden"},
             Case{{"--silence-seconds=5s"}, "--silence-seconds braucht eine Zahl von Sekunden"},
         }) {
        const ParsedLoggerOptions parsed = Parse(c.args);
        EXPECT_FALSE(parsed.options);
        EXPECT_EQ(parsed.error, c.error);
    }
}

TEST(LoggerOptions, ExitOnLossAndTheSilenceInSeconds) {
    const ParsedLoggerOptions none = Parse({});
    ASSERT_TRUE(none.options);
    EXPECT_FALSE(none.options->exitOnLoss);
    EXPECT_FALSE(none.options->silenceSeconds);
    const ParsedLoggerOptions both = Parse({"--exit-on-loss", "--silence-seconds=0"});
    ASSERT_TRUE(both.options) << both.error;
    EXPECT_TRUE(both.options->exitOnLoss);
    EXPECT_EQ(both.options->silenceSeconds, 0);
}

TEST(LoggerOptions, TheHelpNamesEveryOptionKeyAndExitStatus) {
    const std::string usage = LoggerUsage();
    for (const char* word : {"--profile DATEI",  "--port PFAD",    "--help",
                             "[SYSTEM]",         "COM ",           "Mit MUX",
                             "MUX Adresse",      "Protokoll",      "Filename",
                             "[Ports]",          "SIGINT",         "SIGTERM",
                             "Exit-Status: 0",   "1, wenn",        "2 bei",
                             "tavrolin.INI",     "--json",         "--mqtt RECHNER[:PORT]",
                             "[MQTT]",           "PasswordFile",   "CAFile",
                             "[Sensornamen]",    "--exit-on-loss", "Stille Minuten",
                             "wieder verbunden", "WATCHDOG=1",     "--version"}) {
        EXPECT_NE(usage.find(word), std::string::npos) << word;
    }
}

TEST(StreamMessageSink, OneLineOfCaptionAndText) {
    std::FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    StreamMessageSink sink(stream);
    sink.ShowMessage("Fehler beim Öffnen der Schnittstelle",
                     "Die Schnittstelle ist bereits geöffnet", MessageIcon::Stop);
    sink.ShowMessage("Tavrolin", "zwei", MessageIcon::Exclamation);
    std::rewind(stream);
    char buffer[256] = {};
    const std::size_t n = std::fread(buffer, 1, sizeof buffer - 1, stream);
    std::fclose(stream);
    EXPECT_EQ(std::string(buffer, n),
              "Fehler beim Öffnen der Schnittstelle: Die Schnittstelle ist bereits geöffnet\n"
              "Tavrolin: zwei\n");
}

}  // namespace
}  // namespace tavrolin
