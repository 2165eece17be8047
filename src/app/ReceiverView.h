// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

#include "base/DialogResult.h"
#include "decode/ReceivedList.h"

namespace tavrolin {

class MultiplexerDialog;

// Control identifiers of the receiver window (they are also the order of its resource).
namespace control {
inline constexpr int kRecordingFirst =
    1014;  // recording boxes 1014..1034: RecordingMask bits 0..20
inline constexpr int kRecordingLast = 1034;
inline constexpr int kRainAddress = 1035;
inline constexpr int kWindAddress = 1036;
inline constexpr int kBrightnessAddress = 1037;
inline constexpr int kPyranoAddress = 1038;
inline constexpr int kFileName = 1039;
inline constexpr int kChooseFile = 1040;
inline constexpr int kComPort = 1141;
inline constexpr int kSelectMultiplexer = 1142;
inline constexpr int kUseMultiplexer = 1143;
inline constexpr int kMuxAddress = 1144;
inline constexpr int kMuxAddressLabel = 1145;
inline constexpr int kReceivedList = 1146;
inline constexpr int kClearList = 1147;
}  // namespace control

// The receiver window's screen rectangle in pixels.
struct WindowRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// The window operations the receiver window's controller asks for. The real view is the Qt
// window; tests use a fake that keeps the controls' state and records the calls.
// Texts are UTF-8; the controller converts a protocol file name that is not.
class ReceiverView {
public:
    virtual ~ReceiverView();

    // Check boxes (the recording boxes and "verwenden").
    virtual void SetCheck(int id, bool checked) = 0;
    virtual bool GetCheck(int id) const = 0;
    // The port list: an index outside 0..3 leaves no item selected; -1 when none is.
    virtual void SetComboSelection(int index) = 0;
    virtual int GetComboSelection() const = 0;
    // The received-data list.
    virtual ReceivedList& List() = 0;
    // Texts of edit fields and static texts.
    virtual void SetText(int id, std::string_view text) = 0;
    virtual std::string GetText(int id) const = 0;
    virtual void LimitText(int id, int characters) = 0;
    virtual void Enable(int id, bool enabled) = 0;
    // Focus to the next (or previous) tab stop, as Tab and Shift+Tab would move it.
    virtual void MoveFocus(bool previous) = 0;

    // Placement: before the window is first shown it reports the screen's origin.
    virtual WindowRect GetWindowRect() const = 0;
    virtual void MoveWindow(int left, int top) = 0;  // keeps the size
    virtual void CenterWindow() = 0;

    // The 50 ms receive timer; killing a timer that does not run is harmless.
    virtual void SetTimer(int id, int periodMs) = 0;
    virtual void KillTimer(int id) = 0;
    // Ends the window's modal run.
    virtual void EndDialog(DialogResult result) = 0;

    // The window's caption.
    virtual void SetTitle(std::string_view title) = 0;
    // The program icon as the window's large and small icon.
    virtual void SetIcon() = 0;
    // Offers the about item (a separator, then the item) in the window's menu; choosing it
    // is the controller's OnAbout.
    virtual void AddAboutItem(std::string_view text) = 0;
    // Runs the about box modally; returns when it is closed.
    virtual void RunAboutBox() = 0;
    // Runs the multiplexer dialog modally on the given object; the receive timer goes on.
    virtual DialogResult RunMultiplexerDialog(MultiplexerDialog& dialog) = 0;
};

}  // namespace tavrolin
