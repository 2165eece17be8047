// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/ReceivedList.h"

namespace tavrolin {

ReceivedList::~ReceivedList() = default;

int MemoryList::CurrentLine() const {
    return m_current;
}

int MemoryList::LineCount() const {
    return static_cast<int>(m_lines.size());
}

void MemoryList::RemoveLine(int index) {
    if (index < 0 || index >= LineCount()) {
        return;
    }
    m_lines.erase(m_lines.begin() + index);
    // The current line stays on its line, and is gone with it.
    if (m_current == index) {
        m_current = -1;
    } else if (m_current > index) {
        --m_current;
    }
}

void MemoryList::AppendLine(std::string_view line) {
    m_lines.emplace_back(line);
}

void MemoryList::SetCurrentLine(int index) {
    m_current = index >= 0 && index < LineCount() ? index : -1;
}

void MemoryList::Clear() {
    m_lines.clear();
    m_current = -1;
}

}  // namespace tavrolin
