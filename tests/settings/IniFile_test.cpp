// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/IniFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
        // Read straight from the text, the same.
        const std::optional<std::string_view> direct = IniFile::ValueIn(c.text, "SYSTEM", c.key);
        EXPECT_EQ(direct.has_value(), c.expected.has_value()) << c.what;
        if (direct && c.expected) {
            EXPECT_EQ(*direct, *c.expected) << c.what;
        }
    }
}

TEST(IniFile, LinesEndAtLfCrLfOrALoneCr) {
    // What the lines are shows in the serialization, which ends each with CR LF; the key
    // after them is read the same from the lines and straight from the text.
    const struct {
        std::string text;
        std::string lines;
    } cases[] = {
        {"", ""},
        {"a", "a\r\n"},
        {"a\n", "a\r\n"},
        {"a\r", "a\r\n"},
        {"\n\n", "\r\n\r\n"},
        {"\r\r\n", "\r\n\r\n"},
        {"a\r\r\nb", "a\r\n\r\nb\r\n"},
        {"a\n\rb", "a\r\n\r\nb\r\n"},
        {"a\rb\r\nc\nd\r", "a\r\nb\r\nc\r\nd\r\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IniFile::Parse(c.text).Serialize(), c.lines) << testing::PrintToString(c.text);
        const std::string profile = "[S]\r" + c.text + "\rk=v\r" + c.text;
        EXPECT_EQ(IniFile::ValueIn(profile, "S", "k"), "v") << testing::PrintToString(c.text);
        EXPECT_EQ(IniFile::Parse(profile).Value("S", "k"), "v") << testing::PrintToString(c.text);
    }
}

TEST(IniFile, ASectionIsVisitedKeyByKeyInFileOrder) {
    const std::string text =
        "\xEF\xBB\xBF[names]\r\nb = 'x y' \r\n; c=comment\r\nno equals sign\r\n[other]\nd=1\n"
        "[NAMES\na=\"\"\nB=second\n";
    std::vector<std::string> seen;
    IniFile::ForEachValue(text, "Names", [&](std::string_view key, std::string_view value) {
        seen.push_back(std::string(key) + "|" + std::string(value));
    });
    EXPECT_EQ(seen, (std::vector<std::string>{"b|x y", "a|", "B|second"}));
    // The first of a repeated key is what Value gives.
    EXPECT_EQ(IniFile::ValueIn(text, "names", "b"), "x y");
}

TEST(IniFile, LongValuesAreCutAfterTheQuotesAreRemoved) {
    const std::string exact(IniFile::MaxValueLength, 'x');
    EXPECT_EQ(IniFile::Parse("[S]\nk=" + exact).Value("S", "k"), exact);
    EXPECT_EQ(IniFile::Parse("[S]\nk=" + exact + "yz").Value("S", "k"), exact);
    EXPECT_EQ(IniFile::Parse("[S]\nk=\"" + exact + "y\"").Value("S", "k"), exact);
    EXPECT_EQ(IniFile::ValueIn("[S]\nk=\"" + exact + "y\"", "S", "k"), exact);
}

TEST(IniFile, SettingRewritesTheKeyInPlaceAndKeepsEverythingElse) {
    IniFile file = IniFile::Parse(
        "; Tavrolin\n[Ports]\nCOM1=/dev/ttyUSB0\n\n[SYSTEM]\ncom = 1\nunknown line\n"
        "Fremd=x\n\n; Ende\n");
    // Set twice: the second time the key's spelling comes from the line the first one wrote.
    EXPECT_TRUE(file.SetValue("SYSTEM", "COM", std::string(100, 'x')));
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
