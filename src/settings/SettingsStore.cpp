// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/SettingsStore.h"

#include <utility>

#include "base/Win1252.h"
#include "settings/DecimalText.h"
#include "settings/IniFile.h"

namespace tavrolin {

SettingsStore::SettingsStore(FileSystem& fileSystem, std::string profilePath)
    : m_fileSystem(fileSystem), m_profilePath(std::move(profilePath)) {}

std::optional<std::string> SettingsStore::Load(FileError& error) const {
    // Read anew every time: the profile may have been edited while the program ran.
    return m_fileSystem.ReadFile(m_profilePath, MaxReadBytes, error);
}

FileError SettingsStore::ReadError() const {
    FileError error = FileError::None;
    Load(error);
    return error;
}

int SettingsStore::ReadInt(std::string_view section, std::string_view key, int defaultValue) const {
    FileError error = FileError::None;
    const std::optional<std::string> content = Load(error);
    if (!content) {
        return defaultValue;
    }
    const std::optional<std::string_view> value = IniFile::ValueIn(*content, section, key);
    return value ? ParseDecimal(*value) : defaultValue;
}

std::string SettingsStore::ReadString(std::string_view section, std::string_view key,
                                      std::string_view defaultValue) const {
    FileError error = FileError::None;
    const std::optional<std::string> content = Load(error);
    if (!content) {
        return std::string(defaultValue);
    }
    return std::string(IniFile::ValueIn(*content, section, key).value_or(defaultValue));
}

void SettingsStore::ReadSection(
    std::string_view section,
    const std::function<void(std::string_view key, std::string_view value)>& visit) const {
    FileError error = FileError::None;
    if (const std::optional<std::string> content = Load(error)) {
        IniFile::ForEachValue(*content, section, visit);
    }
}

bool SettingsStore::WriteInt(std::string_view section, std::string_view key, int value) {
    return WriteString(section, key, std::to_string(value));
}

bool SettingsStore::WriteString(std::string_view section, std::string_view key,
                                std::string_view value) {
    FileError error = FileError::None;
    const std::optional<std::string> old = Load(error);
    // Something that is there but cannot be read would be replaced by our one section:
    // leave it alone.
    if (ProfileUnreadable(error)) {
        return false;
    }
    IniFile profile = IniFile::Parse(old ? std::string_view(*old) : std::string_view());
    if (!profile.SetValue(section, key, value)) {
        return false;
    }
    std::string content = profile.Serialize();
    if (content.size() > MaxWriteBytes) {
        return false;
    }
    // The window writes all its settings at every close, mostly unchanged; each replace
    // costs a flush to the disk.
    if (old && content == *old) {
        return true;
    }
    return m_fileSystem.ReplaceFile(m_profilePath, content) == FileError::None;
}

std::string UnreadableProfileText(std::string_view profilePath, FileError error) {
    std::string text = "Das Profil " + FileNameToUtf8(profilePath) + " läßt sich nicht lesen";
    if (error == FileError::TooBig) {
        return text + ": Es ist größer als " + std::to_string(SettingsStore::MaxReadBytes >> 20) +
               " MiB.";
    }
    // A missing profile is no error: the defaults are what it would hold.
    return text + std::string(error == FileError::NotFound
                                  ? "."
                                  : FileErrorReason(error, FileAccess::Read));
}

std::optional<std::string> ProfileProblem(const SettingsStore& store, bool named) {
    const FileError error = store.ReadError();
    if (error == FileError::NotFound && named) {
        return "Das Profil " + FileNameToUtf8(store.ProfilePath()) + " gibt es nicht.";
    }
    if (ProfileUnreadable(error)) {
        return UnreadableProfileText(store.ProfilePath(), error);
    }
    return std::nullopt;
}

}  // namespace tavrolin
