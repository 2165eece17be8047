// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/PresentReport.h"

namespace tavrolin {

void PresentReport(std::string_view line, ReceivedList& list, ProtocolFile& file) {
    // Both are taken before the list changes: the selection decides whether the view
    // follows the end, measured against the list as the user last saw it.
    const int selected = list.GetCurSel();
    const int count = list.GetCount();
    if (count > kMaxListLines - 1) {
        list.DeleteString(0);
    }
    list.AddString(line);
    if (selected < 0 || selected >= count - 1) {
        list.SetCurSel(list.GetCount() - 1);
    }
    file.QueueRecordLine(line);
}

}  // namespace tavrolin

namespace tavrolin {

void PresentingSink::Accept(const Reading& reading, std::string_view line) {
    if (!IsRecorded(reading, m_mask)) {
        return;
    }
    if (m_list != nullptr) {
        PresentReport(line, *m_list, m_file);
    } else {
        m_file.QueueRecordLine(line);
    }
}

void PresentingSink::EndOfPoll() {
    m_file.WriteQueued();
}

std::optional<SinkNotice> PresentingSink::TakeNotice() {
    const std::optional<FileFailure> failure = m_file.TakeFailure();
    if (!failure) {
        return std::nullopt;
    }
    return SinkNotice{"Tavrolin", FileFailureText(*failure), MessageIcon::Exclamation};
}

}  // namespace tavrolin
