// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ReceiverSession.h"

#include <algorithm>
#include <string>
#include <utility>

namespace tavrolin {

namespace {

constexpr const char* kCaption = "Tavrolin";
constexpr const char* kReadErrorCaption = "Fehler beim Lesen der Schnittstelle";

// "45 s", "3 min 5 s", "2 h 4 min", "3 d 1 h": the two largest units, as a person says it.
std::string SpokenDuration(int64_t ms) {
    const int64_t s = std::max<int64_t>(ms, 0) / 1000;
    const auto two = [](int64_t big, const char* bigUnit, int64_t small, const char* smallUnit) {
        std::string text = std::to_string(big) + " " + bigUnit;
        if (small != 0) {
            text += " " + std::to_string(small) + " " + smallUnit;
        }
        return text;
    };
    if (s < 60) {
        return std::to_string(s) + " s";
    }
    if (s < 3600) {
        return two(s / 60, "min", s % 60, "s");
    }
    if (s < 86400) {
        return two(s / 3600, "h", s / 60 % 60, "min");
    }
    return two(s / 86400, "d", s / 3600 % 24, "h");
}

}  // namespace

ReceiverSession::ReceiverSession(ReceiverPort& port, ReadingSink& readings, MessageSink& messages,
                                 CoarseClock& clock)
    : m_port(port), m_readings(readings), m_messages(messages), m_clock(clock) {}

bool ReceiverSession::Connect(int portIndex, uint8_t muxAddress, bool useMultiplexer) {
    Disconnect();
    m_portIndex = portIndex;
    m_muxAddress = muxAddress;
    m_useMultiplexer = useMultiplexer;
    if (!m_port.Connect(portIndex, muxAddress, useMultiplexer)) {
        return false;
    }
    StartReceiver();
    return true;
}

void ReceiverSession::StartReceiver() {
    // A receiver that does not acknowledge is polled all the same; the answer is only kept
    // for the logger's start message.
    m_port.SendFrame(kStartCommand);
    m_startAnswer = m_port.LastAnswer();
    m_link = Link::Connected;
    m_failedPolls = 0;
    m_bytesSeen = m_port.BytesReceived();
    m_lastByteMs = m_clock.ReadMs();
}

void ReceiverSession::Disconnect() {
    if (m_link == Link::Connected) {
        m_port.SendFrame(kStopCommand);
        m_port.Disconnect();
    }
    m_link = Link::Idle;
    m_restarted = false;
}

void ReceiverSession::PollReadings() {
    // Also while the link is down: the sinks' poll ends, which paces their own retries.
    const LinkResult result = m_port.Poll(m_readings);
    switch (m_link) {
        case Link::Connected:
            KeepConnected(result);
            break;
        case Link::Lost:
            if (m_rules.reconnect) {
                const int64_t now = m_clock.ReadMs();
                if (now >= m_nextTryMs) {
                    Retry(now);
                }
            }
            break;
        case Link::Idle:
            break;
    }
}

void ReceiverSession::KeepConnected(LinkResult pollResult) {
    // Parity, framing and overrun errors spoil one read and are gone at the next; a failed
    // read or an unclassified error (a break) that never stops means there is no line. A
    // device that has gone says so at once, unless only the count is to decide.
    m_failedPolls = pollResult == LinkResult::Failed ? m_failedPolls + 1 : 0;
    if ((m_rules.reconnect && m_port.DeviceGone()) || m_failedPolls >= kLostAfterFailedPolls) {
        Lose();
        return;
    }
    const uint64_t bytes = m_port.BytesReceived();
    const bool arrived = bytes != m_bytesSeen;
    m_bytesSeen = bytes;
    if (m_rules.silenceMs <= 0) {
        return;
    }
    const int64_t now = m_clock.ReadMs();
    if (arrived) {
        m_lastByteMs = now;
        if (m_restarted) {
            m_restarted = false;
            Tell(kCaption, "Der Empfänger sendet wieder.", MessageIcon::Information);
        }
    } else if (now - m_lastByteMs >= m_rules.silenceMs) {
        Restart(now);
    }
}

void ReceiverSession::Lose() {
    // Nothing is sent: the line is gone or useless, and a write to it could only wait.
    m_port.Close();
    m_link = Link::Lost;
    m_restarted = false;
    m_lostAtMs = m_clock.ReadMs();
    m_retryPauseMs = kFirstRetryMs;
    m_nextTryMs = m_lostAtMs + m_retryPauseMs;
    if (!m_rules.reconnect) {
        // Always said: it is why the caller ends.
        m_linkNotices.push_back({kReadErrorCaption,
                                 "Der Empfänger ist nicht mehr erreichbar: die Schnittstelle "
                                 "meldet seit einer Sekunde nur Fehler.",
                                 MessageIcon::Stop});
        return;
    }
    Tell(kReadErrorCaption,
         "Der Empfänger ist nicht erreichbar. Die Schnittstelle wird nach 1 s wieder geöffnet, "
         "danach in wachsenden Abständen bis zu 30 s.",
         MessageIcon::Stop);
}

void ReceiverSession::Retry(int64_t now) {
    // Quiet: a box or a line for every attempt would bury the one message that counts. The
    // port layer resolves the device anew, so a re-plugged adapter under another name that
    // its link or the profile follows is found.
    if (!m_port.Connect(m_portIndex, m_muxAddress, m_useMultiplexer, false)) {
        m_retryPauseMs = std::min(m_retryPauseMs * 2, kLongestRetryMs);
        m_nextTryMs = now + m_retryPauseMs;
        return;
    }
    StartReceiver();
    Tell(kCaption,
         "Der Empfänger ist wieder verbunden; die Verbindung war " +
             SpokenDuration(m_clock.ReadMs() - m_lostAtMs) + " unterbrochen.",
         MessageIcon::Information);
}

void ReceiverSession::Restart(int64_t now) {
    // A receiver that lost its start command (a power blip) stays silent until it gets a
    // new one; a multiplexer that lost its address passes on nothing.
    Tell(kCaption,
         "Vom Empfänger kam seit " + SpokenDuration(now - m_lastByteMs) +
             " nichts. Stoppbefehl, Multiplexer-Adresse und Startbefehl werden neu gesendet.",
         MessageIcon::Exclamation);
    m_port.SendFrame(kStopCommand);
    if (m_useMultiplexer) {
        m_port.SelectMultiplexer(m_muxAddress);
    }
    StartReceiver();
    m_restarted = true;
}

void ReceiverSession::Tell(const char* caption, std::string text, MessageIcon icon) {
    if (m_rules.tellLinkChanges) {
        m_linkNotices.push_back({caption, std::move(text), icon});
    }
}

void ReceiverSession::TellNotices() {
    TellAll(false);
}

void ReceiverSession::TellNoticesAndWait() {
    TellAll(true);
}

void ReceiverSession::TellAll(bool wait) {
    // A message box that waits runs the window's timer meanwhile: the ticks under it poll,
    // but leave their notices to this loop, one box at a time.
    if (m_telling) {
        return;
    }
    m_telling = true;
    for (;;) {
        std::optional<SinkNotice> notice = m_readings.TakeNotice();
        if (!notice && !m_linkNotices.empty()) {
            notice = std::move(m_linkNotices.front());
            m_linkNotices.erase(m_linkNotices.begin());
        }
        if (!notice) {
            break;
        }
        if (wait) {
            m_messages.ShowMessage(notice->caption, notice->text, notice->icon);
        } else {
            m_messages.ShowNotice(notice->caption, notice->text, notice->icon);
        }
    }
    m_telling = false;
}

int64_t ReceiverSession::IdleMs() const {
    if (m_link != Link::Lost || !m_rules.reconnect) {
        return 0;
    }
    return std::max<int64_t>(m_nextTryMs - m_clock.ReadMs(), 0);
}

void ReceiverSession::Tick() {
    PollReadings();
    TellNotices();
}

}  // namespace tavrolin
