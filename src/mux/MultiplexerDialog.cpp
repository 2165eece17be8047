// SPDX-License-Identifier: GPL-3.0-or-later
#include "mux/MultiplexerDialog.h"

namespace tavrolin {

void MultiplexerDialog::SetAddress(uint8_t address) {
    m_line.SetAddress(address);
    UpdateControls();
}

bool MultiplexerDialog::OnInitDialog() {
    UpdateControls();
    return true;
}

void MultiplexerDialog::UpdateControls() {
    if (m_view == nullptr) {
        return;
    }
    // A stage without a port keeps its buttons as they are: a new window has none checked.
    if (m_line.Stage1Port() != 0) {
        m_view->ShowPort(1, m_line.Stage1Port());
    }
    if (m_line.Stage2Port() != 0) {
        m_view->ShowPort(2, m_line.Stage2Port());
    }
    m_twoStage = m_line.Stage2Port() != 0;
    m_view->ShowTwoStage(m_twoStage);
}

void MultiplexerDialog::OnStage1Port(int port) {
    m_line.SetStage1Port(port);
}

void MultiplexerDialog::OnStage2Port(int port) {
    m_line.SetStage2Port(port);
}

void MultiplexerDialog::OnTwoStage(bool twoStage) {
    m_twoStage = twoStage;
    // Greyed out, the stage-2 buttons keep their check marks and the line its stage-2 port;
    // only GetAddress leaves the second stage out.
    m_view->ShowTwoStage(twoStage);
}

void MultiplexerDialog::OnOk() {
    m_view->End(DialogResult::Ok);
}

void MultiplexerDialog::OnCancel() {
    m_view->End(DialogResult::Cancel);
}

int MultiplexerDialog::GetAddress() const {
    if (m_twoStage) {
        return (m_line.Stage1Port() & 7) * 10 + (m_line.Stage2Port() & 7);
    }
    return m_line.Stage1Port() & 7;
}

}  // namespace tavrolin
