// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/SettingsStore.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>

#include "MemoryFileSystem.h"

namespace tavrolin {
namespace {

using testing::MemoryFileSystem;

const std::string kProfile = "/home/user/.config/tavrolin.INI";

struct IntSetting {
    const char* key;
    int defaultValue;
};

// The integer settings of the main window with their defaults; "Filename" is the string.
const IntSetting kIntSettings[] = {
    {"Links", 0},       {"Oben", 0},       {"COM", 0},      {"Mit MUX", 0},
    {"MUX Adresse", 0}, {"Regen Adr", 7},  {"Wind Adr", 7}, {"Helligkeit Adr", 7},
    {"Pyrano Adr", 7},  {"Protokoll", -1},
};

class SettingsStoreTest : public ::testing::Test {
protected:
    void ExpectDefaults(const char* why) {
        for (const IntSetting& setting : kIntSettings) {
            EXPECT_EQ(store.ReadInt("SYSTEM", setting.key, setting.defaultValue),
                      setting.defaultValue)
                << why << ": " << setting.key;
        }
        EXPECT_EQ(store.ReadString("SYSTEM", "Filename", "protokoll.dat"), "protokoll.dat") << why;
    }

    MemoryFileSystem fs;
    SettingsStore store{fs, kProfile};
};

TEST_F(SettingsStoreTest, WithoutAUsableProfileEverySettingHasItsDefault) {
    ExpectDefaults("no file");
    EXPECT_EQ(store.ReadError(), FileError::NotFound);
    fs.files[kProfile] = "[Ports]\r\nCOM=3\r\nFilename=x\r\n";
    ExpectDefaults("no section");
    EXPECT_EQ(store.ReadError(), FileError::None);
    fs.files[kProfile] = "[SYSTEM]\r\nCOM=3\r\n";
    for (const FileError error : {FileError::AccessDenied, FileError::Folder, FileError::Other}) {
        fs.readError = error;
        ExpectDefaults("unreadable");
        EXPECT_EQ(store.ReadError(), error);
        EXPECT_TRUE(ProfileUnreadable(store.ReadError()));
    }
    fs.readError = FileError::None;
    fs.files[kProfile] = "[SYSTEM]\r\nCOM=3\r\n" + std::string(SettingsStore::MaxReadBytes, ';');
    ExpectDefaults("too big");
    EXPECT_EQ(store.ReadError(), FileError::TooBig);
}

TEST_F(SettingsStoreTest, AnEmptyFileNameIsReadAsEmpty) {
    fs.files[kProfile] = "[SYSTEM]\r\nFilename=\r\n";
    EXPECT_EQ(store.ReadString("SYSTEM", "Filename", "protokoll.dat"), "");
}

TEST_F(SettingsStoreTest, AFirstCloseWritesTheKeysInWriteOrder) {
    const std::pair<const char*, int> writes[] = {
        {"Links", -4},         {"Oben", 120},       {"COM", 2},
        {"Mit MUX", 1},        {"MUX Adresse", 36}, {"Protokoll", -1},
        {"Helligkeit Adr", 7}, {"Pyrano Adr", 5},   {"Regen Adr", 0},
        {"Wind Adr", 7},
    };
    EXPECT_TRUE(store.WriteString("SYSTEM", "Filename", "/var/log/wetter.dat"));
    for (const auto& [key, value] : writes) {
        EXPECT_TRUE(store.WriteInt("SYSTEM", key, value)) << key;
    }
    EXPECT_EQ(fs.files[kProfile],
              "[SYSTEM]\r\nFilename=/var/log/wetter.dat\r\nLinks=-4\r\nOben=120\r\nCOM=2\r\n"
              "Mit MUX=1\r\nMUX Adresse=36\r\nProtokoll=-1\r\nHelligkeit Adr=7\r\n"
              "Pyrano Adr=5\r\nRegen Adr=0\r\nWind Adr=7\r\n");
    // And a second close rewrites them in place: same order, new values, nothing appended.
    EXPECT_TRUE(store.WriteInt("SYSTEM", "COM", 0));
    EXPECT_TRUE(store.WriteInt("SYSTEM", "Protokoll", 2097151));
    EXPECT_EQ(store.ReadInt("SYSTEM", "COM", 3), 0);
    EXPECT_EQ(store.ReadInt("SYSTEM", "Protokoll", 0), 2097151);
    EXPECT_EQ(fs.files[kProfile],
              "[SYSTEM]\r\nFilename=/var/log/wetter.dat\r\nLinks=-4\r\nOben=120\r\nCOM=0\r\n"
              "Mit MUX=1\r\nMUX Adresse=36\r\nProtokoll=2097151\r\nHelligkeit Adr=7\r\n"
              "Pyrano Adr=5\r\nRegen Adr=0\r\nWind Adr=7\r\n");
}

TEST_F(SettingsStoreTest, TheDefaultRecordingMaskSurvivesARoundTrip) {
    const int mask = store.ReadInt("SYSTEM", "Protokoll", -1);
    EXPECT_TRUE(store.WriteInt("SYSTEM", "Protokoll", mask));
    EXPECT_EQ(fs.files[kProfile], "[SYSTEM]\r\nProtokoll=-1\r\n");
    EXPECT_EQ(store.ReadInt("SYSTEM", "Protokoll", 0), -1);
    for (const int value : {INT_MIN, INT_MAX}) {
        EXPECT_TRUE(store.WriteInt("SYSTEM", "Links", value));
        EXPECT_EQ(store.ReadInt("SYSTEM", "Links", 0), value);
    }
}

TEST_F(SettingsStoreTest, IntegersAreReadLikeAtoiAndSaturate) {
    const std::pair<const char*, int> cases[] = {
        {"  -12abc", -12},
        {"abc", 0},
        {"", 0},
        {"+7", 7},
        {"- 5", 0},
        {"\"5\"", 5},
        {"0x10", 0},
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
        {"99999999999", INT_MAX},
        {"-99999999999", INT_MIN},
        {"000000000000000000000042", 42},
        {"18446744073709551617", INT_MAX},
    };
    for (const auto& [text, expected] : cases) {
        fs.files[kProfile] = std::string("[SYSTEM]\r\nCOM=") + text + "\r\n";
        EXPECT_EQ(store.ReadInt("SYSTEM", "COM", 3), expected) << text;
    }
}

TEST_F(SettingsStoreTest, GarbageReadsAsDefaultsAndSurvivesAWrite) {
    // Random bytes with zero bytes but without line ends: one long line that a write keeps.
    std::mt19937 random(20240611);
    std::string garbage(200000, '\0');
    for (char& c : garbage) {
        do {
            c = static_cast<char>(random());
        } while (c == '\r' || c == '\n');
    }
    fs.files[kProfile] = garbage;
    ExpectDefaults("garbage");
    EXPECT_TRUE(store.WriteInt("SYSTEM", "COM", 2));
    EXPECT_EQ(fs.files[kProfile], garbage + "\r\n[SYSTEM]\r\nCOM=2\r\n");
    EXPECT_EQ(store.ReadInt("SYSTEM", "COM", 0), 2);

    fs.files[kProfile] = "[SYSTEM]\r\nFilename=" + std::string(500000, 'x');
    EXPECT_EQ(store.ReadString("SYSTEM", "Filename", ""), std::string(4095, 'x'));
}

TEST_F(SettingsStoreTest, AFailedWriteKeepsTheOldProfile) {
    const std::string old = "[SYSTEM]\r\nCOM=1\r\n";
    fs.files[kProfile] = old;
    fs.replaceError = FileError::AccessDenied;
    EXPECT_FALSE(store.WriteInt("SYSTEM", "COM", 2));
    EXPECT_FALSE(store.WriteString("SYSTEM", "Filename", "neu.dat"));
    EXPECT_EQ(fs.replaceCount, 2);
    EXPECT_EQ(fs.files[kProfile], old);
    EXPECT_EQ(store.ReadInt("SYSTEM", "COM", 0), 1);
}

TEST_F(SettingsStoreTest, WritesThatWouldLoseOrBreakTheProfileAreRefused) {
    const std::string old = "[SYSTEM]\r\nCOM=1\r\n";
    fs.files[kProfile] = old;
    // Unreadable: writing our one key would throw away whatever else is in there.
    fs.readError = FileError::AccessDenied;
    EXPECT_FALSE(store.WriteInt("SYSTEM", "COM", 2));
    fs.readError = FileError::None;
    // The profile does not grow beyond the write limit.
    EXPECT_FALSE(
        store.WriteString("SYSTEM", "Filename", std::string(SettingsStore::MaxWriteBytes, 'x')));
    // A line end in a file name would plant lines of its own in the profile.
    EXPECT_FALSE(store.WriteString("SYSTEM", "Filename", "a.dat\r\nCOM=3"));
    EXPECT_EQ(fs.replaceCount, 0);
    EXPECT_EQ(fs.files[kProfile], old);
}

TEST_F(SettingsStoreTest, AnUnchangedValueIsNotWrittenAgain) {
    EXPECT_TRUE(store.WriteInt("SYSTEM", "COM", 1));
    EXPECT_TRUE(store.WriteInt("SYSTEM", "COM", 1));
    EXPECT_EQ(fs.replaceCount, 1);
    // A profile with other line ends is brought to CR LF by the next write.
    fs.files[kProfile] = "[SYSTEM]\nCOM=1\n";
    EXPECT_TRUE(store.WriteInt("SYSTEM", "COM", 1));
    EXPECT_EQ(fs.replaceCount, 2);
    EXPECT_EQ(fs.files[kProfile], "[SYSTEM]\r\nCOM=1\r\n");
}

}  // namespace
}  // namespace tavrolin
