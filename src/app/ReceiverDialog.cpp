// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ReceiverDialog.h"

#include "base/Win1252.h"
#include "decode/ProtocolFileChoice.h"

namespace tavrolin {

namespace {

constexpr const char* kCaption = "Tavrolin";
// Recording boxes 1014..1034 stand for the bits 0..20 of the RecordingMask.
constexpr int kRecordingBits = control::kRecordingLast - control::kRecordingFirst + 1;

uint8_t LowByte(int value) {
    return static_cast<uint8_t>(value & 0xFF);
}

}  // namespace

ReceiverDialog::ReceiverDialog(ReceiverPort& port, MultiplexerDialog& multiplexer,
                               const AppEnvironment& env)
    : m_multiplexer(multiplexer),
      m_env(env),
      m_protocolFile(env.files),
      m_fileSink(m_protocolFile),
      m_session(port, env.messages, env.clock) {
    m_reportLines.Add(m_listSink);
    m_reportLines.Add(m_fileSink);
    m_session.Recorded().Add(m_reportLines);
    if (env.outputs != nullptr) {
        env.outputs->AttachTo(m_session);
    }
    if (env.overview != nullptr) {
        m_session.EverySensor().Add(*env.overview);
    }
}

// The protocol file closes itself; after Cancel it is still open here.
ReceiverDialog::~ReceiverDialog() = default;

void ReceiverDialog::AttachView(ReceiverView* view) {
    m_view = view;
    if (view == nullptr) {
        m_receivedList = nullptr;
        m_listSink.SetList(nullptr);
    }
}

bool ReceiverDialog::InitializeWindow() {
    if (m_view == nullptr) {
        return true;
    }
    ReceiverView& view = *m_view;
    SettingsStore& settings = m_env.settings;

    m_receivedList = &view.List();
    m_listSink.SetList(m_receivedList);
    view.AddAboutItem(kAboutItemText);
    for (std::size_t i = 0; i < m_addressEdits.size(); ++i) {
        m_addressEdits[i].Attach(control::kRainAddress + static_cast<int>(i));
    }

    // A profile that is there but cannot be read is not replaced by the defaults the window
    // runs on: the user hears of it now, and the end of the run leaves it alone.
    const FileError profileError = settings.ReadError();
    m_profileUnreadable = ProfileUnreadable(profileError);
    if (m_profileUnreadable) {
        m_env.messages.ShowMessage(
            kCaption,
            UnreadableProfileText(settings.ProfilePath(), profileError) +
                "\nTavrolin arbeitet mit den Voreinstellungen und speichert die Einstellungen "
                "beim Beenden nicht.",
            MessageIcon::Exclamation);
    }
    const SystemSettings saved = SystemSettings::Read(settings);
    const int left = saved.left;
    const int top = saved.top;
    m_comPort = saved.comPort;
    m_useMultiplexer = saved.useMultiplexer;
    LinkRules rules;
    rules.silenceMs = saved.SilenceMs();
    rules.tellLinkChanges = false;  // the title tells
    m_session.SetRules(rules);
    m_muxAddress = saved.muxAddress;

    // The window opens at the screen's origin. A saved position that equals it (the
    // defaults 0, 0 of a first start) asks for a centred window instead.
    const WindowRect before = view.GetWindowRect();
    view.MoveWindow(left, top);
    const bool centre = left == before.left && top == before.top;

    m_rainAddress = saved.rainAddress;
    m_windAddress = saved.windAddress;
    m_brightnessAddress = saved.brightnessAddress;
    m_pyranoAddress = saved.pyranoAddress;
    // Shown as loaded, out of range or not, until the user validates a field.
    for (const AddressEdit& edit : m_addressEdits) {
        view.LimitText(edit.ControlId(), AddressEdit::kMaxCharacters);
        view.SetText(edit.ControlId(), AddressEdit::LoadedText(*AddressValue(edit.ControlId())));
    }

    m_recordingMask = saved.recordingMask;
    SetRecordingMask(static_cast<RecordingMask>(m_recordingMask));
    for (int bit = 0; bit < kRecordingBits; ++bit) {
        if (((static_cast<uint32_t>(m_recordingMask) >> bit) & 1) != 0) {
            view.SetCheck(control::kRecordingFirst + bit, true);
        }
    }

    view.SetComboSelection(m_comPort);
    view.SetCheck(control::kUseMultiplexer, m_useMultiplexer != 0);
    ShowMultiplexerState();
    m_multiplexer.SetAddress(LowByte(m_muxAddress));

    m_protocolFileName = saved.protocolFileName;
    view.SetText(control::kFileName, FileNameToUtf8(m_protocolFileName));
    // A file that cannot be opened leaves records to the list, without a message.
    m_protocolFile.OpenForAppend(m_protocolFileName);

    ConnectReceiver();
    view.SetIcon();
    if (centre) {
        view.CenterWindow();
    }
    return true;
}

void ReceiverDialog::ConnectReceiver() {
    if (m_view == nullptr) {
        return;
    }
    if (m_session.State() != ReceiverSession::Link::Idle) {
        DisconnectReceiver();
    }
    const bool connected =
        m_session.Connect(m_comPort, LowByte(m_muxAddress), m_useMultiplexer != 0);
    ShowLink();
    if (!connected) {
        return;  // the port layer has told the user; idle until the next change
    }
    m_pollBusy = false;
    m_view->SetTimer(kReceiveTimerId, kReceiveTimerMs);
}

void ReceiverDialog::DisconnectReceiver() {
    if (m_view == nullptr) {
        return;
    }
    m_view->KillTimer(kReceiveTimerId);
    m_session.Disconnect();
}

void ReceiverDialog::OnTick() {
    if (m_view == nullptr || m_receivedList == nullptr) {
        return;
    }
    // Nothing shows a message inside the poll, but the notices after it do (a full disk), and
    // a message box lets the timer fire again; a tick must never read the port in the middle
    // of another poll.
    if (m_pollBusy) {
        return;
    }
    m_pollBusy = true;
    m_session.PollReadings();
    m_pollBusy = false;
    ShowLink();
    // Told after the poll, and not waited for: the next tick polls whether the user has seen
    // them or not.
    m_session.TellNotices();
}

void ReceiverDialog::ShowLink() {
    const bool lost = m_session.State() == ReceiverSession::Link::Lost;
    if (m_view == nullptr || lost == m_titleLost) {
        return;
    }
    m_titleLost = lost;
    m_view->SetTitle(lost
                         ? "Tavrolin – keine Verbindung (COM " + std::to_string(m_comPort + 1) + ")"
                         : std::string(kCaption));
}

void ReceiverDialog::ShowMultiplexerState() {
    if (m_view == nullptr) {
        return;
    }
    const bool inUse = m_useMultiplexer != 0;
    m_view->Enable(control::kMuxAddressLabel, inUse);
    m_view->Enable(control::kMuxAddress, inUse);
    m_view->Enable(control::kSelectMultiplexer, inUse);
    m_muxAddress = SystemSettings::MuxAddressShown(m_muxAddress);
    m_view->SetText(control::kMuxAddress, std::to_string(m_muxAddress));
}

void ReceiverDialog::OnComPortSelected() {
    if (m_view == nullptr) {
        return;
    }
    m_comPort = m_view->GetComboSelection();
    ConnectReceiver();
}

void ReceiverDialog::OnSelectMultiplexer() {
    if (m_view == nullptr) {
        return;
    }
    // The dialog opens on the address the window shows. After a reconnect that failed, the
    // stage ports still hold the reset of the disconnect (none), and the dialog would offer
    // that instead and hand it back, even from "&Abbruch".
    m_multiplexer.SetAddress(LowByte(m_muxAddress));
    // Whatever the result: the clicks changed the stage ports at once.
    m_view->RunMultiplexerDialog(m_multiplexer);
    m_muxAddress = LowByte(m_multiplexer.GetAddress());
    ShowMultiplexerState();
    ConnectReceiver();
}

void ReceiverDialog::OnUseMultiplexer() {
    if (m_view == nullptr) {
        return;
    }
    m_useMultiplexer = m_view->GetCheck(control::kUseMultiplexer) ? 1 : 0;
    ShowMultiplexerState();
    ConnectReceiver();
}

void ReceiverDialog::OnClearList() {
    if (m_view == nullptr) {
        return;
    }
    m_view->List().ResetContent();
}

void ReceiverDialog::OnRecordingBox() {
    if (m_view == nullptr) {
        return;
    }
    // Rebuilt from all 21 boxes, so the bits above 20 of a loaded mask are gone.
    uint32_t mask = 0;
    for (int bit = 0; bit < kRecordingBits; ++bit) {
        if (m_view->GetCheck(control::kRecordingFirst + bit)) {
            mask |= uint32_t{1} << bit;
        }
    }
    m_recordingMask = static_cast<int>(mask);
    SetRecordingMask(mask);
}

void ReceiverDialog::SetRecordingMask(RecordingMask mask) {
    m_session.SetRecordingMask(mask);
}

int* ReceiverDialog::AddressValue(int id) {
    switch (id) {
        case control::kRainAddress:
            return &m_rainAddress;
        case control::kWindAddress:
            return &m_windAddress;
        case control::kBrightnessAddress:
            return &m_brightnessAddress;
        case control::kPyranoAddress:
            return &m_pyranoAddress;
        default:
            return nullptr;
    }
}

void ReceiverDialog::ValidateAddressField(int id) {
    int* const value = AddressValue(id);
    if (m_view == nullptr || value == nullptr) {
        return;
    }
    *value = AddressEdit::ValidatedValue(m_view->GetText(id));
    m_view->SetText(id, AddressEdit::ValueText(*value));
}

bool ReceiverDialog::OnAddressChar(int id, int character, bool shiftDown) {
    if (m_view == nullptr) {
        return false;
    }
    switch (AddressEdit::OnAddressChar(character, shiftDown)) {
        case AddressEdit::KeyAction::NextField:
            m_view->MoveFocus(false);
            return true;
        case AddressEdit::KeyAction::PreviousField:
            m_view->MoveFocus(true);
            return true;
        case AddressEdit::KeyAction::Validate:
            ValidateAddressField(id);
            return true;
        case AddressEdit::KeyAction::Swallow:
            return true;
        case AddressEdit::KeyAction::Edit:
            return false;
    }
    return false;
}

void ReceiverDialog::OnChooseProtocolFile() {
    if (m_view == nullptr) {
        return;
    }
    const bool chosen = ChooseProtocolFile(m_env.fileChooser, m_protocolFileName, m_protocolFile);
    m_session.TellNoticesAndWait();  // the old file's close may have failed
    if (!chosen) {
        return;  // cancelled: name and file as they were
    }
    const std::string shown = FileNameToUtf8(m_protocolFileName);
    m_view->SetText(control::kFileName, shown);
    // The user has just asked for this file, so unlike at start its failure is told; the
    // records go to the list only until another file is chosen.
    if (!m_protocolFile.IsOpen()) {
        m_env.messages.ShowMessage(kCaption,
                                   "Die Protokolldatei " + shown + " läßt sich nicht öffnen.",
                                   MessageIcon::Exclamation);
    }
}

bool ReceiverDialog::WriteSettings(const WindowRect& rect) {
    SystemSettings s;
    s.protocolFileName = m_protocolFileName;
    s.left = rect.left;
    s.top = rect.top;
    s.comPort = m_comPort;
    s.useMultiplexer = m_useMultiplexer;
    s.muxAddress = m_muxAddress;
    s.recordingMask = m_recordingMask;
    s.brightnessAddress = m_brightnessAddress;
    s.pyranoAddress = m_pyranoAddress;
    s.rainAddress = m_rainAddress;
    s.windAddress = m_windAddress;
    return s.Write(m_env.settings);
}

void ReceiverDialog::SaveAndStop() {
    if (m_view == nullptr) {
        return;
    }
    if (m_protocolFile.IsOpen()) {
        m_protocolFile.CloseFile();
        m_session.TellNoticesAndWait();
    }
    DisconnectReceiver();
    if (m_profileUnreadable) {
        return;  // told at the start
    }
    const WindowRect rect = m_view->GetWindowRect();
    if (!WriteSettings(rect)) {
        // The profile keeps what it had: each write replaces it whole or not at all.
        m_env.messages.ShowMessage(kCaption,
                                   "Die Einstellungen konnten nicht gespeichert werden.\n" +
                                       FileNameToUtf8(m_env.settings.ProfilePath()),
                                   MessageIcon::Exclamation);
    }
}

void ReceiverDialog::OnOkCommand() {
    if (m_view == nullptr) {
        return;
    }
    SaveAndStop();
    m_view->EndDialog(DialogResult::Ok);
}

void ReceiverDialog::OnCloseRequest() {
    if (m_view == nullptr) {
        return;
    }
    SaveAndStop();
    m_view->EndDialog(DialogResult::Cancel);
}

void ReceiverDialog::OnCancelCommand() {
    if (m_view != nullptr) {
        m_view->EndDialog(DialogResult::Cancel);
    }
}

void ReceiverDialog::OnAbout() {
    if (m_view != nullptr) {
        m_view->RunAboutBox();
    }
}

void ReceiverDialog::OnHelp() {
    if (!m_env.help.ShowHelp()) {
        m_env.messages.ShowMessage(kCaption, "Die Hilfe konnte nicht aufgerufen werden.",
                                   MessageIcon::Exclamation);
    }
}

}  // namespace tavrolin
