// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeReceiverView.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "app/AddressEdit.h"

namespace tavrolin::testing {

namespace {

// The address fields by name.
std::optional<SensorAddress> AddressField(std::string_view control) {
    static const std::map<std::string_view, SensorAddress> kFields = {
        {"rain", SensorAddress::Rain},
        {"wind", SensorAddress::Wind},
        {"brightness", SensorAddress::Brightness},
        {"pyrano", SensorAddress::Pyrano},
    };
    const auto found = kFields.find(control);
    return found == kFields.end() ? std::nullopt : std::optional(found->second);
}

// The bit of a recording box "box N".
std::optional<int> RecordingBox(std::string_view control) {
    constexpr std::string_view kPrefix = "box ";
    if (!control.starts_with(kPrefix)) {
        return std::nullopt;
    }
    return std::stoi(std::string(control.substr(kPrefix.size())));
}

// The window's tab stops in the order of its controls; static texts and group boxes are none.
const std::vector<std::string>& TabOrder() {
    static const std::vector<std::string> kOrder = [] {
        std::vector<std::string> order = {"list", "Liste löschen", "COM-Port", "Auswählen",
                                          "verwenden"};
        for (const int bit : {0, 1, 2, 3, 4, 5, 6, 7, 10, 11, 12, 13, 14, 15, 16, 17}) {
            order.push_back("box " + std::to_string(bit));
        }
        for (const char* rest : {"rain", "wind", "brightness", "pyrano", "box 20", "file", ". . .",
                                 "box 8", "box 18", "box 9", "box 19"}) {
            order.emplace_back(rest);
        }
        return order;
    }();
    return kOrder;
}

}  // namespace

bool FakeReceiverView::IsEnabled(std::string_view control) const {
    // Only the multiplexer's controls are ever greyed.
    return useMultiplexer || control != "Auswählen";
}

void FakeReceiverView::SetFocusTo(std::string_view control) {
    if (control == focus) {
        return;
    }
    const std::string leaving = std::exchange(focus, std::string(control));
    if (const auto field = AddressField(leaving); field && controller != nullptr) {
        controller->ValidateAddressField(*field, addresses[*field]);
    }
}

void FakeReceiverView::MoveFocus(bool previous) {
    const std::vector<std::string>& order = TabOrder();
    const auto at = std::find(order.begin(), order.end(), focus);
    std::size_t index = at == order.end() ? 0 : static_cast<std::size_t>(at - order.begin());
    // Disabled controls are passed over.
    for (std::size_t step = 0; step < order.size(); ++step) {
        index = previous ? (index + order.size() - 1) % order.size() : (index + 1) % order.size();
        if (IsEnabled(order[index])) {
            break;
        }
    }
    SetFocusTo(order[index]);
}

DialogResult FakeReceiverView::RunMultiplexerDialog(MultiplexerDialog& dialog) {
    ++multiplexerRuns;
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

void FakeReceiverView::Click(std::string_view control) {
    if (controller == nullptr || !IsEnabled(control)) {
        return;
    }
    SetFocusTo(control);
    if (const auto bit = RecordingBox(control)) {
        recording ^= RecordingMask{1} << *bit;
        controller->OnRecordingBox(recording);
    } else if (control == "verwenden") {
        useMultiplexer = !useMultiplexer;
        controller->OnUseMultiplexer(useMultiplexer);
    } else if (control == "Auswählen") {
        controller->OnSelectMultiplexer();
    } else if (control == "Liste löschen") {
        controller->OnClearList();
    } else if (control == ". . .") {
        controller->OnChooseProtocolFile();
    }
}

void FakeReceiverView::SelectPort(int index) {
    if (controller == nullptr) {
        return;
    }
    SetFocusTo("COM-Port");
    port = index >= 0 && index <= 3 ? index : -1;
    controller->OnComPortSelected(port);
}

void FakeReceiverView::FocusOn(std::string_view control) {
    if (IsEnabled(control)) {
        SetFocusTo(control);
    }
}

void FakeReceiverView::Type(int character, bool shiftDown) {
    if (controller == nullptr) {
        return;
    }
    const auto field = AddressField(focus);
    if (field && controller->OnAddressChar(*field, addresses[*field], character, shiftDown)) {
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
            if (field) {
                addresses[*field].clear();
            }
            return;
        default:
            break;
    }
    if (field && character >= 0x20) {
        // The field's content is selected when the focus arrives, so a character replaces it.
        addresses[*field] = std::string(1, static_cast<char>(character));
    }
}

}  // namespace tavrolin::testing
