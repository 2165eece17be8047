// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/JsonLinesSink.h"

#include "decode/ReadingJson.h"

namespace tavrolin {

void JsonLinesSink::Accept(const Reading& reading, std::string_view) {
    if (IsRecorded(reading, m_mask)) {
        AppendReadingJson(reading, m_lines);
        m_lines += '\n';
    }
}

void JsonLinesSink::EndOfPoll() {
    if (!m_lines.empty()) {
        m_output(m_lines);
        m_lines.clear();
    }
}

}  // namespace tavrolin
