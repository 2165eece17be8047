// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <set>
#include <string>

#include "base/FileSystem.h"

namespace tavrolin::testing {

// Files held in memory, keyed by path; folders are not modelled. Switches make reads,
// replaces and opens fail, as an unreadable profile or an unwritable folder would. The file
// system must outlive the OutputFiles it opened.
class MemoryFileSystem : public FileSystem {
public:
    std::unique_ptr<OutputFile> OpenForWriting(const std::string& path, OpenMode mode,
                                               FileError& error) override;
    std::optional<std::string> ReadFile(const std::string& path, std::size_t maxBytes,
                                        FileError& error) override;
    FileError ReplaceFile(const std::string& path, std::string_view content) override;

    std::map<std::string, std::string> files;
    FileError readError = FileError::None;     // ReadFile of a file that is there fails with this
    FileError replaceError = FileError::None;  // every ReplaceFile fails with this
    FileError openError = FileError::None;     // every OpenForWriting fails with this
    FileError writeError = FileError::None;    // every OutputFile::Write fails with this
    FileError closeError = FileError::None;    // every OutputFile::Close fails with this
    int replaceCount = 0;                      // ReplaceFile calls, failed ones included
    int writeCount = 0;                        // OutputFile::Write calls, failed ones included

private:
    friend class MemoryOutputFile;
    std::set<std::string> m_openForWriting;
};

}  // namespace tavrolin::testing
