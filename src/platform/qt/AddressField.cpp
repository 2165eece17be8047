// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/AddressField.h"

#include <QKeyEvent>

namespace tavrolin {

namespace {

constexpr int kTab = 9;
constexpr int kEnter = 13;
constexpr int kEscape = 27;

// The character a dialog key stands for, or 0 for a key that is not one of them.
int DialogKeyCharacter(int key) {
    switch (key) {
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return kTab;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return kEnter;
        case Qt::Key_Escape:
            return kEscape;
        default:
            return 0;
    }
}

}  // namespace

bool AddressField::event(QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
            keyPressEvent(key);
            return true;
        }
    }
    return QLineEdit::event(event);
}

void AddressField::keyPressEvent(QKeyEvent* event) {
    // Shift+Tab arrives as Backtab, which is the shifted Tab.
    const bool shift =
        event->key() == Qt::Key_Backtab || (event->modifiers() & Qt::ShiftModifier) != 0;
    const int dialogKey = DialogKeyCharacter(event->key());
    const int character = dialogKey != 0 ? dialogKey
                          : event->text().isEmpty()
                              ? 0
                              : static_cast<int>(event->text().front().unicode());
    if (character != 0 && onChar && onChar(character, shift)) {
        event->accept();
        return;
    }
    if (dialogKey != 0) {
        // The field keeps these keys from the window even when it does nothing with them.
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void AddressField::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    // The field's own context menu takes the focus only for a moment.
    if (event->reason() != Qt::PopupFocusReason && onFocusOut) {
        onFocusOut();
    }
}

}  // namespace tavrolin
