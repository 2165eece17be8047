// SPDX-License-Identifier: GPL-3.0-or-later
#include "serial/ReceiverPort.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace tavrolin {

namespace {

constexpr const char* kOpenErrorCaption = "Fehler beim Öffnen der Schnittstelle";

// A payload of 48 bytes that all need escaping, with SOH, checksum and EOT, makes 99 bytes:
// the most a frame may take.
constexpr std::size_t kMaxPayload = 48;
constexpr std::size_t kMaxFrame = 100;
// Six data bytes and the ETX after a telegram's STX.
constexpr std::size_t kTelegramTail = 7;

bool NeedsEscape(uint8_t b) {
    return b == kSoh || b == kEot || b == kDle;
}

}  // namespace

LinkResult LineFaultResult(uint8_t faults) {
    if ((faults & kParityFault) != 0) {
        return LinkResult::ParityError;
    }
    if ((faults & kFramingFault) != 0) {
        return LinkResult::FramingError;
    }
    if ((faults & kOverrunFault) != 0) {
        return LinkResult::Overrun;
    }
    return LinkResult::Failed;
}

ReceiverPort::ReceiverPort(SerialLine& line, MultiplexerSignaller& multiplexer,
                           MessageSink& messages, WallClock& clock, const TimeZone& zone)
    : m_line(line), m_multiplexer(multiplexer), m_messages(messages), m_decoder(clock, zone) {}

ReceiverPort::~ReceiverPort() {
    // At exit the line is released as it is: no stop command, no multiplexer reset.
    Close();
}

void ReceiverPort::ShowOpenError(const char* text) {
    m_messages.ShowMessage(kOpenErrorCaption, text, MessageIcon::Stop);
}

bool ReceiverPort::Open(int portNumber, bool tellFailure) {
    Close();
    if (portNumber < 1 || portNumber > 4) {
        if (tellFailure) {
            ShowOpenError("kein COM-Port gewählt");
        }
        return false;
    }
    const LineError error = m_line.Open(portNumber);
    if (error != LineError::None) {
        if (tellFailure) {
            ShowOpenError(error == LineError::InUse ? "Die Schnittstelle ist bereits geöffnet"
                                                    : "Die Schnittstelle läßt sich nicht öffnen");
        }
        Close();
        return false;
    }
    return true;
}

void ReceiverPort::Close() {
    m_kept = 0;  // an unfinished telegram does not continue on another connection
    if (m_line.IsOpen()) {
        m_line.Close();
    }
}

bool ReceiverPort::Connect(int portIndex, uint8_t muxAddress, bool useMultiplexer,
                           bool tellFailure) {
    if (portIndex < 0 || portIndex > 3) {
        if (tellFailure) {
            ShowOpenError("Ungültiger COM-Port");
        }
        return false;
    }
    if (!Open(portIndex + 1, tellFailure)) {
        return false;  // m_muxActive keeps the value of the last successful connect
    }
    m_muxActive = useMultiplexer;
    if (useMultiplexer) {
        SelectMultiplexer(muxAddress);
    }
    return true;
}

void ReceiverPort::SelectMultiplexer(uint8_t muxAddress) {
    m_multiplexer.SetAddress(muxAddress);
    m_multiplexer.SendAddress(m_line);
}

void ReceiverPort::Disconnect() {
    if (!m_line.IsOpen()) {
        return;
    }
    if (m_muxActive) {
        m_multiplexer.SetAddress(0);  // the reset word
        m_multiplexer.SendAddress(m_line);
    }
    Close();
}

void ReceiverPort::SendFrame(std::span<const uint8_t> payload) {
    m_lastAnswer = LinkResult::NotOpen;
    if (!m_line.IsOpen()) {
        return;
    }
    // Longer payloads are cut to what a frame may take; the commands are 6 bytes.
    payload = payload.first(std::min(payload.size(), kMaxPayload));

    std::array<uint8_t, kMaxFrame> frame{};
    std::size_t size = 0;
    frame[size++] = kSoh;
    uint8_t sum = kSoh;  // the checksum counts SOH and the payload before escaping
    for (const uint8_t b : payload) {
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
        // An answer to this frame can only come after it. Whatever waits unread (telegrams
        // since the last poll) would end the wait at once on an ETX that answers nothing, so
        // that a receiver that does not answer would never get its full answer time.
        m_line.DiscardInput();
        m_line.Write(bytes);
        m_lastAnswer = WaitForAck();
        if (m_lastAnswer == LinkResult::Acknowledged) {
            break;
        }
    }
}

LinkResult ReceiverPort::WaitForAck() {
    if (!m_line.IsOpen()) {
        return LinkResult::NotOpen;
    }
    // The answer is what has come when an ETX (or a line fault) arrives: read as it comes,
    // so that an answer handed over in pieces is waited for whole.
    std::array<uint8_t, kMaxAnswerRead> answer{};
    std::size_t read = 0;
    std::chrono::milliseconds timeLeft = kAnswerTime;
    for (;;) {
        const LineRead got = m_line.Read(std::span(answer).subspan(read));
        if (got.error != LineError::None) {
            return LinkResult::Failed;
        }
        const std::span<const uint8_t> fresh(answer.data() + read, got.count);
        read += got.count;
        if (got.faults != 0) {
            m_line.DiscardInput();
            return LineFaultResult(got.faults);
        }
        if (std::find(fresh.begin(), fresh.end(), kEtx) != fresh.end() || read == answer.size()) {
            break;
        }
        switch (m_line.WaitForInput(timeLeft)) {
            case InputWait::Arrived:
                break;
            case InputWait::TimedOut:
                return LinkResult::NoAnswer;
            case InputWait::Failed:
                return LinkResult::Failed;
        }
    }
    // What came after, and what did not fit, answers nothing.
    m_line.DiscardInput();

    // Only the last ETX read counts, and with what is before it: STX, status, ETX.
    std::size_t end = read;  // one past the last ETX
    while (end > 0 && answer[end - 1] != kEtx) {
        --end;
    }
    if (end < 3 || answer[end - 3] != kStx) {
        return LinkResult::NoAnswerFrame;
    }
    return answer[end - 2] == kAck ? LinkResult::Acknowledged : LinkResult::Answered;
}

LinkResult ReceiverPort::Poll(ReadingSink& sink) {
    const LinkResult result = PollInto(sink);
    sink.EndOfPoll();
    return result;
}

LinkResult ReceiverPort::PollInto(ReadingSink& sink) {
    if (!m_line.IsOpen()) {
        return LinkResult::NotOpen;
    }
    // Whatever has come, up to the limit; more waits for the next tick, nothing is thrown
    // away.
    const LineRead got = m_line.Read(std::span(m_rxBuffer).subspan(m_kept, kMaxPollRead));
    if (got.error != LineError::None) {
        m_kept = 0;
        return LinkResult::Failed;
    }
    m_bytesReceived += got.count;
    if (got.faults != 0) {
        // A line fault garbles the bytes around it; none of them is trusted.
        m_kept = 0;
        return LineFaultResult(got.faults);
    }
    m_kept = ExtractTelegrams(m_rxBuffer.data(), m_kept + got.count, sink);
    return LinkResult::Nothing;
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
