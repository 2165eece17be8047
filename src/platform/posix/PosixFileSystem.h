// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "base/FileSystem.h"

namespace tavrolin {

// Files on POSIX: exclusive writers through flock, every write straight to the kernel,
// replacement through a temporary file in the same folder and rename.
class PosixFileSystem : public FileSystem {
public:
    std::unique_ptr<OutputFile> OpenForWriting(const std::string& path, OpenMode mode,
                                               FileError& error) override;
    std::optional<std::string> ReadFile(const std::string& path, std::size_t maxBytes,
                                        FileError& error) override;
    FileError ReplaceFile(const std::string& path, std::string_view content) override;
};

// The one place where errno becomes a FileError.
FileError FileErrorFromErrno(int error);

}  // namespace tavrolin
