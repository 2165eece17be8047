// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeMultiplexerView.h"

namespace tavrolin::testing {

void FakeMultiplexerView::SetCheck(int id, bool checked) {
    const int state = checked ? 1 : 0;
    checks[id] = state;
    log.push_back("SetCheck " + std::to_string(id) + " " + std::to_string(state));
}

bool FakeMultiplexerView::GetCheck(int id) const {
    const auto it = checks.find(id);
    return it != checks.end() && it->second != 0;
}

void FakeMultiplexerView::Enable(int id, bool on) {
    enabled[id] = on;
    log.push_back("Enable " + std::to_string(id) + " " + (on ? "1" : "0"));
}

void FakeMultiplexerView::EndDialog(DialogResult r) {
    result = r;
    log.push_back(r == DialogResult::Ok ? "EndDialog Ok" : "EndDialog Cancel");
}

bool FakeMultiplexerView::IsEnabled(int id) const {
    const auto it = enabled.find(id);
    return it == enabled.end() || it->second;
}

std::vector<int> FakeMultiplexerView::CheckedPorts(int stage) const {
    const int first = stage == 1 ? muxcontrol::kStage1First : muxcontrol::kStage2First;
    std::vector<int> ports;
    for (int k = 1; k <= 6; ++k) {
        if (GetCheck(first + k - 1)) {
            ports.push_back(k);
        }
    }
    return ports;
}

void FakeMultiplexerView::Click(MultiplexerDialog& dialog, int id) {
    if (!IsEnabled(id)) {
        return;
    }
    const auto inGroup = [id](int first) { return id >= first && id < first + 6; };
    for (const int first : {muxcontrol::kStage1First, muxcontrol::kStage2First}) {
        if (inGroup(first)) {
            for (int other = first; other < first + 6; ++other) {
                checks[other] = other == id ? 1 : 0;
            }
        }
    }
    if (inGroup(muxcontrol::kStage1First)) {
        dialog.OnStage1Port();
    } else if (inGroup(muxcontrol::kStage2First)) {
        dialog.OnStage2Port();
    } else if (id == muxcontrol::kTwoStage) {
        checks[id] = GetCheck(id) ? 0 : 1;
        dialog.OnTwoStage();
    } else if (id == muxcontrol::kOk) {
        dialog.OnOk();
    } else if (id == muxcontrol::kCancel) {
        dialog.OnCancel();
    }
}

}  // namespace tavrolin::testing
