// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/QtReceivedList.h"

namespace tavrolin {

void QtReceivedList::DeleteString(int index) {
    if (index < 0 || index >= GetCount()) {
        return;
    }
    delete m_widget.takeItem(index);
    // As in a list box: the selection stays on its line, and is gone with it.
    if (m_curSel == index) {
        m_curSel = -1;
    } else if (m_curSel > index) {
        --m_curSel;
    }
}

void QtReceivedList::AddString(std::string_view line) {
    m_widget.addItem(QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())));
}

void QtReceivedList::SetCurSel(int index) {
    m_curSel = index >= 0 && index < GetCount() ? index : -1;
    if (m_curSel >= 0) {
        // The list takes no selection, so the line is only made current (the focus frame)
        // and brought into view.
        m_widget.setCurrentRow(m_curSel, QItemSelectionModel::NoUpdate);
        m_widget.scrollToItem(m_widget.item(m_curSel));
    }
}

void QtReceivedList::ResetContent() {
    m_widget.clear();
    m_curSel = -1;
}

}  // namespace tavrolin
