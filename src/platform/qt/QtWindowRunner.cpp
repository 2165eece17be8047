// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/QtWindowRunner.h"

#include "platform/qt/QtFileChooser.h"
#include "platform/qt/QtMessageSink.h"
#include "platform/qt/ReceiverWindow.h"

namespace tavrolin {

DialogResult QtWindowRunner::RunReceiverWindow(ReceiverDialog& dialog) {
    ReceiverWindow window(dialog);
    for (const WindowMenuItem& item : m_menuItems) {
        window.AddMenuItem(item);
    }
    if (m_messages != nullptr) {
        m_messages->SetOwner(&window);
    }
    if (m_fileChooser != nullptr) {
        m_fileChooser->SetOwner(&window);
    }
    dialog.AttachView(&window);
    dialog.InitializeWindow();
    const int result = window.exec();
    dialog.AttachView(nullptr);
    return result == static_cast<int>(DialogResult::Ok) ? DialogResult::Ok : DialogResult::Cancel;
}

}  // namespace tavrolin
