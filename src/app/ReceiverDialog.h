// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "app/AddressEdit.h"
#include "app/HelpViewer.h"
#include "app/Outputs.h"
#include "app/ReceiverSession.h"
#include "app/ReceiverView.h"
#include "base/Clock.h"
#include "base/FileSystem.h"
#include "base/MessageSink.h"
#include "decode/FileChooser.h"
#include "decode/PresentReport.h"
#include "decode/ProtocolFile.h"
#include "decode/ProtocolFileSink.h"
#include "decode/ReportLines.h"
#include "mux/MultiplexerDialog.h"
#include "serial/ReceiverPort.h"
#include "settings/SettingsStore.h"
#include "settings/SystemSettings.h"

namespace tavrolin {

// The text of the about item in the window's menu.
inline constexpr const char* kAboutItemText = "Inf&o über Tavrolin...";
// The receive timer: identifier and period.
inline constexpr int kReceiveTimerId = 1;
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

    // The window exists (nullptr: it is gone). Every handler does nothing without it.
    void AttachView(ReceiverView* view);

    // --- Events of the window ---------------------------------------------------------
    // The window is created: settings in, controls filled, protocol file opened, receiver
    // connected. True: the focus goes to the first tab stop, the list.
    bool InitializeWindow();
    // The receive timer (whatever its identifier).
    void OnTick();
    void OnComPortSelected();
    // "Auswählen": the multiplexer dialog, then its address is stored, shown and connected,
    // whether the dialog ended with "&OK" or "&Abbruch".
    void OnSelectMultiplexer();
    // "verwenden".
    void OnUseMultiplexer();
    // "Liste löschen": the list only; the protocol file keeps its lines.
    void OnClearList();
    // Any of the recording boxes 1014..1034; takes effect at the next tick.
    void OnRecordingBox();
    // An address field lost the focus, or Enter was typed in it.
    void ValidateAddressField(int id);
    // A key typed into an address field. True when the field handled it itself (Tab,
    // Shift+Tab, Enter, Esc); false: the field's own editing.
    bool OnAddressChar(int id, int character, bool shiftDown);
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
    // Enables the multiplexer controls with its use and shows its address, which is kept
    // within 0..66 (an address beyond is 0).
    void ShowMultiplexerState();
    // Closes the protocol file, stops the receiver and writes all settings (unless the
    // profile could not be read at the start).
    void SaveAndStop();

    // --- State, read by tests ---------------------------------------------------------
    int WindAddress() const { return m_windAddress; }
    int RainAddress() const { return m_rainAddress; }
    int BrightnessAddress() const { return m_brightnessAddress; }
    int PyranoAddress() const { return m_pyranoAddress; }
    int RecordingMaskValue() const { return m_recordingMask; }
    const std::string& ProtocolFileName() const { return m_protocolFileName; }
    bool PollBusy() const { return m_pollBusy; }
    bool Connected() const { return m_session.Connected(); }
    const ProtocolFile& File() const { return m_protocolFile; }
    int UseMultiplexer() const { return m_useMultiplexer; }
    int MuxAddress() const { return m_muxAddress; }
    int ComPort() const { return m_comPort; }

private:
    // The value an address field shows, or nullptr for an identifier outside 1035..1038.
    int* AddressValue(int id);
    // Writes the eleven settings; false when any of them could not be written.
    bool WriteSettings(const WindowRect& rect);
    // The sensors whose readings the list, the file and the outputs get.
    void SetRecordingMask(RecordingMask mask);
    // The title for the session's link, when it changed.
    void ShowLink();

    MultiplexerDialog& m_multiplexer;
    AppEnvironment m_env;
    ReceiverView* m_view = nullptr;

    // All from the settings during initialisation.
    int m_windAddress = 7;
    int m_rainAddress = 7;
    int m_brightnessAddress = 7;
    int m_pyranoAddress = 7;
    int m_recordingMask = -1;                     // RecordingMask; bit i belongs to box 1014 + i
    std::array<AddressEdit, 4> m_addressEdits{};  // fields 1035, 1036, 1037, 1038
    std::string m_protocolFileName;
    bool m_pollBusy = false;
    ProtocolFile m_protocolFile;
    ListSink m_listSink;
    ProtocolFileSink m_fileSink;
    ReportLines m_reportLines;  // to the list, then to the protocol file
    ReceiverSession m_session;  // connected: port open, receiver started
    bool m_titleLost = false;   // the title says the port is lost
    int m_useMultiplexer = 0;
    int m_muxAddress = 0;                    // MuxAddress
    int m_comPort = 0;                       // 0..3 for COM1..COM4
    ReceivedList* m_receivedList = nullptr;  // the window's list, bound at initialisation
    // The profile was there but could not be read at the start: the window runs on the
    // defaults and does not save them over it.
    bool m_profileUnreadable = false;
};

}  // namespace tavrolin
