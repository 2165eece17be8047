// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/HeadlessLogger.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace tavrolin {

HeadlessLogger::HeadlessLogger(ReceiverPort& port, MultiplexerSignaller& multiplexer,
                               FileSystem& fileSystem, MessageSink& messages, CoarseClock& clock,
                               TextOutput output, Format format, Outputs* outputs)
    : m_multiplexer(multiplexer),
      m_messages(messages),
      m_clock(clock),
      m_textOutput(output),
      m_jsonOutput(output),
      m_reception(port, messages, clock, fileSystem,
                  format == Format::Json ? ShownReadings{.json = &m_jsonOutput}
                                         : ShownReadings{.lines = &m_textOutput},
                  outputs),
      m_session(m_reception.Session()),
      m_protocolFile(m_reception.File()),
      m_fileSink(m_reception.FileSink()) {}

bool HeadlessLogger::Start(const SystemSettings& settings, const LoggerOptions& options) {
    m_settings = settings;
    LinkRules rules;
    rules.reconnect = !options.exitOnLoss;
    rules.silenceMs =
        options.silenceSeconds ? int64_t{*options.silenceSeconds} * 1000 : settings.SilenceMs();
    m_session.SetRules(rules);
    const auto muxAddress =
        static_cast<uint8_t>(SystemSettings::MuxAddressShown(m_settings.muxAddress) & 0xFF);
    m_reception.SetRecordingMask(static_cast<RecordingMask>(m_settings.recordingMask));
    // A logger runs for months: a disk that fills up must not end its file for good.
    m_fileSink.ReopenAfterFailure(m_settings.protocolFileName, m_clock, kFileRetryMs,
                                  "Die Empfangsdaten werden jetzt nur auf der Standardausgabe "
                                  "ausgegeben; einmal in der Minute wird versucht, die "
                                  "Protokolldatei wieder zu öffnen.");
    m_multiplexer.SetAddress(muxAddress);
    if (!m_protocolFile.OpenForAppend(m_settings.protocolFileName)) {
        // The window stays silent here, since its list still shows the records; a logger
        // whose file does not grow must say so.
        ReportUnopenedFile(m_settings.protocolFileName);
    }
    if (!m_session.Connect(m_settings.comPort, muxAddress, m_settings.useMultiplexer != 0)) {
        return false;
    }
    if (m_report) {
        m_report->notifier.Notify("READY=1");
    }
    ReportLink();
    return true;
}

bool HeadlessLogger::OnTick() {
    m_session.Tick();
    ReportLink();
    // Without reconnecting, a lost link is the end: a logger that would go on silently is
    // of no use, one that ends can be restarted.
    return m_session.State() != ReceiverSession::Link::Lost || m_session.Rules().reconnect;
}

int64_t HeadlessLogger::NextTickMs() const {
    int64_t longest = kIdleTickMs;
    if (m_report && m_report->notifier.WatchdogTimeoutMs() > 0) {
        // The watchdog is told every half of its time; a tick at least twice in it.
        longest = std::min(longest, m_report->notifier.WatchdogTimeoutMs() / 4);
    }
    return std::clamp(m_session.IdleMs(), kTickMs, std::max(longest, kTickMs));
}

void HeadlessLogger::ReportLink() {
    if (!m_report) {
        return;
    }
    const ReceiverSession::Link link = m_session.State();
    if (link != m_reportedLink) {
        m_reportedLink = link;
        if (link == ReceiverSession::Link::Connected) {
            m_report->notifier.Notify("STATUS=verbunden mit " + m_report->device());
        } else if (link == ReceiverSession::Link::Lost) {
            const LocalTime t = LocalTimeIn(m_report->zone, m_report->clock.Now());
            char since[16];
            std::snprintf(since, sizeof since, "%02d:%02d:%02d", t.hour, t.minute, t.second);
            m_report->notifier.Notify(std::string("STATUS=keine Verbindung seit ") + since);
        }
    }
    // From the tick loop, so a loop that hangs (a write that never returns) is restarted. Half
    // the timeout leaves room for a tick that takes long (a reconnect).
    const int64_t timeout = m_report->notifier.WatchdogTimeoutMs();
    const int64_t now = m_clock.ReadMs();
    if (timeout > 0 && (!m_lastWatchdogMs || now - *m_lastWatchdogMs >= timeout / 2)) {
        m_lastWatchdogMs = now;
        m_report->notifier.Notify("WATCHDOG=1");
    }
}

void HeadlessLogger::Stop() {
    if (m_protocolFile.IsOpen()) {
        m_protocolFile.CloseFile();
        m_session.TellNotices();
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
               std::string(FileErrorReason(m_protocolFile.LastOpenError(), FileAccess::Write));
    }
    text += kOnlyOutput;
    m_messages.ShowMessage("Tavrolin", text, MessageIcon::Exclamation);
}

}  // namespace tavrolin
