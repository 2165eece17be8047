// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/FileSystem.h"

#include <filesystem>
#include <system_error>

#include "base/Win1252.h"

namespace tavrolin {

OutputFile::~OutputFile() = default;
FileSystem::~FileSystem() = default;

std::string_view FileErrorReason(FileError error, FileAccess access) {
    switch (error) {
        case FileError::NotFound:
            return access == FileAccess::Read ? ": Es gibt sie nicht."
                                              : ": Der Ordner existiert nicht.";
        case FileError::AccessDenied:
            return ": Keine Berechtigung.";
        case FileError::Busy:
            return ": Sie ist von einem anderen Programm geöffnet.";
        case FileError::NoSpace:
            return ": Der Datenträger ist voll.";
        case FileError::Folder:
            return ": Das ist ein Ordner.";
        case FileError::NotAFile:
            return ": Das ist keine gewöhnliche Datei.";
        case FileError::TooBig:
            return ": Sie ist zu groß.";
        case FileError::None:
        case FileError::Other:
            break;
    }
    return ".";
}

std::string ShownFilePath(const std::string& name) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(name, error);
    return FileNameToUtf8(error ? name : absolute.lexically_normal().string());
}

}  // namespace tavrolin
