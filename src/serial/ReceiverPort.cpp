// SPDX-License-Identifier: GPL-3.0-or-later
#include "serial/ReceiverPort.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <span>

namespace tavrolin {

namespace {

constexpr const char* kOpenErrorCaption = "Fehler beim Öffnen der Schnittstelle";

// A payload of 48 bytes that all need escaping, with SOH, checksum and EOT, makes 99 bytes:
// the most the 100-byte frame buffer holds.
constexpr int kMaxPayload = 48;
constexpr std::size_t kFrameBufferSize = 100;
// The answer wait reads at most 99 bytes into its 100-byte buffer; the rest is purged.
constexpr uint32_t kMaxAnswerRead = 99;
constexpr uint32_t kAnswerTimeoutMs = 200;
// The events that end a communication-event wait: the ETX, and line errors.
constexpr uint32_t kCommEvents = comm::EV_RXFLAG | comm::EV_ERR;
// Six data bytes and the ETX after a telegram's STX.
constexpr std::size_t kTelegramTail = 7;

// The flag word of the DCB: bits 0 and 1 (binary mode, parity checking) set, bits 2..14 (flow
// control, DTR and RTS control, error replacement, null stripping, abort on error) cleared,
// so DTR and RTS are left to the multiplexer signalling alone. Bits 15..31 are reserved and
// go back as the port reported them.
constexpr uint32_t kDcbReservedBits = 0xFFFF8000u;
constexpr uint32_t kDcbFlags = comm::DCB_BINARY | comm::DCB_PARITY;

bool NeedsEscape(uint8_t b) {
    return b == kSoh || b == kEot || b == kDle;
}

}  // namespace

int LineErrorResult(uint32_t errors) {
    if ((errors & comm::CE_RXPARITY) != 0) {
        return LinkResult::kParityError;
    }
    if ((errors & comm::CE_FRAME) != 0) {
        return LinkResult::kFramingError;
    }
    if ((errors & (comm::CE_RXOVER | comm::CE_OVERRUN)) != 0) {
        return LinkResult::kOverflow;
    }
    return LinkResult::kFailed;
}

ReceiverPort::ReceiverPort(CommDevice& port, MultiplexerSignaller& multiplexer,
                           MessageSink& messages, LocalClock& clock)
    : m_port(port), m_multiplexer(multiplexer), m_messages(messages), m_decoder(clock) {}

ReceiverPort::~ReceiverPort() {
    // At exit the port is released as it is: no stop command, no multiplexer reset.
    Close();
}

void ReceiverPort::ShowOpenError(const char* text) {
    m_messages.ShowMessage(kOpenErrorCaption, text, MessageIcon::Stop);
}

int ReceiverPort::Open(int portNumber, bool tellFailure) {
    Close();
    if (portNumber < 1 || portNumber > 4) {
        if (tellFailure) {
            ShowOpenError("kein COM-Port gewählt");
        }
        Close();
        return 0;
    }
    char name[16];
    std::snprintf(name, sizeof name, "COM%d", portNumber);

    const OpenError error = m_port.Open(name);
    if (error != OpenError::None) {
        if (tellFailure) {
            ShowOpenError(error == OpenError::AlreadyOpen
                              ? "Die Schnittstelle ist bereits geöffnet"
                              : "Die Schnittstelle läßt sich nicht öffnen");
        }
        Close();
        return 0;
    }

    // None of the configuration results is examined: a port that refuses part of it (a
    // pseudo-terminal refuses parity and the modem lines) still counts as open.
    m_port.PurgeComm(comm::PURGE_TXABORT | comm::PURGE_RXABORT | comm::PURGE_TXCLEAR |
                     comm::PURGE_RXCLEAR);

    m_timeouts.readIntervalTimeout = 5000;
    m_timeouts.readTotalTimeoutMultiplier = 10;
    m_timeouts.readTotalTimeoutConstant = 2000;
    m_timeouts.writeTotalTimeoutMultiplier = 10;
    m_timeouts.writeTotalTimeoutConstant = 1000;
    m_port.SetCommTimeouts(m_timeouts);

    CommConfig config;
    uint32_t size = comm::COMMCONFIG_SIZE;
    m_port.GetCommConfig(config, size);
    Dcb& dcb = config.dcb;
    dcb.flags = (dcb.flags & kDcbReservedBits) | kDcbFlags;
    dcb.baudRate = 19200;
    dcb.byteSize = 8;
    dcb.parity = comm::ODDPARITY;
    dcb.stopBits = comm::TWOSTOPBITS;
    dcb.evtChar = kEtx;  // an arriving ETX completes WaitCommEvent
    m_port.SetCommConfig(config, std::min(size, comm::COMMCONFIG_SIZE));

    m_port.SetCommMask(kCommEvents);
    m_port.CreateReadEvent();
    return 1;
}

void ReceiverPort::Close() {
    m_kept = 0;  // an unfinished telegram does not continue on another connection
    if (m_port.IsOpen()) {
        m_port.Close();  // releases the read event with the port; a pending wait ends
    }
}

int ReceiverPort::Connect(int portIndex, uint8_t muxAddress, int useMultiplexer, bool tellFailure) {
    if (portIndex < 0 || portIndex > 3) {
        if (tellFailure) {
            ShowOpenError("Ungültiger COM-Port");
        }
        return 0;
    }
    if (Open(portIndex + 1, tellFailure) == 0) {
        return 0;  // m_muxActive keeps the value of the last successful connect
    }
    m_muxActive = useMultiplexer;
    if (useMultiplexer != 0) {
        SelectMultiplexer(muxAddress);
    }
    return 1;
}

void ReceiverPort::SelectMultiplexer(uint8_t muxAddress) {
    m_multiplexer.SetAddress(muxAddress);
    m_multiplexer.SendAddress(m_port);
}

void ReceiverPort::Disconnect() {
    if (!m_port.IsOpen()) {
        return;
    }
    if (m_muxActive != 0) {
        m_multiplexer.SetAddress(0);  // the reset word
        m_multiplexer.SendAddress(m_port);
    }
    Close();
}

int ReceiverPort::SendFrame(const uint8_t* payload, int length) {
    if (!m_port.IsOpen()) {
        return 1;
    }
    // Longer payloads are cut to what the frame buffer holds; the commands are 6 bytes.
    const int count = payload == nullptr ? 0 : std::clamp(length, 0, kMaxPayload);

    std::array<uint8_t, kFrameBufferSize> frame{};
    std::size_t size = 0;
    frame[size++] = kSoh;
    uint8_t sum = kSoh;  // the checksum counts SOH and the payload before escaping
    for (int i = 0; i < count; ++i) {
        const uint8_t b = payload[i];
        sum = static_cast<uint8_t>(sum + b);
        if (NeedsEscape(b)) {
            frame[size++] = kDle;
            frame[size++] = static_cast<uint8_t>(b + 0x10);
        } else {
            frame[size++] = b;
        }
    }
    // Bit 7 set: the checksum can never be SOH, EOT or DLE, so it is never escaped.
    frame[size++] = static_cast<uint8_t>((0 - sum) | 0x80);
    frame[size++] = kEot;

    const std::span<const uint8_t> bytes(frame.data(), size);
    for (int attempt = 0; attempt < 2; ++attempt) {
        // The port remembers every ETX since the last event wait, and the polls read
        // telegrams without waiting for events: without this, the wait below would complete
        // at once on the ETX of a telegram decoded long ago, read no answer, and send the
        // second attempt at once, so a receiver that does not answer would never get its
        // 200 ms. Setting the mask forgets what happened before; an answer to this frame can
        // only arrive after the write.
        m_port.SetCommMask(kCommEvents);
        m_port.WriteFile(bytes);
        if (WaitForAck() == LinkResult::kAcknowledged) {
            break;
        }
    }
    return 1;
}

int ReceiverPort::WaitForAck() {
    if (!m_port.IsOpen()) {
        return LinkResult::kNotOpen;
    }
    m_eventMask = 0;
    m_port.WaitCommEvent(m_eventMask);
    // An ETX that arrived before the wait completes it at once; otherwise wait for it.
    if ((m_eventMask & comm::EV_RXFLAG) == 0) {
        switch (m_port.WaitForReadEvent(kAnswerTimeoutMs)) {
            case WaitResult::Signaled:
                break;
            case WaitResult::TimedOut:
                // The wait stays pending; its completion later sets the read event, which
                // is what lets the receive poll read again.
                return LinkResult::kNoAnswer;
            case WaitResult::Failed:
                return LinkResult::kFailed;
        }
    }

    uint32_t errors = 0;
    uint32_t inQueue = 0;
    m_port.ClearCommError(errors, inQueue);
    const uint32_t wanted = std::min(inQueue, kMaxAnswerRead);
    std::array<uint8_t, kFrameBufferSize> answer{};
    uint32_t read = 0;
    if (!m_port.ReadFile(answer.data(), wanted, read)) {
        return LinkResult::kFailed;
    }
    read = std::min(read, wanted);
    // What was not read, and what arrived after the count was taken, is discarded.
    m_port.PurgeComm(comm::PURGE_RXABORT | comm::PURGE_RXCLEAR);

    if (errors != 0) {
        return LineErrorResult(errors);
    }
    // Only the last ETX read counts: STX, status, ETX.
    int etx = static_cast<int>(read) - 1;
    while (etx >= 0 && answer[etx] != kEtx) {
        --etx;
    }
    if (etx < 2 || answer[etx - 2] != kStx) {
        return LinkResult::kNoAnswerFrame;
    }
    return answer[etx - 1] == kAck ? LinkResult::kAcknowledged : LinkResult::kAnswered;
}

int ReceiverPort::Poll(ReadingSink& sink) {
    const int result = PollInto(sink);
    sink.EndOfPoll();
    return result;
}

int ReceiverPort::PollInto(ReadingSink& sink) {
    if (!m_port.IsOpen()) {
        return LinkResult::kNotOpen;
    }
    // The read event is set once a read (or the acknowledgement's event wait) completed; until
    // then, and while a wait given up on is pending, there is nothing to collect.
    if (m_port.WaitForReadEvent(0) == WaitResult::TimedOut) {
        return LinkResult::kNothing;
    }
    uint32_t errors = 0;
    uint32_t inQueue = 0;
    m_port.ClearCommError(errors, inQueue);
    // Only what is queued, so the read completes at once. Bytes beyond the limit stay queued
    // for the next tick: nothing the receiver sent is thrown away.
    const uint32_t wanted = std::min(inQueue, kMaxPollRead);
    uint32_t read = 0;
    if (!m_port.ReadFile(m_rxBuffer.data() + m_kept, wanted, read)) {
        m_kept = 0;
        return LinkResult::kFailed;
    }
    read = std::min(read, wanted);
    m_bytesReceived += read;
    if (errors != 0) {
        // A line error garbles the bytes around it; none of them is trusted.
        m_kept = 0;
        return LineErrorResult(errors);
    }
    m_kept = ExtractTelegrams(m_rxBuffer.data(), m_kept + read, sink);
    return LinkResult::kNothing;
}

std::size_t ReceiverPort::ExtractTelegrams(uint8_t* buffer, std::size_t count, ReadingSink& sink) {
    uint8_t* const end = buffer + count;
    uint8_t* stx = std::find(buffer, end, kStx);
    while (stx != end) {
        const auto afterStx = static_cast<std::size_t>(end - stx) - 1;
        if (afterStx < kTelegramTail) {
            // The rest may still be on its way (USB adapters hand the bytes over in pieces).
            // Kept whole, ETX among them or not, and read on together with the next bytes:
            // where the reads happen to split the stream never changes what is decoded.
            std::memmove(buffer, stx, afterStx + 1);
            return afterStx + 1;
        }
        if (stx[kTelegramTail] == kEtx) {
            // A telegram is known by its ETX seven bytes after the STX, not by the first ETX,
            // so one with a data byte 0x03 is decoded whole; and it is passed over whole: a
            // data byte 0x02 in it must not open a candidate that a stray ETX behind the
            // telegram could complete into a record no sensor sent.
            m_decoder.DecodeTelegram(
                std::span<const uint8_t, kTelegramTail>(stx + 1, kTelegramTail), sink);
            stx = std::find(stx + kTelegramTail + 1, end, kStx);
        } else {
            // No telegram starts here (a noise byte, or the head of a telegram cut off by a
            // line error); the next STX may well open one.
            stx = std::find(stx + 1, end, kStx);
        }
    }
    return 0;
}

}  // namespace tavrolin
