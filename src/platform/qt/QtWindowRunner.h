// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/ReceiverApp.h"

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

    DialogResult RunReceiverWindow(ReceiverDialog& dialog) override;

private:
    QtMessageSink* m_messages;
    QtFileChooser* m_fileChooser;
};

}  // namespace tavrolin
