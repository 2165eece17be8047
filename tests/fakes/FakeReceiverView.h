// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "FakeMultiplexerView.h"
#include "app/ReceiverDialog.h"
#include "app/ReceiverView.h"
#include "decode/ReceivedList.h"

namespace tavrolin::testing {

// The receiver window without a window system: it keeps what its controls show and plays
// the user's part the way the window's keyboard and mouse rules would, forwarding what the
// user did to the bound controller.
//
// The controls are named as the user's actions name them: "list", "Liste löschen",
// "COM-Port", "Auswählen", "verwenden", "box 0".."box 20" (the recording boxes by their bit),
// the address fields "rain", "wind", "brightness", "pyrano", "file" (the protocol file's
// name) and ". . .".
class FakeReceiverView : public ReceiverView {
public:
    // The screen the window is centred on, and the window's size, in pixels.
    static constexpr int kScreenWidth = 1920;
    static constexpr int kScreenHeight = 1080;
    static constexpr int kWidth = 646;
    static constexpr int kHeight = 440;

    // --- ReceiverView ---------------------------------------------------------------
    void ShowRecording(RecordingMask mask) override { recording = mask; }
    void ShowAddress(SensorAddress field, std::string_view text) override {
        addresses[field] = text;
    }
    void ShowPort(int index) override { port = index >= 0 && index <= 3 ? index : -1; }
    void ShowMultiplexer(bool inUse, int address) override {
        useMultiplexer = inUse;
        muxAddress = std::to_string(address);
    }
    void ShowFileName(std::string_view name) override { fileName = name; }
    void ShowTitle(std::string_view text) override {
        title = text;
        ++titlesShown;
    }
    ReceivedList& List() override { return list; }
    void MoveFocus(bool previous) override;
    ScreenPoint Position() const override { return position; }
    void MoveTo(ScreenPoint to) override { position = to; }
    void Centre() override {
        position = {(kScreenWidth - kWidth) / 2, (kScreenHeight - kHeight) / 2};
    }
    void StartTicks(int periodMs) override { tickMs = periodMs; }
    void StopTicks() override { tickMs.reset(); }
    void End(DialogResult r) override { result = r; }
    void RunAboutBox() override { ++aboutBoxRuns; }
    DialogResult RunMultiplexerDialog(MultiplexerDialog& dialog) override;

    // --- The user -------------------------------------------------------------------
    // The controller the user's actions go to.
    void Bind(ReceiverDialog& dialog) { controller = &dialog; }
    // A mouse click on a push button or check box, by its name (check boxes toggle first).
    // Disabled controls do not react.
    void Click(std::string_view control);
    // A port picked in the list.
    void SelectPort(int index);
    // The focus put on a control with the mouse; an address field that loses it validates.
    void FocusOn(std::string_view control);
    // A key typed into the control with the focus. An address field gets it first; what it
    // leaves (and every key elsewhere) follows the window's rules: Tab moves the focus,
    // Enter is the OK command, Esc the Cancel command, a character replaces the field's one
    // character, Backspace empties it.
    void Type(int character, bool shiftDown = false);

    // --- Scripted multiplexer dialog ------------------------------------------------
    // A run of the dialog on a new FakeMultiplexerView: attached, initialised, handed to
    // `clicks` (which ends it, e.g. by clicking "&OK"), detached. The result is what the
    // dialog ended with, Cancel when it was not ended.
    static std::function<DialogResult(MultiplexerDialog&)> MultiplexerRun(
        std::function<void(FakeMultiplexerView&, MultiplexerDialog&)> clicks);

    // --- What the window shows ------------------------------------------------------
    bool IsEnabled(std::string_view control) const;
    bool Ticking() const { return tickMs.has_value(); }
    const std::string& Address(SensorAddress field) { return addresses[field]; }

    ReceiverDialog* controller = nullptr;
    RecordingMask recording = 0;
    std::map<SensorAddress, std::string> addresses;
    int port = -1;
    bool useMultiplexer = false;
    std::string muxAddress;
    std::string fileName;
    std::string title = "Tavrolin";
    int titlesShown = 0;
    MemoryList list;
    ScreenPoint position;
    std::optional<int> tickMs;  // the receive timer's period while it runs
    std::optional<DialogResult> result;
    int aboutBoxRuns = 0;
    std::string focus = "list";
    std::function<DialogResult(MultiplexerDialog&)> runMultiplexer;
    int multiplexerRuns = 0;

private:
    void SetFocusTo(std::string_view control);
};

}  // namespace tavrolin::testing
