// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/PresentReport.h"

namespace tavrolin {

void PresentReport(std::string_view line, ReceivedList& list) {
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
}

void ListSink::AcceptLine(std::string_view line) {
    if (m_list != nullptr) {
        PresentReport(line, *m_list);
    }
}

}  // namespace tavrolin
