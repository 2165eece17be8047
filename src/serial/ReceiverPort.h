// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <span>

#include "base/Clock.h"
#include "base/MessageSink.h"
#include "decode/Framing.h"
#include "decode/TelegramDecoder.h"
#include "serial/MultiplexerSignaller.h"
#include "serial/SerialLine.h"

namespace tavrolin {

// How a command's answer wait or a receive poll ended. A line fault spoils one read and is
// gone at the next; the session counts the polls that fail one after another (a line that
// is gone), and judges the link by what the polls bring over time.
enum class LinkResult {
    Acknowledged,   // the answer frame carried ACK
    Answered,       // an answer frame without ACK
    Nothing,        // poll: nothing to collect, or the bytes collected were processed
    Failed,         // a wait or read failed, or a fault other than the three below
    NoAnswerFrame,  // an ETX came, but not at the end of an answer frame
    Overrun,        // the input queue or the UART overflowed
    ParityError,
    FramingError,
    NoAnswer,  // no ETX within the answer time
    NotOpen,
};

// Payloads of the two commands: start and stop passing on sensor telegrams.
inline constexpr std::array<uint8_t, 6> kStartCommand{0xFF, 0x00, 0x00, 0x00, 0x00, 0x00};
inline constexpr std::array<uint8_t, 6> kStopCommand{0xFE, 0x00, 0x00, 0x00, 0x00, 0x00};

// The result for line faults (not 0), in the order of precedence: parity, framing,
// overrun, anything else.
LinkResult LineFaultResult(uint8_t faults);

// The serial link to the receiver: opens the line, selects the multiplexer port, sends
// command frames and waits for their acknowledgement, and polls the received bytes for
// telegrams, which its decoder (with the reception clocks) turns into readings.
class ReceiverPort {
public:
    ReceiverPort(SerialLine& line, MultiplexerSignaller& multiplexer, MessageSink& messages,
                 WallClock& clock, const TimeZone& zone);
    virtual ~ReceiverPort();
    ReceiverPort(const ReceiverPort&) = delete;
    ReceiverPort& operator=(const ReceiverPort&) = delete;

    // Opens COM1..COM4. False when it failed, after a message box unless told not to tell.
    // Any line that was open is closed first.
    bool Open(int portNumber, bool tellFailure = true);
    void Close();
    // Opens the port of the list index 0..3 and, with the multiplexer in use, clocks out
    // its address. Writes no data byte. False when it failed, after a message box unless
    // told not to tell (the background retries of a lost line).
    bool Connect(int portIndex, uint8_t muxAddress, bool useMultiplexer, bool tellFailure = true);
    // Clocks out the multiplexer address again on the open line (a receiver started anew).
    void SelectMultiplexer(uint8_t muxAddress);
    // Resets the multiplexer (when it was in use at the last connect) and closes the line.
    void Disconnect();

    // Frames the payload and writes it, a second time when the receiver does not
    // acknowledge the first. Nothing without an open line.
    void SendFrame(std::span<const uint8_t> payload);
    // How the receiver answered the last frame sent (its last attempt); NotOpen before any.
    LinkResult LastAnswer() const { return m_lastAnswer; }
    // Waits up to the answer time for the receiver's answer frame and judges it.
    LinkResult WaitForAck();

    bool IsOpen() const { return m_line.IsOpen(); }
    // The open line's device has gone (see SerialLine::Gone).
    bool DeviceGone() const { return m_line.IsOpen() && m_line.Gone(); }
    // Bytes the polls have read since the program started: whether the receiver still
    // sends anything at all.
    uint64_t BytesReceived() const { return m_bytesReceived; }
    bool MuxActive() const { return m_muxActive; }

    // Collects what the receiver sent since the previous poll, without waiting, decodes
    // every telegram in it and hands the readings to the sink, then ends the sink's poll
    // (also when nothing came).
    LinkResult Poll(ReadingSink& sink);
    // Cuts the telegrams out of the first count bytes of the buffer, in arrival order, and
    // decodes each into the sink. What may still become a telegram with the next bytes (an
    // STX with fewer than seven bytes after it) is moved to the start of the buffer; the
    // result is its length (0 when there is none).
    std::size_t ExtractTelegrams(uint8_t* buffer, std::size_t count, ReadingSink& sink);

    // The most bytes one poll reads; a fuller line is read on by the next ticks.
    static constexpr std::size_t kMaxPollRead = 500;
    // The most bytes the answer wait reads; what comes beyond is thrown away.
    static constexpr std::size_t kMaxAnswerRead = 99;
    // How long a command waits for its answer.
    static constexpr std::chrono::milliseconds kAnswerTime{200};

private:
    void ShowOpenError(const char* text);
    LinkResult PollInto(ReadingSink& sink);

    SerialLine& m_line;
    MultiplexerSignaller& m_multiplexer;
    MessageSink& m_messages;

    bool m_muxActive = false;  // the multiplexer was in use at the last successful Connect

    TelegramDecoder m_decoder;
    // Receive buffer: the candidate kept from the previous poll (at most an STX and six
    // bytes), then the bytes of this poll's read.
    std::array<uint8_t, kMaxPollRead + 7> m_rxBuffer{};
    std::size_t m_kept = 0;
    uint64_t m_bytesReceived = 0;
    LinkResult m_lastAnswer = LinkResult::NotOpen;
};

}  // namespace tavrolin
