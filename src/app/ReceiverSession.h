// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "base/Clock.h"
#include "base/MessageSink.h"
#include "decode/ReadingSink.h"
#include "serial/ReceiverPort.h"

namespace tavrolin {

// How a session keeps its receiver: what it does when the port goes away or the receiver
// falls silent, and whether it says so itself.
struct LinkRules {
    // A lost port is closed and opened again in the background, 1 s after the loss, then
    // with doubling pauses up to 30 s. Without it the link stays lost: the caller decides.
    bool reconnect = true;
    // No byte from the receiver for this long: stop command, multiplexer and start command
    // again, at most once per this time. 0: never.
    int64_t silenceMs = 0;
    // Losses, returns and silences are said through the message sink (the logger's stderr);
    // without it the caller shows the state itself (the window's title).
    bool tellLinkChanges = true;
};

// One run of the receiver, as both programs drive it (Reception): connect (port,
// multiplexer address, start command), poll into the sink on every tick, and stop (stop
// command, multiplexer reset, port closed). The sink gets every decoded reading; what it has
// to tell the user (a failed write, a lost broker, its recovery) is said after the poll,
// once, through the message sink, never from inside it.
//
// The ticks also keep the link alive: a port that has gone (an adapter pulled) or that gives
// nothing but failures for a second is closed and, by the rules, opened again with the
// whole connect sequence; a receiver that has sent nothing for the silence time is started
// anew. Time comes from the coarse clock, so a tick while the port is away costs one clock
// read.
class ReceiverSession {
public:
    enum class Link {
        Idle,       // not connected: never, after a failed connect, or stopped
        Connected,  // port open, start command sent
        Lost,       // the port went away; retried while the rules say so
    };

    // Failed polls in a row that count as a lost line: one second of ticks.
    static constexpr int kLostAfterFailedPolls = 20;
    static constexpr int64_t kFirstRetryMs = 1000;
    static constexpr int64_t kLongestRetryMs = 30000;

    // The readings go to the sink.
    ReceiverSession(ReceiverPort& port, ReadingSink& readings, MessageSink& messages,
                    CoarseClock& clock);
    ReceiverSession(const ReceiverSession&) = delete;
    ReceiverSession& operator=(const ReceiverSession&) = delete;

    void SetRules(const LinkRules& rules) { m_rules = rules; }
    const LinkRules& Rules() const { return m_rules; }

    // Ends an open connection, opens the port of the list index 0..3, selects the
    // multiplexer port when it is in use, and sends the start command (whether the receiver
    // acknowledges it or not). False when the port could not be opened; the port layer has
    // told the user why, and nothing is retried: the link is idle.
    bool Connect(int portIndex, uint8_t muxAddress, bool useMultiplexer);
    // Sends the stop command, resets the multiplexer and closes the port, when connected;
    // ends the retries of a lost link.
    void Disconnect();
    bool Connected() const { return m_link == Link::Connected; }
    Link State() const { return m_link; }
    // How the receiver answered the last start command (Acknowledged, or why not).
    LinkResult StartAnswer() const { return m_startAnswer; }
    // How long the ticks may pause without missing anything of the link's: while it is lost
    // and retried, until the next attempt; else 0.
    int64_t IdleMs() const;

    // One tick: collects what the receiver sent, hands its readings to the sinks, keeps the
    // link (loss, retry, silence), then says what there is to tell.
    void Tick();
    void PollReadings();
    // Says what the sinks and the link have to tell, as notices that do not wait for the
    // user: the polls go on while they are on show.
    void TellNotices();
    // The same, each message waiting for the user: before the window ends (a notice would
    // go with it), or right after something the user asked for.
    void TellNoticesAndWait();

private:
    void KeepConnected(LinkResult pollResult);
    void Lose();
    void Retry(int64_t now);
    void Restart(int64_t now);
    void StartReceiver();
    void Tell(const char* caption, std::string text, MessageIcon icon);
    void TellAll(bool wait);

    ReceiverPort& m_port;
    ReadingSink& m_readings;
    MessageSink& m_messages;
    CoarseClock& m_clock;
    LinkRules m_rules;
    Link m_link = Link::Idle;
    LinkResult m_startAnswer = LinkResult::NotOpen;
    bool m_telling = false;  // a message is being shown and waited for; the rest wait for it
    std::vector<SinkNotice> m_linkNotices;

    // The connection to make again.
    int m_portIndex = 0;
    uint8_t m_muxAddress = 0;
    bool m_useMultiplexer = false;

    int m_failedPolls = 0;  // in a row
    int64_t m_lostAtMs = 0;
    int64_t m_nextTryMs = 0;
    int64_t m_retryPauseMs = kFirstRetryMs;

    uint64_t m_bytesSeen = 0;  // the port's count at the last tick
    int64_t m_lastByteMs = 0;  // or the last (re)start, whichever is later
    bool m_restarted = false;  // started anew for silence; no byte since
};

}  // namespace tavrolin
