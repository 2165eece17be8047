// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/HeadlessLogger.h"

#include "base/Win1252.h"

namespace tavrolin {

namespace {

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
        case FileError::Folder:
            return ": Das ist ein Ordner.";
        case FileError::NotAFile:
            return ": Das ist keine gewöhnliche Datei.";
        case FileError::TooBig:
        case FileError::None:
        case FileError::Other:
            break;
    }
    return ".";
}

}  // namespace

void LineOutputSink::Accept(const Reading& reading, std::string_view line) {
    if (m_output && IsRecorded(reading, m_mask)) {
        m_output(Win1252ToUtf8(line));
    }
}

HeadlessLogger::HeadlessLogger(ReceiverPort& port, MultiplexerSignaller& multiplexer,
                               FileSystem& fileSystem, MessageSink& messages, LineOutput output)
    : m_multiplexer(multiplexer),
      m_messages(messages),
      m_protocolFile(fileSystem, messages),
      m_fileSink(nullptr, m_protocolFile),
      m_outputSink(std::move(output)),
      m_session(port, messages) {
    // Every record is printed before it is written.
    m_session.Sinks().Add(m_outputSink);
    m_session.Sinks().Add(m_fileSink);
}

bool HeadlessLogger::Start(const SystemSettings& settings) {
    m_settings = settings;
    const auto muxAddress =
        static_cast<uint8_t>(SystemSettings::MuxAddressShown(m_settings.muxAddress) & 0xFF);
    const auto mask = static_cast<RecordingMask>(m_settings.recordingMask);
    m_fileSink.SetMask(mask);
    m_outputSink.SetMask(mask);
    m_multiplexer.SetAddress(muxAddress);
    if (!m_protocolFile.OpenForAppend(m_settings.protocolFileName)) {
        // The window stays silent here, since its list still shows the records; a logger
        // whose file does not grow must say so.
        ReportUnopenedFile(m_settings.protocolFileName);
    }
    return m_session.Connect(m_settings.comPort, muxAddress, m_settings.useMultiplexer);
}

bool HeadlessLogger::OnTick() {
    // Parity, framing and overrun errors spoil one read and are gone at the next; a failed
    // read or an unclassified error (a break) that never stops means there is no line.
    if (m_session.Poll() != LinkResult::kFailed) {
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
    m_session.Disconnect();
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
