// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/FileSystem.h"

#include <filesystem>

namespace tavrolin {

OutputFile::~OutputFile() = default;
FileSystem::~FileSystem() = default;

bool FileSystem::Exists(const std::string& path) {
    // A path the system cannot look at (no permission on a folder) counts as taken: better
    // to leave it alone than to write over something unseen.
    std::error_code error;
    return std::filesystem::status(path, error).type() != std::filesystem::file_type::not_found;
}

}  // namespace tavrolin
