// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/AddressEdit.h"
#include "app/HelpViewer.h"
#include "app/Outputs.h"
#include "app/ReceiverSession.h"
#include "app/ReceiverView.h"
#include "app/Reception.h"
#include "base/Clock.h"
#include "base/FileSystem.h"
#include "base/MessageSink.h"
#include "decode/FileChooser.h"
#include "decode/PresentReport.h"
#include "decode/ProtocolFile.h"
#include "mux/MultiplexerDialog.h"
#include "serial/ReceiverPort.h"
#include "settings/SettingsStore.h"
#include "settings/SystemSettings.h"

namespace tavrolin {

// The text of the about item in the window's menu.
inline constexpr const char* kAboutItemText = "Inf&o über Tavrolin...";
// The receive timer's period.
inline constexpr int kReceiveTimerMs = 50;

// The collaborators of the receiver window, all owned elsewhere.
struct AppEnvironment {
    SettingsStore& settings;
    FileSystem& files;
    MessageSink& messages;
    FileChooser& fileChooser;
    HelpViewer& help;
    // Paces the background reconnects of a lost port and the silence rule.
    CoarseClock& clock;
    // The outputs beside the list and the protocol file (the archive, MQTT); none when null.
    Outputs* outputs = nullptr;
    // A sink of every reading, behind the outputs' tracker (the sensor overview); none when
    // null.
    ReadingSink* overview = nullptr;
};

// The controller of the receiver window, the program's whole user interface. It loads the
// settings and connects when the window initialises, polls the receiver on every tick of the
// 50 ms timer, reconnects on a change of port or multiplexer, and on the OK command or the
// close box stops the receiver and saves the settings. The window itself is a view that
// forwards its events here and performs the operations asked of it.
//
// A port lost while polling (an adapter pulled) shows in the title, not in a box: the timer
// runs on and the session opens the port again in the background; the title comes back
// with the connection. A connect the user asked for that fails is told in a box, and the
// window idles until the next change.
class ReceiverDialog {
public:
    ReceiverDialog(ReceiverPort& port, MultiplexerDialog& multiplexer, const AppEnvironment& env);
    // Closes the protocol file if it is still open (the window was ended by Cancel).
    ~ReceiverDialog();
    ReceiverDialog(const ReceiverDialog&) = delete;
    ReceiverDialog& operator=(const ReceiverDialog&) = delete;

    // The window exists (nullptr: it is gone). The handlers are called only while it does:
    // the window forwards no event once it has ended.
    void AttachView(ReceiverView* view);

    // --- Events of the window ---------------------------------------------------------
    // The window is created: settings in, controls filled, protocol file opened, receiver
    // connected. True: the focus goes to the first tab stop, the list.
    bool InitializeWindow();
    // The receive timer.
    void OnTick();
    // A port chosen in the list: 0..3 for "COM 1".."COM 4".
    void OnComPortSelected(int index);
    // "Auswählen": the multiplexer dialog, then its address is stored, shown and connected,
    // whether the dialog ended with "&OK" or "&Abbruch".
    void OnSelectMultiplexer();
    // "verwenden" ticked or not.
    void OnUseMultiplexer(bool inUse);
    // "Liste löschen": the list only; the protocol file keeps its lines.
    void OnClearList();
    // A recording box was clicked: the boxes now ticked. Takes effect at the next tick.
    void OnRecordingBox(RecordingMask ticked);
    // An address field with this text lost the focus, or Enter was typed in it.
    void ValidateAddressField(SensorAddress field, std::string_view text);
    // A key typed into an address field that holds this text. True when the field handled
    // it itself (Tab, Shift+Tab, Enter, Esc); false: the field's own editing.
    bool OnAddressChar(SensorAddress field, std::string_view text, int character, bool shiftDown);
    // ". . .".
    void OnChooseProtocolFile();
    // Enter (the OK command): save and stop, then the window ends with Ok.
    void OnOkCommand();
    // The close box: save and stop, then the window ends with Cancel.
    void OnCloseRequest();
    // Esc (the Cancel command): the window ends, nothing is saved and the receiver is not
    // stopped.
    void OnCancelCommand();
    // The about item of the window's menu: the about box.
    void OnAbout();
    // The help button of the multiplexer dialog.
    void OnHelp();

    // --- Steps shared by the handlers -------------------------------------------------
    // Ends an open connection, connects with the current port and multiplexer settings,
    // and on success starts the receiver and the timer.
    void ConnectReceiver();
    // Stops the timer and, when connected, the receiver; resets the multiplexer and closes
    // the port.
    void DisconnectReceiver();
    // Shows the multiplexer's use and its address, which is kept within 0..66 (an address
    // beyond is 0).
    void ShowMultiplexerState();
    // Closes the protocol file, stops the receiver and writes all settings (unless the
    // profile could not be read at the start).
    void SaveAndStop();

    // --- State, read by tests ---------------------------------------------------------
    // The settings as the window holds them; the position is taken at the end.
    const SystemSettings& Settings() const { return m_settings; }
    bool PollBusy() const { return m_pollBusy; }
    bool Connected() const { return m_session.Connected(); }
    const ProtocolFile& File() const { return m_protocolFile; }

private:
    // The setting an address field shows.
    int& AddressValue(SensorAddress field);
    // The title for the session's link, when it changed.
    void ShowLink();

    MultiplexerDialog& m_multiplexer;
    AppEnvironment m_env;
    ReceiverView* m_view = nullptr;

    // Read from the profile during initialisation, changed by the user, written at the end.
    SystemSettings m_settings;
    bool m_pollBusy = false;
    ListSink m_listSink;
    Reception m_reception;
    ReceiverSession& m_session;    // connected: port open, receiver started
    ProtocolFile& m_protocolFile;  // the reception's
    bool m_titleLost = false;      // the title says the port is lost
    // The profile was there but could not be read at the start: the window runs on the
    // defaults and does not save them over it.
    bool m_profileUnreadable = false;
};

}  // namespace tavrolin
