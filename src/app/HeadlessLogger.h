// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "app/ReceiverSession.h"
#include "app/SystemSettings.h"
#include "base/FileSystem.h"
#include "base/MessageSink.h"
#include "decode/PresentReport.h"
#include "decode/ProtocolFile.h"
#include "decode/TelegramDecoder.h"
#include "serial/MultiplexerSignaller.h"
#include "serial/ReceiverPort.h"

namespace tavrolin {

// The report lines of the recorded sensors, in UTF-8, to an output of the caller's (the
// logger's stdout).
class LineOutputSink : public ReadingSink {
public:
    using LineOutput = std::function<void(std::string_view line)>;
    explicit LineOutputSink(LineOutput output) : m_output(std::move(output)) {}
    void SetRecordingMask(RecordingMask mask) override { m_mask = mask; }
    void Accept(const Reading& reading, std::string_view line) override;

private:
    LineOutput m_output;
    RecordingMask m_mask = kAllRecordings;
};

// The receiver window's life without the window: its start (multiplexer address, protocol
// file, connect, start command), its 50 ms tick and its OK (protocol file closed, stop
// command, multiplexer reset, port closed). The records go to the protocol file and, in
// UTF-8, to an output of the caller's. Settings are only read, never written.
class HeadlessLogger {
public:
    // Gets every presented record, UTF-8, without line end.
    using LineOutput = std::function<void(std::string_view line)>;

    HeadlessLogger(ReceiverPort& port, MultiplexerSignaller& multiplexer, FileSystem& fileSystem,
                   MessageSink& messages, LineOutput output);
    HeadlessLogger(const HeadlessLogger&) = delete;
    HeadlessLogger& operator=(const HeadlessLogger&) = delete;

    // Opens the protocol file for appending and connects. True when the receiver is
    // connected and the start command sent; false when the port could not be opened (the
    // port layer has told why). A protocol file that cannot be opened is reported, and the
    // records go to the output only.
    bool Start(const SystemSettings& settings);
    // One tick: collects what the receiver sent and presents its records. False once the
    // line has given nothing but failures for kLostAfterFailedPolls ticks in a row (an
    // adapter pulled, a cable cut into a break, the device gone), after a message: a logger
    // that would go on silently is of no use, one that ends can be restarted.
    bool OnTick();
    static constexpr int kLostAfterFailedPolls = 20;  // one second
    // Closes the protocol file, then stops the receiver and lets go of the line.
    void Stop();

    bool Connected() const { return m_session.Connected(); }
    bool FileOpen() const { return m_protocolFile.IsOpen(); }
    // Further sinks (JSON, MQTT, the archive) are added here.
    SinkFanOut& Sinks() { return m_session.Sinks(); }

private:
    void ReportUnopenedFile(const std::string& name);

    MultiplexerSignaller& m_multiplexer;
    MessageSink& m_messages;
    SystemSettings m_settings;
    ProtocolFile m_protocolFile;
    PresentingSink m_fileSink;
    LineOutputSink m_outputSink;
    ReceiverSession m_session;
    int m_failedPolls = 0;  // in a row
};

}  // namespace tavrolin
