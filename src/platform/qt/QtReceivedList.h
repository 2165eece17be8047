// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QListWidget>

#include "decode/ReceivedList.h"

namespace tavrolin {

// The received-data list on a list widget. The list takes no selection from the user; the
// "selected" line is only the one the list policy last brought into view. Lines come as
// Windows-1252 bytes and are shown converted.
class QtReceivedList : public ReceivedList {
public:
    explicit QtReceivedList(QListWidget& widget) : m_widget(widget) {}

    int GetCurSel() const override { return m_curSel; }
    int GetCount() const override { return m_widget.count(); }
    void DeleteString(int index) override;
    void AddString(std::string_view line) override;
    void SetCurSel(int index) override;
    void ResetContent() override;

private:
    QListWidget& m_widget;
    int m_curSel = -1;
};

}  // namespace tavrolin
