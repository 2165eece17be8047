// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPointer>
#include <QWidget>

#include "base/MessageSink.h"

namespace tavrolin {

// Messages as message boxes with one OK button, owned by the program's main window while it
// is on the screen: modal ones that wait for the user, and notices that do not.
class QtMessageSink : public MessageSink {
public:
    void ShowMessage(std::string_view caption, std::string_view text, MessageIcon icon) override;
    void ShowNotice(std::string_view caption, std::string_view text, MessageIcon icon) override;
    // The window that owns the boxes; nullptr (or a window not yet shown) leaves them
    // without owner, centred on the screen.
    void SetOwner(QWidget* owner) { m_owner = owner; }

private:
    QPointer<QWidget> m_owner;
};

// The window a modal box should belong to: the owner once it is on the screen.
QWidget* VisibleOwner(QWidget* owner);

}  // namespace tavrolin
