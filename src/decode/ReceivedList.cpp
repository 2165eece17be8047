// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/ReceivedList.h"

namespace tavrolin {

ReceivedList::~ReceivedList() = default;

int MemoryList::GetCurSel() const {
    return m_curSel;
}

int MemoryList::GetCount() const {
    return static_cast<int>(m_lines.size());
}

void MemoryList::DeleteString(int index) {
    if (index < 0 || index >= GetCount()) {
        return;
    }
    m_lines.erase(m_lines.begin() + index);
    // As in a list box: the selection stays on its line, and is gone with it.
    if (m_curSel == index) {
        m_curSel = -1;
    } else if (m_curSel > index) {
        --m_curSel;
    }
}

void MemoryList::AddString(std::string_view line) {
    m_lines.emplace_back(line);
}

void MemoryList::SetCurSel(int index) {
    m_curSel = index >= 0 && index < GetCount() ? index : -1;
}

void MemoryList::ResetContent() {
    m_lines.clear();
    m_curSel = -1;
}

}  // namespace tavrolin
