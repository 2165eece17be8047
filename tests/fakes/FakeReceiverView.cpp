// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeReceiverView.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>

namespace tavrolin::testing {

namespace {

// The window's tab stops in resource order; static texts and group boxes are none.
constexpr std::array<int, 32> kTabOrder = {control::kReceivedList,
                                           control::kClearList,
                                           control::kComPort,
                                           control::kSelectMultiplexer,
                                           control::kUseMultiplexer,
                                           1014,
                                           1015,
                                           1016,
                                           1017,
                                           1018,
                                           1019,
                                           1020,
                                           1021,
                                           1024,
                                           1025,
                                           1026,
                                           1027,
                                           1028,
                                           1029,
                                           1030,
                                           1031,
                                           control::kRainAddress,
                                           control::kWindAddress,
                                           control::kBrightnessAddress,
                                           control::kPyranoAddress,
                                           1034,
                                           control::kFileName,
                                           control::kChooseFile,
                                           1022,
                                           1032,
                                           1023,
                                           1033};

int Clamped(int64_t value) {
    return static_cast<int>(std::clamp<int64_t>(value, std::numeric_limits<int>::min(),
                                                std::numeric_limits<int>::max()));
}

bool IsCheckBox(int id) {
    return (id >= control::kRecordingFirst && id <= control::kRecordingLast) ||
           id == control::kUseMultiplexer;
}

}  // namespace

void FakeReceiverView::Note(std::string line) {
    if (journal != nullptr) {
        journal->push_back(line);
    }
    log.push_back(std::move(line));
}

void FakeReceiverView::SetCheck(int id, bool checked) {
    const int state = checked ? 1 : 0;
    checks[id] = state;
    Note("SetCheck " + std::to_string(id) + " " + std::to_string(state));
}

bool FakeReceiverView::GetCheck(int id) const {
    const auto it = checks.find(id);
    return it != checks.end() && it->second != 0;
}

void FakeReceiverView::SetComboSelection(int index) {
    // The combo box holds the four items "COM 1".."COM 4".
    comboSelection = index >= 0 && index <= 3 ? index : -1;
    Note("SetComboSelection " + std::to_string(index));
}

void FakeReceiverView::SetText(int id, std::string_view text) {
    texts[id] = std::string(text);
    Note("SetText " + std::to_string(id) + " " + std::string(text));
}

std::string FakeReceiverView::GetText(int id) const {
    const auto it = texts.find(id);
    return it == texts.end() ? std::string() : it->second;
}

void FakeReceiverView::LimitText(int id, int characters) {
    limits[id] = characters;
    Note("LimitText " + std::to_string(id) + " " + std::to_string(characters));
}

void FakeReceiverView::Enable(int id, bool on) {
    enabled[id] = on;
    Note("Enable " + std::to_string(id) + " " + (on ? "1" : "0"));
}

bool FakeReceiverView::IsEnabled(int id) const {
    const auto it = enabled.find(id);
    return it == enabled.end() || it->second;
}

bool FakeReceiverView::IsAddressField(int id) const {
    return id >= control::kRainAddress && id <= control::kPyranoAddress;
}

void FakeReceiverView::SetFocusTo(int id) {
    if (id == focus) {
        return;
    }
    const int leaving = focus;
    focus = id;
    if (IsAddressField(leaving) && controller != nullptr) {
        controller->ValidateAddressField(leaving);  // EN_KILLFOCUS
    }
}

void FakeReceiverView::MoveFocus(bool previous) {
    Note(previous ? "MoveFocus previous" : "MoveFocus next");
    const auto at = std::find(kTabOrder.begin(), kTabOrder.end(), focus);
    std::size_t index =
        at == kTabOrder.end() ? 0 : static_cast<std::size_t>(at - kTabOrder.begin());
    // Disabled controls are passed over, as the dialog manager does.
    for (std::size_t step = 0; step < kTabOrder.size(); ++step) {
        index = previous ? (index + kTabOrder.size() - 1) % kTabOrder.size()
                         : (index + 1) % kTabOrder.size();
        if (IsEnabled(kTabOrder[index])) {
            break;
        }
    }
    SetFocusTo(kTabOrder[index]);
}

WindowRect FakeReceiverView::GetWindowRect() const {
    return WindowRect{left, top, Clamped(int64_t{left} + kWidth), Clamped(int64_t{top} + kHeight)};
}

void FakeReceiverView::MoveWindow(int newLeft, int newTop) {
    left = newLeft;
    top = newTop;
    moves.emplace_back(newLeft, newTop);
    Note("MoveWindow " + std::to_string(newLeft) + " " + std::to_string(newTop));
}

void FakeReceiverView::CenterWindow() {
    ++centreRequests;
    left = (kScreenWidth - kWidth) / 2;
    top = (kScreenHeight - kHeight) / 2;
    Note("CenterWindow");
}

void FakeReceiverView::SetTimer(int id, int periodMs) {
    timers[id] = periodMs;
    Note("SetTimer " + std::to_string(id) + " " + std::to_string(periodMs));
}

void FakeReceiverView::KillTimer(int id) {
    timers.erase(id);
    Note("KillTimer " + std::to_string(id));
}

void FakeReceiverView::EndDialog(DialogResult r) {
    result = r;
    Note(r == DialogResult::Ok ? "EndDialog Ok" : "EndDialog Cancel");
}

void FakeReceiverView::SetTitle(std::string_view text) {
    title = text;
    ++titlesSet;
    Note("SetTitle " + title);
}

void FakeReceiverView::SetIcon() {
    ++iconsSet;
    Note("SetIcon");
}

void FakeReceiverView::AddAboutItem(std::string_view text) {
    aboutItems.emplace_back(text);
    Note("AddAboutItem");
}

void FakeReceiverView::RunAboutBox() {
    ++aboutBoxRuns;
    Note("RunAboutBox");
}

DialogResult FakeReceiverView::RunMultiplexerDialog(MultiplexerDialog& dialog) {
    ++multiplexerRuns;
    Note("RunMultiplexerDialog");
    return runMultiplexer ? runMultiplexer(dialog) : DialogResult::Cancel;
}

std::function<DialogResult(MultiplexerDialog&)> FakeReceiverView::MultiplexerRun(
    std::function<void(FakeMultiplexerView&, MultiplexerDialog&)> clicks) {
    return [clicks = std::move(clicks)](MultiplexerDialog& dialog) {
        FakeMultiplexerView view;
        dialog.AttachView(&view);
        dialog.OnInitDialog();
        if (clicks) {
            clicks(view, dialog);
        }
        dialog.AttachView(nullptr);
        return view.result.value_or(DialogResult::Cancel);
    };
}

void FakeReceiverView::Click(int id) {
    if (controller == nullptr || !IsEnabled(id)) {
        return;
    }
    SetFocusTo(id);
    if (IsCheckBox(id)) {
        checks[id] = GetCheck(id) ? 0 : 1;
    }
    if (id >= control::kRecordingFirst && id <= control::kRecordingLast) {
        controller->OnRecordingBox();
    } else if (id == control::kUseMultiplexer) {
        controller->OnUseMultiplexer();
    } else if (id == control::kSelectMultiplexer) {
        controller->OnSelectMultiplexer();
    } else if (id == control::kClearList) {
        controller->OnClearList();
    } else if (id == control::kChooseFile) {
        controller->OnChooseProtocolFile();
    }
}

void FakeReceiverView::SelectPort(int index) {
    if (controller == nullptr || !IsEnabled(control::kComPort)) {
        return;
    }
    SetFocusTo(control::kComPort);
    comboSelection = index >= 0 && index <= 3 ? index : -1;
    controller->OnComPortSelected();
}

void FakeReceiverView::FocusOn(int id) {
    if (IsEnabled(id)) {
        SetFocusTo(id);
    }
}

void FakeReceiverView::Type(int character, bool shiftDown) {
    if (controller == nullptr) {
        return;
    }
    if (IsAddressField(focus) && controller->OnAddressChar(focus, character, shiftDown)) {
        return;
    }
    switch (character) {
        case AddressEdit::kTab:
            MoveFocus(shiftDown);
            return;
        case AddressEdit::kEnter:
            controller->OnOkCommand();
            return;
        case AddressEdit::kEscape:
            controller->OnCancelCommand();
            return;
        case 8:  // Backspace
            texts[focus].clear();
            return;
        default:
            break;
    }
    if (IsAddressField(focus) && character >= 0x20) {
        // The field's content is selected when the focus arrives, so a character replaces
        // it; more than the limit does not fit.
        const auto limit = limits.find(focus);
        if (limit == limits.end() || limit->second >= 1) {
            texts[focus] = std::string(1, static_cast<char>(character));
        }
    }
}

void FakeReceiverView::TypeText(std::string_view characters) {
    for (const char c : characters) {
        Type(static_cast<unsigned char>(c));
    }
}

}  // namespace tavrolin::testing
