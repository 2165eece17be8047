// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/FileSystem.h"

namespace tavrolin {

// The program's profile: an INI file of sections and "key=value" lines. Every read reads the
// file anew and every write replaces it in one step, so a crash never leaves a torn profile
// and a failed write loses nothing that was there. Section and key names match without
// regard to case.
class SettingsStore {
public:
    // A profile is read up to this size; a bigger one counts as unreadable.
    static constexpr std::size_t MaxReadBytes = std::size_t{64} << 20;
    // No write makes the profile grow beyond this.
    static constexpr std::size_t MaxWriteBytes = std::size_t{1} << 20;

    SettingsStore(FileSystem& fileSystem, std::string profilePath);

    // Why the profile cannot be read: None when it can, NotFound when there is none; with
    // either, every read gives what the profile holds or its default. Any other answer means
    // a profile is there that cannot be read (a folder, no permission, a device, too big):
    // every read then gives its default and no write touches it, and the program should say
    // so rather than run quietly on the defaults.
    FileError ReadError() const;

    // A missing key (or file, or section) yields the default; otherwise the value is read as
    // a signed decimal number: leading blanks, an optional sign, digits up to the first other
    // character; no digits give 0.
    int ReadInt(std::string_view section, std::string_view key, int defaultValue) const;
    // A missing key yields the default; a key with an empty value yields "". Quotes that
    // enclose the whole value are removed; the value is cut to 4095 characters.
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;
    // Every key of the section with its value, in file order, from one reading of the file;
    // of a key that is there twice, the first is the one ReadString gives.
    void ReadSection(
        std::string_view section,
        const std::function<void(std::string_view key, std::string_view value)>& visit) const;

    // Replace the key's value in place, or append the key at the end of its section,
    // creating the file and the section as needed. False when the file could not be written;
    // then the file is as it was. Also false, with the file left alone, when a profile is
    // there but cannot be read (writing would lose its content), when the profile would grow
    // beyond MaxWriteBytes, or for a name or value a profile line cannot hold (a line end,
    // a zero byte; see IniFile::SetValue).
    bool WriteInt(std::string_view section, std::string_view key, int value);
    bool WriteString(std::string_view section, std::string_view key, std::string_view value);

    const std::string& ProfilePath() const { return m_profilePath; }

private:
    std::optional<std::string> Load(FileError& error) const;

    FileSystem& m_fileSystem;
    std::string m_profilePath;
};

// Whether an error of ReadError means a profile that is there but cannot be read.
inline bool ProfileUnreadable(FileError error) {
    return error != FileError::None && error != FileError::NotFound;
}

// The user's message for a profile that is there but cannot be read, naming the file: one
// sentence in UTF-8.
std::string UnreadableProfileText(std::string_view profilePath, FileError error);

// Why a program that must not run on the defaults cannot use the profile (German, UTF-8), or
// nothing when it can: it is there but cannot be read, or it was named and is not there.
// (Running on the defaults instead of a profile that is there would open COM1, which may be
// the console, and send it command frames.)
std::optional<std::string> ProfileProblem(const SettingsStore& store, bool named);

}  // namespace tavrolin
