// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string_view>

#include "decode/ReadingSink.h"

namespace tavrolin {

// Where the report lines go: the received list, the protocol file, the logger's text on
// stdout. The line is UTF-8, without line end; the protocol file converts it to
// Windows-1252.
class ReportLineSink : public PollSink {
public:
    virtual void AcceptLine(std::string_view line) = 0;
};

// Turns each reading into its report line, once, with the decoder's fixed buffer, and hands
// the line to every line sink, in the order they were added.
class ReportLines : public FanOut<ReportLineSink, 3> {
public:
    void Accept(const Reading& reading) override;
};

}  // namespace tavrolin
