// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/Clock.h"
#include "decode/ProtocolFile.h"
#include "decode/ReportLines.h"

namespace tavrolin {

// The protocol file as a sink of report lines: the lines of a poll reach the file in one
// write at its end. A failed write closes the file and is said after the poll, in the
// file's own words. The window then leaves the file closed until the user chooses one (its
// list still shows the records); a logger, which runs for months, tries again
// (ReopenAfterFailure).
class ProtocolFileSink : public ReportLineSink {
public:
    explicit ProtocolFileSink(ProtocolFile& file) : m_file(file) {}

    // After a failed write, the file of that name is opened again and appended to at most
    // every retryMs, and only with a line to write (a write is what shows whether there is
    // room again). The failure is said once, with whileFailing after it (where the records
    // go meanwhile), and the first write that works again is said too.
    void ReopenAfterFailure(std::string name, CoarseClock& clock, int64_t retryMs,
                            std::string whileFailing);

    void AcceptLine(std::string_view line) override;
    void EndOfPoll() override;
    std::optional<SinkNotice> TakeNotice() override;

private:
    struct Reopening {
        std::string name;
        CoarseClock& clock;
        int64_t retryMs;
        std::string whileFailing;
    };

    ProtocolFile& m_file;
    std::optional<Reopening> m_reopen;
    bool m_failing = false;  // with reopening: a write failed, and none has worked since
    int64_t m_lastTryMs = 0;
    std::optional<SinkNotice> m_notice;
};

}  // namespace tavrolin
