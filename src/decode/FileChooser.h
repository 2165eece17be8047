// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tavrolin {

struct FileFilter {
    std::string label;    // UTF-8, as shown
    std::string pattern;  // e.g. "*.dat"
    bool operator==(const FileFilter&) const = default;
};

// The file dialog of ". . .": an open dialog that also accepts a name that does not exist
// yet. Returns the full path chosen (file-system bytes), or nothing when cancelled.
class FileChooser {
public:
    virtual ~FileChooser();
    virtual std::optional<std::string> ChooseFile(const std::vector<FileFilter>& filters) = 0;
};

}  // namespace tavrolin
