// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "decode/FileChooser.h"
#include "decode/ProtocolFile.h"

namespace tavrolin {

// The ". . ." button: lets the user choose another protocol file and writes to it from now
// on, after whatever it already holds. Returns true when a file was chosen (the name is then
// the chosen path, whether or not it could be opened); false when the choice was cancelled,
// and nothing changed.
bool ChooseProtocolFile(FileChooser& chooser, std::string& protocolFileName, ProtocolFile& file);

}  // namespace tavrolin
