// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/IniFile.h"

#include <gtest/gtest.h>

namespace tavrolin {
namespace {

struct LookupCase {
    const char* what;
    std::string text;
    std::string_view key;
    std::optional<std::string> expected;
};

TEST(IniFile, LookupFollowsTheProfileRules) {
    using namespace std::string_literals;
    const LookupCase cases[] = {
        {"names without regard to case", "[system]\r\ncom=2\r\n", "COM", "2"},
        {"blanks around names and values", "  [ SYSTEM ]  \r\n\t Mit MUX \t=  1 \r\n", "Mit MUX",
         "1"},
        {"first of repeated keys", "[SYSTEM]\nCOM=1\nCOM=2\n", "COM", "1"},
        {"comments", "[SYSTEM]\n;COM=3\n  ; COM=4\n", "COM", std::nullopt},
        {"key before any section", "COM=1\n[SYSTEM]\n", "COM", std::nullopt},
        {"key of another section", "[Ports]\nCOM=1\n[SYSTEM]\nLinks=0\n", "COM", std::nullopt},
        {"repeated section", "[SYSTEM]\nLinks=0\n[Ports]\nCOM1=x\n[system]\nCOM=3\n", "COM", "3"},
        {"line without equals sign", "[SYSTEM]\nCOM\n", "COM", std::nullopt},
        {"header without bracket ends the section", "[SYSTEM]\n[Ports\nCOM=1\n", "COM",
         std::nullopt},
        {"zero byte", "[SYSTEM]\nCOM=1\0\nCOM=2\n"s, "COM", "2"},
        {"byte order mark", "\xEF\xBB\xBF[SYSTEM]\r\nCOM=1", "COM", "1"},
        {"empty value", "[SYSTEM]\nFilename=\n", "Filename", ""},
        {"equals sign in the value", "[SYSTEM]\nFilename=a=b\n", "Filename", "a=b"},
        {"double quotes", "[SYSTEM]\nFilename= \"a b.dat\" \n", "Filename", "a b.dat"},
        {"single quotes", "[SYSTEM]\nFilename='a'\n", "Filename", "a"},
        {"quotes inside", "[SYSTEM]\nFilename=a\"b\"\n", "Filename", "a\"b\""},
        {"unmatched quotes", "[SYSTEM]\nFilename=\"a'\n", "Filename", "\"a'"},
        {"a lone quote", "[SYSTEM]\nFilename=\"\n", "Filename", "\""},
        {"Windows-1252 bytes", "[SYSTEM]\nFilename=Me\xDFwerte.dat\n", "Filename",
         "Me\xDFwerte.dat"},
        {"CR line ends", "[SYSTEM]\rCOM=1\rLinks=2", "Links", "2"},
        {"mixed line ends", "[SYSTEM]\r\nCOM=1\nLinks=2\r\r\nOben=3", "Oben", "3"},
    };
    for (const LookupCase& c : cases) {
        const IniFile file = IniFile::Parse(c.text);
        EXPECT_EQ(file.Value("SYSTEM", c.key), c.expected) << c.what;
    }
}

TEST(IniFile, LongValuesAreCutAfterTheQuotesAreRemoved) {
    const std::string exact(IniFile::MaxValueLength, 'x');
    EXPECT_EQ(IniFile::Parse("[S]\nk=" + exact).Value("S", "k"), exact);
    EXPECT_EQ(IniFile::Parse("[S]\nk=" + exact + "yz").Value("S", "k"), exact);
    EXPECT_EQ(IniFile::Parse("[S]\nk=\"" + exact + "y\"").Value("S", "k"), exact);
}

TEST(IniFile, SettingRewritesTheKeyInPlaceAndKeepsEverythingElse) {
    IniFile file = IniFile::Parse(
        "; Tavrolin\n[Ports]\nCOM1=/dev/ttyUSB0\n\n[SYSTEM]\ncom = 1\nunknown line\n"
        "Fremd=x\n\n; Ende\n");
    EXPECT_TRUE(file.SetValue("SYSTEM", "COM", "3"));
    EXPECT_TRUE(file.SetValue("SYSTEM", "Links", "-5"));
    EXPECT_TRUE(file.SetValue("ports", "COM2", "/dev/ttyS1"));
    EXPECT_TRUE(file.SetValue("Neu", "a", "b"));
    EXPECT_EQ(file.Serialize(),
              "; Tavrolin\r\n[Ports]\r\nCOM1=/dev/ttyUSB0\r\nCOM2=/dev/ttyS1\r\n\r\n"
              "[SYSTEM]\r\ncom=3\r\nunknown line\r\nFremd=x\r\nLinks=-5\r\n\r\n; Ende\r\n"
              "[Neu]\r\na=b\r\n");
}

TEST(IniFile, NewKeysAndSectionsGoWhereTheProfileFunctionsPutThem) {
    struct Case {
        std::string before;
        std::string after;
    };
    const Case cases[] = {
        {"", "[SYSTEM]\r\nCOM=1\r\n"},
        {"x", "x\r\n[SYSTEM]\r\nCOM=1\r\n"},
        {"[SYSTEM]\n; nichts\n\n[Ports]\n", "[SYSTEM]\r\nCOM=1\r\n; nichts\r\n\r\n[Ports]\r\n"},
        // Keys go to the first of two sections of the same name.
        {"[SYSTEM]\nA=1\n[SYSTEM]\nB=2\n", "[SYSTEM]\r\nA=1\r\nCOM=1\r\n[SYSTEM]\r\nB=2\r\n"},
        {"[SYSTEM]\nA=1\n[SYSTEM]\nCOM=2\n", "[SYSTEM]\r\nA=1\r\n[SYSTEM]\r\nCOM=1\r\n"},
    };
    for (const Case& c : cases) {
        IniFile file = IniFile::Parse(c.before);
        EXPECT_TRUE(file.SetValue("SYSTEM", "COM", "1"));
        EXPECT_EQ(file.Serialize(), c.after) << c.before;
    }
}

TEST(IniFile, ValuesComeBackAsTheyWereSet) {
    const std::string values[] = {"",    " lead", "trail ", "\"q\"", "'q'", "\"",
                                  "a\"", "x=y",   ";c",     "[s]",   "  ",  "\xB0\xDF"};
    for (const std::string& value : values) {
        IniFile file;
        ASSERT_TRUE(file.SetValue("SYSTEM", "Filename", value)) << value;
        EXPECT_EQ(file.Value("SYSTEM", "Filename"), value);
        EXPECT_EQ(IniFile::Parse(file.Serialize()).Value("SYSTEM", "Filename"), value);
    }
}

TEST(IniFile, NamesAndValuesALineCannotHoldAreRefused) {
    using namespace std::string_literals;
    const std::string text = "[SYSTEM]\r\nCOM=1\r\n";
    struct Case {
        std::string section, key, value;
    };
    const Case cases[] = {
        {"SYSTEM", "COM", "2\n[SYSTEM]"},
        {"SYSTEM", "COM", "2\r"},
        {"SYSTEM", "COM", "2\0"s},
        {"SYSTEM", "", "2"},
        {"SYSTEM", " COM", "2"},
        {"SYSTEM", "A=B", "2"},
        {"SYSTEM", ";COM", "2"},
        {"SYSTEM", "[COM", "2"},
        {"", "COM", "2"},
        {"SYS]TEM", "COM", "2"},
        {"SYSTEM ", "COM", "2"},
        {"SYS\nTEM", "COM", "2"},
    };
    for (const Case& c : cases) {
        IniFile file = IniFile::Parse(text);
        EXPECT_FALSE(file.SetValue(c.section, c.key, c.value)) << c.section << "/" << c.key;
        EXPECT_EQ(file.Serialize(), text);
    }
}

}  // namespace
}  // namespace tavrolin
