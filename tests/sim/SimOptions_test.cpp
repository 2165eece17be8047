// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/SimOptions.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace tavrolin::sim {
namespace {

ParsedOptions Parse(std::vector<std::string_view> args) {
    return ParseSimOptions(args);
}

TEST(SimOptions, DefaultsAreTheStationInRealTime) {
    const ParsedOptions p = Parse({});
    ASSERT_TRUE(p.options);
    EXPECT_EQ(p.options->speed, 1.0);
    EXPECT_EQ(p.options->rate, 0);
    EXPECT_FALSE(p.options->count);
    EXPECT_EQ(p.options->seed, 1u);
    EXPECT_TRUE(p.options->linkPath.empty());
}

TEST(SimOptions, TakesValuesAfterTheOptionOrAfterAnEqualsSign) {
    const ParsedOptions p = Parse({"--link", "/tmp/x", "--speed=60", "--rate", "200", "--noise",
                                   "--split", "--count=7", "--replay", "in.cap", "--record=out.cap",
                                   "--seed", "99", "--nak", "1", "--silent=2", "--verbose"});
    ASSERT_TRUE(p.options) << p.error;
    const SimOptions& o = *p.options;
    EXPECT_EQ(o.linkPath, "/tmp/x");
    EXPECT_EQ(o.speed, 60.0);
    EXPECT_EQ(o.rate, 200);
    EXPECT_TRUE(o.noise);
    EXPECT_TRUE(o.split);
    EXPECT_EQ(o.count, 7u);
    EXPECT_EQ(o.replayFile, "in.cap");
    EXPECT_EQ(o.recordFile, "out.cap");
    EXPECT_EQ(o.seed, 99u);
    EXPECT_EQ(o.nak, 1);
    EXPECT_EQ(o.silent, 2);
    EXPECT_TRUE(o.verbose);
    EXPECT_FALSE(o.help);
    EXPECT_FALSE(o.version);
    EXPECT_TRUE(Parse({"--help"}).options->help);
    EXPECT_TRUE(Parse({"--version"}).options->version);
    EXPECT_EQ(Parse({"--speed", "0.5"}).options->speed, 0.5);
}

TEST(SimOptions, RefusesWhatItCannotUseAndSaysWhy) {
    struct Row {
        std::vector<std::string_view> args;
        std::string_view error;
    };
    const Row table[] = {
        {{"--speed", "0"}, "--speed braucht eine Zahl"},
        {{"--speed", "fast"}, "--speed braucht eine Zahl"},
        {{"--speed", "nan"}, "--speed braucht eine Zahl"},
        {{"--speed"}, "--speed braucht eine Zahl"},
        {{"--rate", "0"}, "--rate braucht eine ganze Zahl"},
        {{"--rate", "20x"}, "--rate braucht eine ganze Zahl"},
        {{"--rate", "-5"}, "--rate braucht eine ganze Zahl"},
        {{"--count", "-1"}, "--count braucht eine ganze Zahl"},
        {{"--nak", "1.5"}, "--nak braucht eine ganze Zahl"},
        {{"--silent", ""}, "--silent braucht eine ganze Zahl"},
        {{"--seed", "x"}, "--seed braucht eine ganze Zahl"},
        {{"--link"}, "--link braucht einen Dateinamen"},
        {{"--record="}, "--record braucht einen Dateinamen"},
        {{"--noise=yes"}, "--noise nimmt keinen Wert"},
        {{"--version=1"}, "--version nimmt keinen Wert"},
        {{"--fast"}, "unbekannte Option --fast"},
        {{"speed"}, "unbekannte Option speed"},
    };
    for (const Row& row : table) {
        const ParsedOptions p = Parse(row.args);
        EXPECT_FALSE(p.options) << row.error;
        EXPECT_TRUE(p.error.starts_with(row.error)) << p.error;
    }
}

TEST(SimOptions, HelpExplainsTheOrderOfSilentAndRefusedCommands) {
    const std::string usage = SimUsage();
    for (const char* option :
         {"--link", "--speed", "--rate", "--noise", "--split", "--count", "--replay", "--record",
          "--seed", "--silent", "--nak", "--verbose", "--help", "--version"}) {
        EXPECT_NE(usage.find(option), std::string::npos) << option;
    }
    EXPECT_NE(usage.find("--silent S --nak N"), std::string::npos);
}

}  // namespace
}  // namespace tavrolin::sim
