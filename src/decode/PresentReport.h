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
// keeping the newest in view, then appends it to the file if the file is open.
void PresentReport(std::string_view line, ReceivedList& list, ProtocolFile& file);

// The received list and the protocol file as one sink: the readings of the sensors the
// recording mask selects are presented there. Without a list (the headless logger, whose
// list nobody would see) they go to the file alone.
class PresentingSink : public ReadingSink {
public:
    PresentingSink(ReceivedList* list, ProtocolFile& file, RecordingMask mask = kAllRecordings)
        : m_list(list), m_file(file), m_mask(mask) {}

    void SetRecordingMask(RecordingMask mask) override { m_mask = mask; }
    RecordingMask Mask() const { return m_mask; }
    void SetList(ReceivedList* list) { m_list = list; }

    void Accept(const Reading& reading, std::string_view line) override;

private:
    ReceivedList* m_list;
    ProtocolFile& m_file;
    RecordingMask m_mask;
};

}  // namespace tavrolin
