// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/ReportLines.h"

#include "decode/TelegramDecoder.h"

namespace tavrolin {

void ReportLines::Accept(const Reading& reading) {
    char line[kReportLineCapacity];
    const std::string_view text(line, FormatReportLine(reading, line));
    for (ReportLineSink* sink : *this) {
        sink->AcceptLine(text);
    }
}

}  // namespace tavrolin
