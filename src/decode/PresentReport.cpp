// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/PresentReport.h"

namespace tavrolin {

void PresentReport(std::string_view line, ReceivedList& list) {
    // Both are taken before the list changes: the current line decides whether the view
    // follows the end, measured against the list as the user last saw it.
    const int current = list.CurrentLine();
    const int count = list.LineCount();
    if (count > kMaxListLines - 1) {
        list.RemoveLine(0);
    }
    list.AppendLine(line);
    if (current < 0 || current >= count - 1) {
        list.SetCurrentLine(list.LineCount() - 1);
    }
}

void ListSink::AcceptLine(std::string_view line) {
    if (m_list != nullptr) {
        PresentReport(line, *m_list);
    }
}

}  // namespace tavrolin
