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
    // Every button is set on its own. A stage without a port keeps the buttons as they are:
    // a new window has none checked.
    const auto showPort = [this](int firstButton, int port) {
        if (port == 0) {
            return;
        }
        for (int k = 1; k <= MultiplexerLine::kPortsPerStage; ++k) {
            m_view->SetCheck(firstButton + k - 1, k == port);
        }
    };
    showPort(muxcontrol::kStage1First, m_line.Stage1Port());
    showPort(muxcontrol::kStage2First, m_line.Stage2Port());
    m_view->SetCheck(muxcontrol::kTwoStage, m_line.Stage2Port() != 0);
    OnTwoStage();
}

int MultiplexerDialog::CheckedPort(int firstButton) const {
    for (int k = 1; k <= MultiplexerLine::kPortsPerStage; ++k) {
        if (m_view->GetCheck(firstButton + k - 1)) {
            return k;
        }
    }
    return 0;
}

void MultiplexerDialog::OnStage1Port() {
    if (m_view != nullptr) {
        m_line.SetStage1Port(CheckedPort(muxcontrol::kStage1First));
    }
}

void MultiplexerDialog::OnStage2Port() {
    if (m_view != nullptr) {
        m_line.SetStage2Port(CheckedPort(muxcontrol::kStage2First));
    }
}

void MultiplexerDialog::OnTwoStage() {
    if (m_view == nullptr) {
        return;
    }
    m_twoStage = m_view->GetCheck(muxcontrol::kTwoStage);
    // Greyed out, the stage-2 buttons keep their check marks and the line its stage-2 port;
    // only GetAddress leaves the second stage out.
    m_view->Enable(muxcontrol::kStage2Group, m_twoStage);
    for (int k = 1; k <= MultiplexerLine::kPortsPerStage; ++k) {
        m_view->Enable(muxcontrol::kStage2First + k - 1, m_twoStage);
    }
}

void MultiplexerDialog::OnOk() {
    if (m_view != nullptr) {
        m_view->EndDialog(DialogResult::Ok);
    }
}

void MultiplexerDialog::OnCancel() {
    if (m_view != nullptr) {
        m_view->EndDialog(DialogResult::Cancel);
    }
}

int MultiplexerDialog::GetAddress() const {
    if (m_twoStage) {
        return (m_line.Stage1Port() & 7) * 10 + (m_line.Stage2Port() & 7);
    }
    return m_line.Stage1Port() & 7;
}

}  // namespace tavrolin
