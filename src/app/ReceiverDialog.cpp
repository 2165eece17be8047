// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ReceiverDialog.h"

#include "base/Win1252.h"
#include "decode/ProtocolFileChoice.h"

namespace tavrolin {

namespace {

constexpr const char* kCaption = "Tavrolin";
constexpr SensorAddress kAddressFields[] = {SensorAddress::Rain, SensorAddress::Wind,
                                            SensorAddress::Brightness, SensorAddress::Pyrano};

uint8_t LowByte(int value) {
    return static_cast<uint8_t>(value & 0xFF);
}

}  // namespace

ReceiverDialog::ReceiverDialog(ReceiverPort& port, MultiplexerDialog& multiplexer,
                               const AppEnvironment& env)
    : m_multiplexer(multiplexer),
      m_env(env),
      m_reception(port, env.messages, env.clock, env.files,
                  {.lines = &m_listSink, .overview = env.overview}, env.outputs),
      m_session(m_reception.Session()),
      m_protocolFile(m_reception.File()) {}

// The protocol file closes itself; after Cancel it is still open here.
ReceiverDialog::~ReceiverDialog() = default;

void ReceiverDialog::AttachView(ReceiverView* view) {
    m_view = view;
    m_listSink.SetList(view == nullptr ? nullptr : &view->List());
}

bool ReceiverDialog::InitializeWindow() {
    ReceiverView& view = *m_view;
    SettingsStore& settings = m_env.settings;

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
    m_settings = SystemSettings::Read(settings);
    LinkRules rules;
    rules.silenceMs = m_settings.SilenceMs();
    rules.tellLinkChanges = false;  // the title tells
    m_session.SetRules(rules);

    // The window opens at the screen's origin. A saved position that equals it (the
    // defaults 0, 0 of a first start) asks for a centred window instead.
    const ScreenPoint before = view.Position();
    view.MoveTo({m_settings.left, m_settings.top});
    const bool centre = m_settings.left == before.left && m_settings.top == before.top;

    // Shown as loaded, out of range or not, until the user validates a field.
    for (const SensorAddress field : kAddressFields) {
        view.ShowAddress(field, AddressEdit::LoadedText(AddressValue(field)));
    }
    m_reception.SetRecordingMask(static_cast<RecordingMask>(m_settings.recordingMask));
    view.ShowRecording(static_cast<RecordingMask>(m_settings.recordingMask) & kAllRecordings);
    view.ShowPort(m_settings.comPort);
    ShowMultiplexerState();
    m_multiplexer.SetAddress(LowByte(m_settings.muxAddress));

    view.ShowFileName(FileNameToUtf8(m_settings.protocolFileName));
    // A file that cannot be opened leaves records to the list, without a message.
    m_protocolFile.OpenForAppend(m_settings.protocolFileName);

    ConnectReceiver();
    if (centre) {
        view.Centre();
    }
    return true;
}

void ReceiverDialog::ConnectReceiver() {
    if (m_session.State() != ReceiverSession::Link::Idle) {
        DisconnectReceiver();
    }
    const bool connected = m_session.Connect(m_settings.comPort, LowByte(m_settings.muxAddress),
                                             m_settings.useMultiplexer != 0);
    ShowLink();
    if (!connected) {
        return;  // the port layer has told the user; idle until the next change
    }
    m_pollBusy = false;
    m_view->StartTicks(kReceiveTimerMs);
}

void ReceiverDialog::DisconnectReceiver() {
    m_view->StopTicks();
    m_session.Disconnect();
}

void ReceiverDialog::OnTick() {
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
    if (lost == m_titleLost) {
        return;
    }
    m_titleLost = lost;
    m_view->ShowTitle(lost ? "Tavrolin – keine Verbindung (COM " +
                                 std::to_string(m_settings.comPort + 1) + ")"
                           : std::string(kCaption));
}

void ReceiverDialog::ShowMultiplexerState() {
    m_settings.muxAddress = SystemSettings::MuxAddressShown(m_settings.muxAddress);
    m_view->ShowMultiplexer(m_settings.useMultiplexer != 0, m_settings.muxAddress);
}

void ReceiverDialog::OnComPortSelected(int index) {
    m_settings.comPort = index;
    ConnectReceiver();
}

void ReceiverDialog::OnSelectMultiplexer() {
    // The dialog opens on the address the window shows. After a reconnect that failed, the
    // stage ports still hold the reset of the disconnect (none), and the dialog would offer
    // that instead and hand it back, even from "&Abbruch".
    m_multiplexer.SetAddress(LowByte(m_settings.muxAddress));
    // Whatever the result: the clicks changed the stage ports at once.
    m_view->RunMultiplexerDialog(m_multiplexer);
    m_settings.muxAddress = LowByte(m_multiplexer.GetAddress());
    ShowMultiplexerState();
    ConnectReceiver();
}

void ReceiverDialog::OnUseMultiplexer(bool inUse) {
    m_settings.useMultiplexer = inUse ? 1 : 0;
    ShowMultiplexerState();
    ConnectReceiver();
}

void ReceiverDialog::OnClearList() {
    m_view->List().Clear();
}

void ReceiverDialog::OnRecordingBox(RecordingMask ticked) {
    // The boxes stand for the bits 0..20 alone, so the bits above of a loaded mask are gone.
    const RecordingMask mask = ticked & kAllRecordings;
    m_settings.recordingMask = static_cast<int>(mask);
    m_reception.SetRecordingMask(mask);
}

int& ReceiverDialog::AddressValue(SensorAddress field) {
    switch (field) {
        case SensorAddress::Rain:
            return m_settings.rainAddress;
        case SensorAddress::Wind:
            return m_settings.windAddress;
        case SensorAddress::Brightness:
            return m_settings.brightnessAddress;
        case SensorAddress::Pyrano:
            break;
    }
    return m_settings.pyranoAddress;
}

void ReceiverDialog::ValidateAddressField(SensorAddress field, std::string_view text) {
    int& value = AddressValue(field);
    value = AddressEdit::ValidatedValue(text);
    m_view->ShowAddress(field, AddressEdit::ValueText(value));
}

bool ReceiverDialog::OnAddressChar(SensorAddress field, std::string_view text, int character,
                                   bool shiftDown) {
    switch (AddressEdit::OnAddressChar(character, shiftDown)) {
        case AddressEdit::KeyAction::NextField:
            m_view->MoveFocus(false);
            return true;
        case AddressEdit::KeyAction::PreviousField:
            m_view->MoveFocus(true);
            return true;
        case AddressEdit::KeyAction::Validate:
            ValidateAddressField(field, text);
            return true;
        case AddressEdit::KeyAction::Swallow:
            return true;
        case AddressEdit::KeyAction::Edit:
            return false;
    }
    return false;
}

void ReceiverDialog::OnChooseProtocolFile() {
    const bool chosen =
        ChooseProtocolFile(m_env.fileChooser, m_settings.protocolFileName, m_protocolFile);
    m_session.TellNoticesAndWait();  // the old file's close may have failed
    if (!chosen) {
        return;  // cancelled: name and file as they were
    }
    const std::string shown = FileNameToUtf8(m_settings.protocolFileName);
    m_view->ShowFileName(shown);
    // The user has just asked for this file, so unlike at start its failure is told; the
    // records go to the list only until another file is chosen.
    if (!m_protocolFile.IsOpen()) {
        m_env.messages.ShowMessage(kCaption,
                                   "Die Protokolldatei " + shown + " läßt sich nicht öffnen.",
                                   MessageIcon::Exclamation);
    }
}

void ReceiverDialog::SaveAndStop() {
    if (m_protocolFile.IsOpen()) {
        m_protocolFile.CloseFile();
        m_session.TellNoticesAndWait();
    }
    DisconnectReceiver();
    if (m_profileUnreadable) {
        return;  // told at the start
    }
    const ScreenPoint position = m_view->Position();
    m_settings.left = position.left;
    m_settings.top = position.top;
    if (!m_settings.Write(m_env.settings)) {
        // The profile keeps what it had: each write replaces it whole or not at all.
        m_env.messages.ShowMessage(kCaption,
                                   "Die Einstellungen konnten nicht gespeichert werden.\n" +
                                       FileNameToUtf8(m_env.settings.ProfilePath()),
                                   MessageIcon::Exclamation);
    }
}

void ReceiverDialog::OnOkCommand() {
    SaveAndStop();
    m_view->End(DialogResult::Ok);
}

void ReceiverDialog::OnCloseRequest() {
    SaveAndStop();
    m_view->End(DialogResult::Cancel);
}

void ReceiverDialog::OnCancelCommand() {
    m_view->End(DialogResult::Cancel);
}

void ReceiverDialog::OnAbout() {
    m_view->RunAboutBox();
}

void ReceiverDialog::OnHelp() {
    if (!m_env.help.ShowHelp()) {
        m_env.messages.ShowMessage(kCaption, "Die Hilfe konnte nicht aufgerufen werden.",
                                   MessageIcon::Exclamation);
    }
}

}  // namespace tavrolin
