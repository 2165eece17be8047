// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/JsonLinesSink.h"

#include "decode/ReadingJson.h"

namespace tavrolin {

void JsonLinesSink::Accept(const Reading& reading, std::string_view) {
    if (!IsRecorded(reading, m_mask)) {
        return;
    }
    m_json.clear();
    AppendReadingJson(reading, m_json);
    m_output(m_json);
}

}  // namespace tavrolin
