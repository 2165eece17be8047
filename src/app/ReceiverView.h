// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

#include "base/DialogResult.h"
#include "decode/Reading.h"
#include "decode/ReceivedList.h"

namespace tavrolin {

class MultiplexerDialog;

// The four sensor-address fields of the receiver window.
enum class SensorAddress { Rain, Wind, Brightness, Pyrano };

// A point on the screen, in pixels: the window's top left corner.
struct ScreenPoint {
    int left = 0;
    int top = 0;
};

// What the receiver window's controller asks of the window: what it shows, its placement,
// its receive timer and its end. The real view is the Qt window; tests use a fake that keeps
// what it shows and plays the user. Texts are UTF-8; the controller converts a protocol file
// name that is not.
class ReceiverView {
public:
    virtual ~ReceiverView();

    // --- What the controls show -------------------------------------------------------
    // The recording boxes ticked by the mask's bits 0..20 (kAllRecordings): outdoor sensors
    // 0..7, the rain and the wind sensor, indoor sensors 0..7, the brightness sensor, the
    // pyranometer and the remote control.
    virtual void ShowRecording(RecordingMask mask) = 0;
    // The text of an address field (one character at most is typed into it).
    virtual void ShowAddress(SensorAddress field, std::string_view text) = 0;
    // The chosen port 0..3 of "COM 1".."COM 4"; any other index leaves none chosen.
    virtual void ShowPort(int index) = 0;
    // "verwenden" ticked or not, and the multiplexer's address; the address and "Auswählen"
    // can be used only while the multiplexer is.
    virtual void ShowMultiplexer(bool inUse, int address) = 0;
    virtual void ShowFileName(std::string_view name) = 0;
    virtual void ShowTitle(std::string_view title) = 0;
    // The received-data list.
    virtual ReceivedList& List() = 0;
    // The focus to the next (or previous) control, as Tab and Shift+Tab would move it.
    virtual void MoveFocus(bool previous) = 0;

    // --- Placement --------------------------------------------------------------------
    // Before the window is first shown it stands at the screen's origin.
    virtual ScreenPoint Position() const = 0;
    virtual void MoveTo(ScreenPoint position) = 0;  // keeps the size
    virtual void Centre() = 0;

    // --- The run ----------------------------------------------------------------------
    // The receive timer: OnTick every periodMs until stopped. Stopping it when it does not
    // run is harmless.
    virtual void StartTicks(int periodMs) = 0;
    virtual void StopTicks() = 0;
    // Ends the window's modal run.
    virtual void End(DialogResult result) = 0;
    // Runs the about box modally; returns when it is closed.
    virtual void RunAboutBox() = 0;
    // Runs the multiplexer dialog modally on the given object; the receive timer goes on.
    virtual DialogResult RunMultiplexerDialog(MultiplexerDialog& dialog) = 0;
};

}  // namespace tavrolin
