// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "app/LoggerOptions.h"
#include "app/Outputs.h"
#include "app/ReceiverSession.h"
#include "app/Reception.h"
#include "app/ServiceNotifier.h"
#include "base/Clock.h"
#include "base/FileSystem.h"
#include "base/MessageSink.h"
#include "decode/OutputLines.h"
#include "decode/ProtocolFile.h"
#include "decode/TelegramDecoder.h"
#include "serial/MultiplexerSignaller.h"
#include "serial/ReceiverPort.h"
#include "settings/SystemSettings.h"

namespace tavrolin {

// Where the logger reports to the service manager that started it.
struct ServiceReport {
    ServiceNotifier& notifier;
    WallClock& clock;  // the time of a loss, in the status line
    const TimeZone& zone;
    // The device the port is open on, for the status line.
    std::function<std::string()> device;
};

// The receiver window's life without the window: its start (multiplexer address, protocol
// file, connect, start command), its 50 ms tick and its OK (protocol file closed, stop
// command, multiplexer reset, port closed). The records go to the protocol file and, in
// UTF-8, to an output of the caller's. Settings are only read, never written. A lost
// receiver is reconnected and a silent one started anew as in the window (ReceiverSession),
// but said on stderr, each change once, since nobody sees a title.
class HeadlessLogger {
public:
    // What the output gets of each reading: its report line, or its JSON object.
    enum class Format { Text, Json };
    // A logger whose protocol file cannot be written tries again this often.
    static constexpr int64_t kFileRetryMs = 60000;

    // The output gets the records of each poll, UTF-8, each line ending in "\n". The clock
    // paces the protocol file's reopening after a failed write. The outputs (the archive,
    // MQTT), when given, get the readings too.
    HeadlessLogger(ReceiverPort& port, MultiplexerSignaller& multiplexer, FileSystem& fileSystem,
                   MessageSink& messages, CoarseClock& clock, TextOutput output,
                   Format format = Format::Text, Outputs* outputs = nullptr);
    HeadlessLogger(const HeadlessLogger&) = delete;
    HeadlessLogger& operator=(const HeadlessLogger&) = delete;

    // Tells the service manager READY=1, WATCHDOG=1 and the link's STATUS= from now on.
    void ReportTo(ServiceReport report) { m_report.emplace(std::move(report)); }

    // Opens the protocol file for appending and connects. True when the receiver is
    // connected and the start command sent; false when the port could not be opened (the
    // port layer has told why). A protocol file that cannot be opened is reported, and the
    // records go to the output only. The options choose how a lost or silent receiver is
    // handled.
    bool Start(const SystemSettings& settings, const LoggerOptions& options = {});
    // One tick: collects what the receiver sent, presents its records, and keeps the link.
    // False only with exitOnLoss, once the line has given nothing but failures for a second
    // (an adapter pulled, a cable cut into a break, the device gone), after a message.
    bool OnTick();
    static constexpr int kLostAfterFailedPolls = ReceiverSession::kLostAfterFailedPolls;
    static constexpr int64_t kTickMs = 50;
    // The time to the next tick: 50 ms, but while the port is gone up to a second, or until
    // the next attempt to open it: a logger that waits for an adapter for days wakes once a
    // second, not twenty times.
    int64_t NextTickMs() const;
    static constexpr int64_t kIdleTickMs = 1000;
    // Closes the protocol file (telling a failure), then stops the receiver and lets go of
    // the line.
    void Stop();

    bool Connected() const { return m_session.Connected(); }
    ReceiverSession::Link State() const { return m_session.State(); }
    bool FileOpen() const { return m_protocolFile.IsOpen(); }
    // How the receiver answered the start command of Start.
    LinkResult StartAnswer() const { return m_session.StartAnswer(); }

private:
    void ReportUnopenedFile(const std::string& name);
    // The status line after a change of the link, and the watchdog when it is due.
    void ReportLink();

    MultiplexerSignaller& m_multiplexer;
    MessageSink& m_messages;
    CoarseClock& m_clock;
    std::optional<ServiceReport> m_report;
    ReceiverSession::Link m_reportedLink = ReceiverSession::Link::Idle;
    std::optional<int64_t> m_lastWatchdogMs;
    SystemSettings m_settings;
    TextLinesOutput m_textOutput;
    JsonLinesOutput m_jsonOutput;
    Reception m_reception;
    ReceiverSession& m_session;
    ProtocolFile& m_protocolFile;
    ProtocolFileSink& m_fileSink;
};

}  // namespace tavrolin
