// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes as a profile: parsing and rewriting never crash, a rewrite changes nothing but
// the one key written, and a written value reads back as written.
//
// Input: byte 0 chooses the key and the kind of write, byte 1 is the length of the value,
// then the value, then the profile.
//
// The profile lives in memory; the store over it is made once, and every input replaces the
// file's content.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "MemoryFileSystem.h"
#include "settings/DecimalText.h"
#include "settings/IniFile.h"
#include "settings/SettingsStore.h"

namespace {

using tavrolin::FileError;
using tavrolin::IniFile;
using tavrolin::SettingsStore;

constexpr const char* kKeys[] = {
    "Filename",  "Links",          "Oben",       "COM",       "Mit MUX",  "MUX Adresse",
    "Protokoll", "Helligkeit Adr", "Pyrano Adr", "Regen Adr", "Wind Adr",
};
constexpr std::size_t kKeyCount = sizeof kKeys / sizeof kKeys[0];
const std::string kPath = "/p.INI";

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Parsing splits at the line ends that serializing puts in, so the same bytes mean the same
// lines: a second round of parsing and serializing changes no byte.
void CheckRoundTrip(const std::string& serialized) {
    Check(IniFile::Parse(serialized).Serialize() == serialized);
}

struct Profile {
    tavrolin::testing::MemoryFileSystem fs;
    SettingsStore store{fs, kPath};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const std::size_t keyIndex = data[0] % kKeyCount;
    const bool writeInt = (data[0] & 0x40) != 0;
    const bool failReplace = (data[0] & 0x80) != 0;
    const std::size_t valueLength = std::min<std::size_t>(data[1], size - 2);
    const std::string_view value(reinterpret_cast<const char*>(data + 2), valueLength);
    const std::string_view profile(reinterpret_cast<const char*>(data + 2 + valueLength),
                                   size - 2 - valueLength);

    const IniFile parsed = IniFile::Parse(profile);

    static Profile p;
    tavrolin::testing::MemoryFileSystem& fs = p.fs;
    SettingsStore& store = p.store;
    fs.files[kPath] = profile;
    fs.replaceError = failReplace ? FileError::NoSpace : FileError::None;
    fs.replaceCount = 0;

    // Another key, chosen by the input, must keep its value: over many inputs that covers
    // every pair of written and kept key, at a fraction of the cost of all keys every time.
    const std::size_t other = (keyIndex + 1 + (data[1] ^ size) % (kKeyCount - 1)) % kKeyCount;
    // Read from the lines and, through the store, straight from the text: the same. No value
    // holds a line end, so a default of one tells a missing key from every value.
    const std::optional<std::string> before = parsed.Value("SYSTEM", kKeys[keyIndex]);
    Check(store.ReadString("SYSTEM", kKeys[keyIndex], "\n") == before.value_or("\n"));
    if (writeInt && before) {
        (void)tavrolin::ParseDecimal(*before);  // what the store's ReadInt makes of it
    }
    const std::optional<std::string_view> otherBefore =
        IniFile::ValueIn(profile, "SYSTEM", kKeys[other]);

    const char* key = kKeys[keyIndex];
    int number = 0;
    std::memcpy(&number, value.data(), std::min(value.size(), sizeof number));
    const bool valueFits =
        value.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
    const bool written =
        writeInt ? store.WriteInt("SYSTEM", key, number) : store.WriteString("SYSTEM", key, value);
    Check(written == ((writeInt || valueFits) && (!failReplace || fs.replaceCount == 0)));
    if (!written) {
        Check(fs.files[kPath] == profile);
        CheckRoundTrip(parsed.Serialize());
        return 0;
    }
    if (writeInt) {
        Check(store.ReadInt("SYSTEM", key, number ^ 1) == number);
    } else {
        Check(store.ReadString("SYSTEM", key, "") == value);
    }
    // The store wrote what a serialization gives, which a round trip leaves as it is. (The
    // lines of the profile it was parsed from are all in it but the one rewritten: one round
    // trip for each input is enough.)
    const std::string& file = fs.files[kPath];
    CheckRoundTrip(file);
    Check(IniFile::ValueIn(file, "SYSTEM", kKeys[other]) == otherBefore);
    return 0;
}
