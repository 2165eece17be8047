// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ReceiverApp.h"

namespace tavrolin {

WindowRunner::~WindowRunner() = default;

ReceiverApp::ReceiverApp(ReceiverPort& port, MultiplexerDialog& multiplexer,
                         const AppEnvironment& env)
    : m_port(port), m_multiplexer(multiplexer), m_env(env) {}

int ReceiverApp::StartApplication(WindowRunner& runner) {
    ReceiverDialog dialog(m_port, m_multiplexer, m_env);
    // How the window ended makes no difference: the program ends with it.
    runner.RunReceiverWindow(dialog);
    return 0;
}

}  // namespace tavrolin
