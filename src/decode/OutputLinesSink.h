// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "decode/ReadingSink.h"

namespace tavrolin {

// The readings of the recorded sensors, one line each, to an output of the caller's (the
// logger's stdout): as the report lines in UTF-8, or as JSON Lines (AppendReadingJson). The
// lines of one poll go out together, each ending in "\n", in one call.
class OutputLinesSink : public ReadingSink {
public:
    enum class Format { Text, Json };
    using LineOutput = std::function<void(std::string_view lines)>;
    explicit OutputLinesSink(LineOutput output) : m_output(std::move(output)) {}

    void SetFormat(Format format) { m_format = format; }
    void SetMask(RecordingMask mask) { m_mask = mask; }
    void Accept(const Reading& reading, std::string_view line) override;
    void EndOfPoll() override;

private:
    LineOutput m_output;
    Format m_format = Format::Text;
    RecordingMask m_mask = kAllRecordings;
    std::string m_lines;  // reused: no allocation once warm
};

}  // namespace tavrolin
