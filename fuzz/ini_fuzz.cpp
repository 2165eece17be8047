// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes as a profile: parsing and rewriting never crash, a rewrite changes nothing but
// the one key written, and a written value reads back as written.
//
// Input: byte 0 chooses the key and the kind of write, byte 1 is the length of the value,
// then the value, then the profile.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "MemoryFileSystem.h"
#include "app/IniFile.h"
#include "app/SettingsStore.h"

namespace {

using tavrolin::FileError;
using tavrolin::IniFile;
using tavrolin::SettingsStore;

constexpr const char* kKeys[] = {
    "Filename",  "Links",          "Oben",       "COM",       "Mit MUX",  "MUX Adresse",
    "Protokoll", "Helligkeit Adr", "Pyrano Adr", "Regen Adr", "Wind Adr",
};
constexpr std::size_t kKeyCount = sizeof kKeys / sizeof kKeys[0];
const std::string kPath = "/home/user/.config/tavrolin.INI";

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Serializing is the identity on what a profile means, and a second round changes no byte.
void CheckRoundTrip(std::string_view text) {
    const IniFile parsed = IniFile::Parse(text);
    const std::string once = parsed.Serialize();
    const IniFile reparsed = IniFile::Parse(once);
    Check(reparsed.Serialize() == once);
    for (const char* key : kKeys) {
        Check(parsed.Value("SYSTEM", key) == reparsed.Value("SYSTEM", key));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const std::size_t keyIndex = data[0] % kKeyCount;
    const bool writeInt = (data[0] & 0x40) != 0;
    const bool failReplace = (data[0] & 0x80) != 0;
    const std::size_t valueLength = std::min<std::size_t>(data[1], size - 2);
    const std::string value(reinterpret_cast<const char*>(data + 2), valueLength);
    const std::string profile(reinterpret_cast<const char*>(data + 2 + valueLength),
                              size - 2 - valueLength);

    CheckRoundTrip(profile);

    tavrolin::testing::MemoryFileSystem fs;
    fs.files[kPath] = profile;
    fs.replaceError = failReplace ? FileError::NoSpace : FileError::None;
    SettingsStore store(fs, kPath);

    std::optional<std::string> before[kKeyCount];
    const IniFile parsed = IniFile::Parse(profile);
    for (std::size_t i = 0; i < kKeyCount; ++i) {
        before[i] = parsed.Value("SYSTEM", kKeys[i]);
        Check(store.ReadString("SYSTEM", kKeys[i], "default") == before[i].value_or("default"));
        (void)store.ReadInt("SYSTEM", kKeys[i], 7);
    }

    const char* key = kKeys[keyIndex];
    int number = 0;
    std::memcpy(&number, value.data(), std::min(value.size(), sizeof number));
    const bool valueFits = value.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos;
    const bool written =
        writeInt ? store.WriteInt("SYSTEM", key, number) : store.WriteString("SYSTEM", key, value);
    Check(written == ((writeInt || valueFits) && (!failReplace || fs.replaceCount == 0)));
    if (!written) {
        Check(fs.files[kPath] == profile);
        return 0;
    }
    if (writeInt) {
        Check(store.ReadInt("SYSTEM", key, number ^ 1) == number);
    } else {
        Check(store.ReadString("SYSTEM", key, "") == value);
    }
    const IniFile after = IniFile::Parse(fs.files[kPath]);
    for (std::size_t i = 0; i < kKeyCount; ++i) {
        if (i != keyIndex) {
            Check(after.Value("SYSTEM", kKeys[i]) == before[i]);
        }
    }
    CheckRoundTrip(fs.files[kPath]);
    return 0;
}
