// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/QtReceivedList.h"

namespace tavrolin {

void QtReceivedList::RemoveLine(int index) {
    if (index < 0 || index >= LineCount()) {
        return;
    }
    delete m_widget.takeItem(index);
    // The current line stays on its line, and is gone with it.
    if (m_current == index) {
        m_current = -1;
    } else if (m_current > index) {
        --m_current;
    }
}

void QtReceivedList::AppendLine(std::string_view line) {
    m_widget.addItem(QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())));
}

void QtReceivedList::SetCurrentLine(int index) {
    m_current = index >= 0 && index < LineCount() ? index : -1;
    if (m_current >= 0) {
        // The list takes no selection, so the line is only made current (the focus frame)
        // and brought into view.
        m_widget.setCurrentRow(m_current, QItemSelectionModel::NoUpdate);
        m_widget.scrollToItem(m_widget.item(m_current));
    }
}

void QtReceivedList::Clear() {
    m_widget.clear();
    m_current = -1;
}

}  // namespace tavrolin
