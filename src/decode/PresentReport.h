// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

#include "decode/ProtocolFile.h"
#include "decode/ReceivedList.h"

namespace tavrolin {

// The most lines the received-data list holds.
inline constexpr int kMaxListLines = 51;

// Adds the report line (without line end) to the list, dropping the oldest beyond 51 and
// keeping the newest in view, then appends it to the file if the file is open.
void PresentReport(std::string_view line, ReceivedList& list, ProtocolFile& file);

}  // namespace tavrolin
