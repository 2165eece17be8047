// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLineEdit>
#include <functional>

namespace tavrolin {

// A one-character sensor-address field. It wants every key: Tab, Shift+Tab, Enter and Esc
// come to it as characters (9, 9 with Shift, 13, 27) instead of moving the focus or ending
// the window. Each typed character is offered to onChar first; true means the controller
// dealt with it, false lets the field edit as usual (those four keys then do nothing).
class AddressField : public QLineEdit {
public:
    explicit AddressField(QWidget* parent) : QLineEdit(parent) {}

    std::function<bool(int character, bool shiftDown)> onChar;
    std::function<void()> onFocusOut;

protected:
    // Qt moves the focus on Tab before a widget sees the key, so it is caught here.
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
};

}  // namespace tavrolin
