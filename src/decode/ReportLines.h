// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string_view>

#include "decode/ReadingSink.h"

namespace tavrolin {

// Where the report lines go: the received list, the protocol file, the logger's text on
// stdout. The line is Windows-1252, without line end.
class ReportLineSink {
public:
    virtual ~ReportLineSink();
    virtual void AcceptLine(std::string_view line) = 0;
    virtual void EndOfPoll();
    virtual std::optional<SinkNotice> TakeNotice();
};

// Turns each reading into its report line, once, with the decoder's fixed buffer, and hands
// the line to every line sink, in the order they were added.
class ReportLines : public ReadingSink {
public:
    void Add(ReportLineSink& sink) { m_sinks.Add(sink); }
    void Accept(const Reading& reading) override;
    void EndOfPoll() override { m_sinks.EndOfPoll(); }
    std::optional<SinkNotice> TakeNotice() override { return m_sinks.TakeNotice(); }

private:
    SinkList<ReportLineSink, 3> m_sinks;
};

}  // namespace tavrolin
