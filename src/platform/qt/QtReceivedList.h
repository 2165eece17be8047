// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QListWidget>

#include "decode/ReceivedList.h"

namespace tavrolin {

// The received-data list on a list widget. The list takes no selection from the user; the
// current line is the one the list policy last brought into view. Lines come as UTF-8.
class QtReceivedList : public ReceivedList {
public:
    explicit QtReceivedList(QListWidget& widget) : m_widget(widget) {}

    int CurrentLine() const override { return m_current; }
    int LineCount() const override { return m_widget.count(); }
    void RemoveLine(int index) override;
    void AppendLine(std::string_view line) override;
    void SetCurrentLine(int index) override;
    void Clear() override;

private:
    QListWidget& m_widget;
    int m_current = -1;
};

}  // namespace tavrolin
