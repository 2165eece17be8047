// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

#include "decode/ProtocolFile.h"
#include "decode/ReadingSink.h"
#include "decode/ReceivedList.h"

namespace tavrolin {

// The most lines the received-data list holds.
inline constexpr int kMaxListLines = 51;

// Adds the report line (without line end) to the list, dropping the oldest beyond 51 and
// keeping the newest in view, then queues it for the file if the file is open (the end of
// the poll writes what is queued: ProtocolFile::WriteQueued).
void PresentReport(std::string_view line, ReceivedList& list, ProtocolFile& file);

// The received list and the protocol file as one sink: the readings of the sensors the
// recording mask selects are presented there, and the lines of a poll reach the file in one
// write at its end. A failed write becomes the window's message, told after the poll.
class PresentingSink : public ReadingSink {
public:
    PresentingSink(ReceivedList* list, ProtocolFile& file, RecordingMask mask = kAllRecordings)
        : m_list(list), m_file(file), m_mask(mask) {}

    void SetMask(RecordingMask mask) { m_mask = mask; }
    RecordingMask Mask() const { return m_mask; }
    void SetList(ReceivedList* list) { m_list = list; }

    void Accept(const Reading& reading, std::string_view line) override;
    void EndOfPoll() override;
    std::optional<SinkNotice> TakeNotice() override;

private:
    ReceivedList* m_list;
    ProtocolFile& m_file;
    RecordingMask m_mask;
};

}  // namespace tavrolin
