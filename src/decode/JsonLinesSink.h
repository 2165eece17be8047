// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "decode/ReadingSink.h"

namespace tavrolin {

// The readings of the recorded sensors as JSON Lines (AppendReadingJson), one object per
// reading, to an output of the caller's (the logger's stdout with --json): the lines of one
// poll together, each ending in "\n", in one call.
class JsonLinesSink : public ReadingSink {
public:
    using LineOutput = std::function<void(std::string_view lines)>;
    explicit JsonLinesSink(LineOutput output) : m_output(std::move(output)) {}

    void SetMask(RecordingMask mask) { m_mask = mask; }
    void Accept(const Reading& reading, std::string_view line) override;
    void EndOfPoll() override;

private:
    LineOutput m_output;
    RecordingMask m_mask = kAllRecordings;
    std::string m_lines;  // reused: no allocation once warm
};

}  // namespace tavrolin
