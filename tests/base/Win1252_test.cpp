// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/Win1252.h"

#include <gtest/gtest.h>

namespace tavrolin {
namespace {

TEST(Win1252, ReportTextsConvertBothWays) {
    // Degree sign, sharp s and the umlauts of the program's texts, plus the euro sign from
    // the 0x80..0x9F block where Windows-1252 differs from Latin-1.
    const std::string bytes =
        "12.3\xB0 Au\xDF"
        "en \xE4\xF6\xFC\xC4\xD6\xDC \x80";
    const std::string utf8 = "12.3° Außen äöüÄÖÜ €";
    EXPECT_EQ(Win1252ToUtf8(bytes), utf8);
    EXPECT_EQ(Utf8ToWin1252(utf8), bytes);
}

TEST(Win1252, UnmappableAndInvalidInput) {
    EXPECT_EQ(Utf8ToWin1252("\xE2\x9C\x93 ok"), "? ok");  // a check mark has no byte
    EXPECT_EQ(Utf8ToWin1252("a\xB0"), "a\xB0");           // not UTF-8: taken as it is
    EXPECT_EQ(Utf8ToWin1252("\xC3"), "\xC3");             // cut-off sequence
    EXPECT_EQ(Win1252ToUtf8(std::string("\x81\x00", 2)), std::string("\xC2\x81\x00", 3));
}

TEST(Win1252, FileNamesAreShownAsUtf8WhateverTheirOrigin) {
    // A name from the file dialog is UTF-8 already; one written to the profile by the
    // Windows program is Windows-1252.
    EXPECT_EQ(FileNameToUtf8("/home/u/Meßwerte.dat"), "/home/u/Meßwerte.dat");
    EXPECT_EQ(FileNameToUtf8("Me\xDFwerte.dat"), "Meßwerte.dat");
    EXPECT_EQ(FileNameToUtf8("a\xC3"), "aÃ");  // a cut-off sequence is not UTF-8
    EXPECT_EQ(FileNameToUtf8("\xF0\x9F\x93\x81.dat"), "\xF0\x9F\x93\x81.dat");  // four bytes
    EXPECT_TRUE(IsUtf8(""));
    EXPECT_FALSE(IsUtf8("\xC3\x28"));
}

}  // namespace
}  // namespace tavrolin
