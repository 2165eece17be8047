// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/ProtocolFileChoice.h"

#include <vector>

namespace tavrolin {

bool ChooseProtocolFile(FileChooser& chooser, std::string& protocolFileName, ProtocolFile& file) {
    const std::vector<FileFilter> filters = {{"*.dat", "*.dat"}, {"Alle Dateien (*.*)", "*.*"}};
    // Records arriving while the chooser is open still go to the current file.
    const std::optional<std::string> chosen = chooser.ChooseFile(filters);
    if (!chosen || chosen->empty()) {
        return false;
    }
    protocolFileName = *chosen;
    if (file.IsOpen()) {
        file.CloseFile();
    }
    // Appended to, never emptied: choosing the file already in use, or an older log by
    // mistake, must not throw away what it holds.
    file.OpenForAppend(protocolFileName);
    return true;
}

}  // namespace tavrolin
