// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "app/SettingsStore.h"
#include "base/FileSystem.h"
#include "base/MessageSink.h"
#include "decode/ProtocolFile.h"
#include "decode/ReceivedList.h"
#include "decode/TelegramDecoder.h"
#include "serial/MultiplexerSignaller.h"
#include "serial/ReceiverPort.h"

namespace tavrolin {

// What the logger takes from the desktop program's settings, section "SYSTEM".
struct LoggerSettings {
    int comPort = 0;
    int useMultiplexer = 0;
    int muxAddress = 0;
    RecordingMask recordingMask = static_cast<RecordingMask>(-1);
    std::string protocolFileName = "protokoll.dat";
};

// Reads the settings as the receiver window does at start; a "MUX Adresse" outside 0..66
// becomes 0, as the window's display of it makes it.
LoggerSettings ReadLoggerSettings(const SettingsStore& settings);

// The receiver window's life without the window: its start (multiplexer address, protocol
// file, connect, start command), its 50 ms tick and its OK (protocol file closed, stop
// command, multiplexer reset, port closed). The records go to the protocol file and, in
// UTF-8, to an output of the caller's; the list behind them keeps the window's 51 lines
// and is never shown. Settings are only read, never written.
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
    bool Start(const LoggerSettings& settings);
    // One tick: collects what the receiver sent and presents its records. False once the
    // line has given nothing but failures for kLostAfterFailedPolls ticks in a row (an
    // adapter pulled, a cable cut into a break, the device gone), after a message: a logger
    // that would go on silently is of no use, one that ends can be restarted.
    bool OnTick();
    static constexpr int kLostAfterFailedPolls = 20;  // one second
    // Closes the protocol file, then stops the receiver and lets go of the line.
    void Stop();

    bool Connected() const { return m_connected != 0; }
    bool FileOpen() const { return m_protocolFile.IsOpen(); }

private:
    void ReportUnopenedFile(const std::string& name);

    ReceiverPort& m_port;
    MultiplexerSignaller& m_multiplexer;
    MessageSink& m_messages;
    LineOutput m_output;
    LoggerSettings m_settings;
    MemoryList m_list;
    ProtocolFile m_protocolFile;
    int m_connected = 0;
    int m_failedPolls = 0;  // in a row
};

}  // namespace tavrolin
