// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "app/LoggerOptions.h"
#include "app/ReceiverSession.h"
#include "app/ServiceNotifier.h"
#include "settings/SystemSettings.h"
#include "base/Clock.h"
#include "base/FileSystem.h"
#include "base/MessageSink.h"
#include "decode/OutputLinesSink.h"
#include "decode/ProtocolFile.h"
#include "decode/TelegramDecoder.h"
#include "serial/MultiplexerSignaller.h"
#include "serial/ReceiverPort.h"

namespace tavrolin {

// The logger's protocol file: the lines of the recorded sensors, one write per poll. A
// logger runs for months, and a disk that fills up must not end its file for good: after a
// failed write it says so once, the records go to the output alone, and at most once a
// minute, when there is a record to write, the file is opened again and appended to. The
// first write that works again is told too.
class LoggerFileSink : public ReadingSink {
public:
    LoggerFileSink(ProtocolFile& file, CoarseClock& clock) : m_file(file), m_clock(clock) {}
    static constexpr int64_t kRetryMs = 60000;

    // The file to reopen after a failure, and the records to write.
    void Setup(const std::string& name, RecordingMask mask);
    void Accept(const Reading& reading, std::string_view line) override;
    void EndOfPoll() override;
    std::optional<SinkNotice> TakeNotice() override;

private:
    ProtocolFile& m_file;
    CoarseClock& m_clock;
    std::string m_name;
    RecordingMask m_mask = kAllRecordings;
    bool m_failing = false;  // a write failed, and none has worked since
    int64_t m_lastTryMs = 0;
    std::optional<SinkNotice> m_notice;
};

// Where the logger reports to the service manager that started it.
struct ServiceReport {
    ServiceNotifier& notifier;
    LocalClock& clock;  // the time of a loss, in the status line
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
    // Gets the presented records of each poll, UTF-8, each line ending in "\n".
    using LineOutput = OutputLinesSink::LineOutput;

    // The clock paces the protocol file's reopening after a failed write.
    HeadlessLogger(ReceiverPort& port, MultiplexerSignaller& multiplexer, FileSystem& fileSystem,
                   MessageSink& messages, CoarseClock& clock, LineOutput output);
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
    // Further sinks (JSON, MQTT, the archive) are added here.
    SinkFanOut& Sinks() { return m_session.Sinks(); }

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
    ProtocolFile m_protocolFile;
    LoggerFileSink m_fileSink;
    OutputLinesSink m_outputSink;
    ReceiverSession m_session;
};

}  // namespace tavrolin
