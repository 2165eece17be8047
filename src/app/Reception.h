// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/Outputs.h"
#include "app/ReceiverSession.h"
#include "base/Clock.h"
#include "base/FileSystem.h"
#include "base/MessageSink.h"
#include "decode/ProtocolFile.h"
#include "decode/ProtocolFileSink.h"
#include "decode/ReadingJson.h"
#include "decode/ReadingSink.h"
#include "decode/ReportLines.h"
#include "serial/ReceiverPort.h"

namespace tavrolin {

// What a receiving program shows of the readings itself, beside the protocol file and the
// outputs; each may be null.
struct ShownReadings {
    ReportLineSink* lines = nullptr;  // the window's list, the logger's text on stdout
    JsonSink* json = nullptr;         // the logger's --json
    ReadingSink* overview = nullptr;  // the window's sensor overview: every sensor
};

// The receiver as both receiving programs run it, the window (ReceiverDialog) and the
// logger (HeadlessLogger): the session on the port, the protocol file, and every sink a
// reading goes to, wired here once, in this order:
//
//   the weather values derived (the outputs), before any sink sees the reading;
//   every sensor: the tracker of the sensors' periods, which MQTT and the overview read,
//     then the overview;
//   behind the recording filter, the sensors the user records:
//     the reading's JSON, made once: the logger's --json, then MQTT;
//     its report line, made once: the list or the logger's text, then the protocol file
//       (a record is printed before it is written);
//     the archive, the live feed, the notices of sensors that fall silent.
//
// Each program's timer drives the session through its own OnTick, the window's with the
// title, the logger's with the service manager's status.
class Reception {
public:
    Reception(ReceiverPort& port, MessageSink& messages, CoarseClock& clock, FileSystem& files,
              const ShownReadings& shown, Outputs* outputs = nullptr);
    Reception(const Reception&) = delete;
    Reception& operator=(const Reception&) = delete;

    ReceiverSession& Session() { return m_session; }
    const ReceiverSession& Session() const { return m_session; }
    ProtocolFile& File() { return m_protocolFile; }
    const ProtocolFile& File() const { return m_protocolFile; }
    ProtocolFileSink& FileSink() { return m_fileSink; }
    // The sensors whose readings the recorded sinks get.
    void SetRecordingMask(RecordingMask mask) { m_recorded.SetMask(mask); }

private:
    // What the port hands the readings to: the derivation, then the sinks.
    struct Deriving : ReadingSink {
        explicit Deriving(ReadingSink& next) : next(next) {}
        void Accept(const Reading& reading) override;
        void EndOfPoll() override { next.EndOfPoll(); }
        std::optional<SinkNotice> TakeNotice() override { return next.TakeNotice(); }
        ReadingSink& next;
        ReadingDerivation* derivation = nullptr;
    };

    ProtocolFile m_protocolFile;
    ProtocolFileSink m_fileSink;
    ReportLines m_reportLines;
    JsonOutputs m_json;
    SinkFanOut m_everySensor;
    RecordingFilter m_recorded;
    SinkFanOut m_sinks;  // every sensor, then the recorded ones
    Deriving m_deriving{m_sinks};
    ReceiverSession m_session;
};

}  // namespace tavrolin
