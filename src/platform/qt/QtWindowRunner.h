// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <functional>
#include <utility>
#include <vector>

#include "app/ReceiverApp.h"
#include "platform/qt/ReceiverWindow.h"

class QWidget;

namespace tavrolin {

class QtFileChooser;
class QtMessageSink;

// Runs the receiver window modally: the window is made, given to the controller, initialised
// and shown until the controller ends it. Message boxes and the file dialog belong to it
// while it is up.
class QtWindowRunner : public WindowRunner {
public:
    QtWindowRunner(QtMessageSink* messages = nullptr, QtFileChooser* fileChooser = nullptr)
        : m_messages(messages), m_fileChooser(fileChooser) {}

    // An entry of the window's menu "Ansicht" (ReceiverWindow::AddMenuItem).
    void AddMenuItem(WindowMenuItem item) { m_menuItems.push_back(std::move(item)); }

    DialogResult RunReceiverWindow(ReceiverDialog& dialog) override;

private:
    std::vector<WindowMenuItem> m_menuItems;
    QtMessageSink* m_messages;
    QtFileChooser* m_fileChooser;
};

}  // namespace tavrolin
