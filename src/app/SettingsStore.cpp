// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SettingsStore.h"

#include <optional>
#include <utility>

#include "app/DecimalText.h"
#include "app/IniFile.h"

namespace tavrolin {

SettingsStore::SettingsStore(FileSystem& fileSystem, std::string profilePath)
    : m_fileSystem(fileSystem), m_profilePath(std::move(profilePath)) {}

int SettingsStore::ReadInt(std::string_view section, std::string_view key, int defaultValue) const {
    // Read anew every time: the profile may have been edited while the program ran.
    const std::optional<std::string> content =
        m_fileSystem.ReadFile(m_profilePath, MaxProfileBytes);
    if (!content) {
        return defaultValue;
    }
    const std::optional<std::string> value = IniFile::Parse(*content).Value(section, key);
    return value ? ParseDecimal(*value) : defaultValue;
}

std::string SettingsStore::ReadString(std::string_view section, std::string_view key,
                                      std::string_view defaultValue) const {
    const std::optional<std::string> content =
        m_fileSystem.ReadFile(m_profilePath, MaxProfileBytes);
    if (!content) {
        return std::string(defaultValue);
    }
    return IniFile::Parse(*content).Value(section, key).value_or(std::string(defaultValue));
}

bool SettingsStore::WriteInt(std::string_view section, std::string_view key, int value) {
    return WriteString(section, key, std::to_string(value));
}

bool SettingsStore::WriteString(std::string_view section, std::string_view key,
                                std::string_view value) {
    const std::optional<std::string> old = m_fileSystem.ReadFile(m_profilePath, MaxProfileBytes);
    // Something that is there but cannot be read (too big, no permission, a folder) would be
    // replaced by our one section: leave it alone.
    if (!old && m_fileSystem.Exists(m_profilePath)) {
        return false;
    }
    IniFile profile = IniFile::Parse(old.value_or(std::string()));
    if (!profile.SetValue(section, key, value)) {
        return false;
    }
    std::string content = profile.Serialize();
    // A profile beyond the limit would read as missing from then on.
    if (content.size() > MaxProfileBytes) {
        return false;
    }
    // The window writes all its settings at every close, mostly unchanged; each replace
    // costs a flush to the disk.
    if (old && content == *old) {
        return true;
    }
    return m_fileSystem.ReplaceFile(m_profilePath, content) == FileError::None;
}

}  // namespace tavrolin
