// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "base/MessageSink.h"
#include "decode/ReadingSink.h"
#include "serial/ReceiverPort.h"

namespace tavrolin {

// One run of the receiver, as both programs drive it: connect (port, multiplexer address,
// start command), poll into the sinks on every tick, and stop (stop command, multiplexer
// reset, port closed). The sinks get every decoded reading; what each of them has to tell
// the user (a failed write, a lost broker, its recovery) is said after the poll, once,
// through the message sink, never from inside it.
class ReceiverSession {
public:
    ReceiverSession(ReceiverPort& port, MessageSink& messages);
    ReceiverSession(const ReceiverSession&) = delete;
    ReceiverSession& operator=(const ReceiverSession&) = delete;

    // Where the readings go, in the order the sinks were added.
    SinkFanOut& Sinks() { return m_sinks; }

    // Ends an open connection, opens the port of the list index 0..3, selects the
    // multiplexer port when it is in use, and sends the start command (whether the receiver
    // acknowledges it or not). False when the port could not be opened; the port layer has
    // told the user why.
    bool Connect(int portIndex, uint8_t muxAddress, int useMultiplexer);
    // Sends the stop command, resets the multiplexer and closes the port, when connected.
    void Disconnect();
    bool Connected() const { return m_connected; }

    // One tick: collects what the receiver sent, hands its readings to the sinks, then says
    // what the sinks have to tell. The poll's result (LinkResult).
    int Poll();
    // Says what the sinks have to tell. Poll does this itself; a caller whose message box
    // lets the timer tick again (the window) calls PollReadings and this apart.
    void TellNotices();
    int PollReadings();

private:
    ReceiverPort& m_port;
    MessageSink& m_messages;
    SinkFanOut m_sinks;
    bool m_connected = false;
    bool m_telling = false;  // a notice is being shown; notices wait for it
};

}  // namespace tavrolin
