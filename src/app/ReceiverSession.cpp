// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ReceiverSession.h"

namespace tavrolin {

ReceiverSession::ReceiverSession(ReceiverPort& port, MessageSink& messages)
    : m_port(port), m_messages(messages) {}

bool ReceiverSession::Connect(int portIndex, uint8_t muxAddress, int useMultiplexer) {
    if (m_connected) {
        Disconnect();
    }
    m_connected = m_port.Connect(portIndex, muxAddress, useMultiplexer) != 0;
    if (m_connected) {
        // Not looked at: a receiver that does not acknowledge is polled all the same.
        m_port.SendFrame(kStartCommand.data(), static_cast<int>(kStartCommand.size()));
    }
    return m_connected;
}

void ReceiverSession::Disconnect() {
    if (!m_connected) {
        return;
    }
    m_port.SendFrame(kStopCommand.data(), static_cast<int>(kStopCommand.size()));
    m_port.Disconnect();
    m_connected = false;
}

int ReceiverSession::PollReadings() {
    return m_port.Poll(m_sinks);
}

void ReceiverSession::TellNotices() {
    // A message box runs the window's timer while it waits: the ticks under it poll, but
    // leave their notices to this loop, one box at a time.
    if (m_telling) {
        return;
    }
    m_telling = true;
    while (std::optional<SinkNotice> notice = m_sinks.TakeNotice()) {
        m_messages.ShowMessage(notice->caption, notice->text, notice->icon);
    }
    m_telling = false;
}

int ReceiverSession::Poll() {
    const int result = PollReadings();
    TellNotices();
    return result;
}

}  // namespace tavrolin
