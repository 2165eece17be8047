// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/ReceiverDialog.h"
#include "base/DialogResult.h"

namespace tavrolin {

// Shows the receiver window: creates it, attaches it to the controller, lets the controller
// initialise it, runs it modally until it ends, and detaches it again.
class WindowRunner {
public:
    virtual ~WindowRunner();
    virtual DialogResult RunReceiverWindow(ReceiverDialog& dialog) = 0;
};

// The application: it runs the receiver window, and when that ends, the program ends.
class ReceiverApp {
public:
    ReceiverApp(ReceiverPort& port, MultiplexerDialog& multiplexer, const AppEnvironment& env);

    // Runs the window once, whatever way it ends, and destroys its controller before it
    // returns (which closes a protocol file still open). The program's exit code: 0.
    int StartApplication(WindowRunner& runner);

private:
    ReceiverPort& m_port;
    MultiplexerDialog& m_multiplexer;
    AppEnvironment m_env;
};

}  // namespace tavrolin
