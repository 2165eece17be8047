// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "FakeMultiplexerView.h"
#include "app/ReceiverDialog.h"
#include "app/ReceiverView.h"
#include "decode/ReceivedList.h"

namespace tavrolin::testing {

// The receiver window without a window system: it keeps each control's state, records every
// operation in order ("SetTimer 1 50", "KillTimer 1", "EndDialog Ok", ...), and plays the
// user's part the way the window's keyboard and mouse rules would, forwarding the events to
// the bound controller.
class FakeReceiverView : public ReceiverView {
public:
    // The screen the window is centred on, and the window's size, in pixels.
    static constexpr int kScreenWidth = 1920;
    static constexpr int kScreenHeight = 1080;
    static constexpr int kWidth = 646;
    static constexpr int kHeight = 440;

    // --- ReceiverView ---------------------------------------------------------------
    void SetCheck(int id, bool checked) override;
    bool GetCheck(int id) const override;
    void SetComboSelection(int index) override;
    int GetComboSelection() const override { return comboSelection; }
    ReceivedList& List() override { return list; }
    void SetText(int id, std::string_view text) override;
    std::string GetText(int id) const override;
    void LimitText(int id, int characters) override;
    void Enable(int id, bool enabled) override;
    void MoveFocus(bool previous) override;
    WindowRect GetWindowRect() const override;
    void MoveWindow(int left, int top) override;
    void CenterWindow() override;
    void SetTimer(int id, int periodMs) override;
    void KillTimer(int id) override;
    void EndDialog(DialogResult result) override;
    void SetTitle(std::string_view text) override;
    void SetIcon() override;
    void AddAboutItem(std::string_view text) override;
    void RunAboutBox() override;
    DialogResult RunMultiplexerDialog(MultiplexerDialog& dialog) override;

    // --- The user -------------------------------------------------------------------
    // The controller the user's actions go to.
    void Bind(ReceiverDialog& dialog) { controller = &dialog; }
    // A mouse click on a push button or check box (check boxes toggle first). Disabled
    // controls do not react.
    void Click(int id);
    // A port picked in the combo box.
    void SelectPort(int index);
    // The focus put on a control with the mouse; an address field that loses it validates.
    void FocusOn(int id);
    // A key typed into the control with the focus. An address field gets it first; what it
    // leaves (and every key elsewhere) follows the window's rules: Tab moves the focus,
    // Enter is the OK command, Esc the Cancel command, a character replaces the field's text
    // within its limit, Backspace empties it.
    void Type(int character, bool shiftDown = false);
    void TypeText(std::string_view characters);

    // --- Scripted multiplexer dialog ------------------------------------------------
    // A run of the dialog on a new FakeMultiplexerView: attached, initialised, handed to
    // `clicks` (which ends it, e.g. by clicking "&OK"), detached. The result is what the
    // dialog ended with, Cancel when it was not ended.
    static std::function<DialogResult(MultiplexerDialog&)> MultiplexerRun(
        std::function<void(FakeMultiplexerView&, MultiplexerDialog&)> clicks);

    // --- State ----------------------------------------------------------------------
    bool IsEnabled(int id) const;
    bool TimerRunning(int id) const { return timers.count(id) != 0; }
    bool IsAddressField(int id) const;

    ReceiverDialog* controller = nullptr;
    std::map<int, int> checks;
    std::map<int, std::string> texts;
    std::map<int, int> limits;
    std::map<int, bool> enabled;
    int comboSelection = -1;
    MemoryList list;
    int left = 0;
    int top = 0;
    std::vector<std::pair<int, int>> moves;
    int centreRequests = 0;
    std::map<int, int> timers;  // running timers: identifier -> period
    std::optional<DialogResult> result;
    std::string title = "Tavrolin";
    int titlesSet = 0;
    int iconsSet = 0;
    std::vector<std::string> aboutItems;
    int aboutBoxRuns = 0;
    int focus = control::kReceivedList;
    std::function<DialogResult(MultiplexerDialog&)> runMultiplexer;
    int multiplexerRuns = 0;
    std::vector<std::string> log;
    std::vector<std::string>* journal = nullptr;  // also gets every log line when set

private:
    void Note(std::string line);
    void SetFocusTo(int id);
};

}  // namespace tavrolin::testing
