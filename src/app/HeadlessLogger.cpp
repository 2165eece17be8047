// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/HeadlessLogger.h"

#include "base/Win1252.h"

namespace tavrolin {

namespace {

constexpr std::string_view kSection = "SYSTEM";
constexpr int kMaxMuxAddress = 66;

// Why a file could not be opened, in the words of the messages.
const char* Reason(FileError error) {
    switch (error) {
        case FileError::NotFound:
            return ": Der Ordner existiert nicht.";
        case FileError::AccessDenied:
            return ": Keine Berechtigung.";
        case FileError::Busy:
            return ": Sie ist von einem anderen Programm geöffnet.";
        case FileError::NoSpace:
            return ": Der Datenträger ist voll.";
        case FileError::None:
        case FileError::Other:
            break;
    }
    return ".";
}

}  // namespace

LoggerSettings ReadLoggerSettings(const SettingsStore& settings) {
    LoggerSettings s;
    s.comPort = settings.ReadInt(kSection, "COM", 0);
    s.useMultiplexer = settings.ReadInt(kSection, "Mit MUX", 0);
    s.muxAddress = settings.ReadInt(kSection, "MUX Adresse", 0);
    if (s.muxAddress < 0 || s.muxAddress > kMaxMuxAddress) {
        s.muxAddress = 0;  // not the nearer bound
    }
    s.recordingMask = static_cast<RecordingMask>(settings.ReadInt(kSection, "Protokoll", -1));
    s.protocolFileName = settings.ReadString(kSection, "Filename", "protokoll.dat");
    return s;
}

HeadlessLogger::HeadlessLogger(ReceiverPort& port, MultiplexerSignaller& multiplexer,
                               FileSystem& fileSystem, MessageSink& messages, LineOutput output)
    : m_port(port),
      m_multiplexer(multiplexer),
      m_messages(messages),
      m_output(std::move(output)),
      m_protocolFile(fileSystem, messages) {
    // The list gets every presented record before the file does; that is where the output
    // takes it from.
    m_list.SetOnAdd([this](std::string_view line) {
        if (m_output) {
            m_output(Win1252ToUtf8(line));
        }
    });
}

bool HeadlessLogger::Start(const LoggerSettings& settings) {
    m_settings = settings;
    const auto muxAddress = static_cast<uint8_t>(m_settings.muxAddress & 0xFF);
    m_multiplexer.SetAddress(muxAddress);
    if (!m_protocolFile.OpenForAppend(m_settings.protocolFileName)) {
        // The window stays silent here, since its list still shows the records; a logger
        // whose file does not grow must say so.
        ReportUnopenedFile(m_settings.protocolFileName);
    }
    m_connected = m_port.Connect(m_settings.comPort, muxAddress, m_settings.useMultiplexer);
    if (m_connected == 0) {
        return false;
    }
    m_port.SendFrame(kStartCommand.data(), static_cast<int>(kStartCommand.size()));
    return true;
}

bool HeadlessLogger::OnTick() {
    // Parity, framing and overrun errors spoil one read and are gone at the next; a failed
    // read or an unclassified error (a break) that never stops means there is no line.
    if (m_port.Poll(m_list, m_protocolFile, m_settings.recordingMask) != LinkResult::kFailed) {
        m_failedPolls = 0;
        return true;
    }
    if (++m_failedPolls < kLostAfterFailedPolls) {
        return true;
    }
    m_messages.ShowMessage("Fehler beim Lesen der Schnittstelle",
                           "Der Empfänger ist nicht mehr erreichbar: die Schnittstelle meldet "
                           "seit einer Sekunde nur Fehler.",
                           MessageIcon::Stop);
    return false;
}

void HeadlessLogger::Stop() {
    if (m_protocolFile.IsOpen()) {
        m_protocolFile.CloseFile();
    }
    if (m_connected != 0) {
        m_port.SendFrame(kStopCommand.data(), static_cast<int>(kStopCommand.size()));
        m_port.Disconnect();
        m_connected = 0;
    }
}

void HeadlessLogger::ReportUnopenedFile(const std::string& name) {
    constexpr std::string_view kOnlyOutput =
        " Die Empfangsdaten werden nur auf der Standardausgabe ausgegeben.";
    std::string text;
    if (name.empty()) {
        text = "Es ist keine Protokolldatei eingestellt (Filename).";
    } else {
        text = "Die Protokolldatei " + ShownFilePath(name) + " läßt sich nicht öffnen" +
               Reason(m_protocolFile.LastOpenError());
    }
    text += kOnlyOutput;
    m_messages.ShowMessage("Tavrolin", text, MessageIcon::Exclamation);
}

}  // namespace tavrolin
