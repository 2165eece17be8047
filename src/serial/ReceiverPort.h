// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>

#include "base/Clock.h"
#include "base/MessageSink.h"
#include "decode/TelegramDecoder.h"
#include "serial/CommDevice.h"
#include "serial/MultiplexerSignaller.h"

namespace tavrolin {

// Result codes of the receiver link (plain ints: callers mostly ignore them).
struct LinkResult {
    static constexpr int kAcknowledged = 1;  // the answer frame carried ACK
    static constexpr int kAnswered = 2;      // an answer frame without ACK
    static constexpr int kNothing = 0;       // poll: nothing to collect, or bytes processed
    static constexpr int kFailed = -1;       // a wait or read failed, or another line error
    static constexpr int kNoAnswerFrame = -2;
    static constexpr int kOverflow = -4;  // input queue overflow or hardware overrun
    static constexpr int kParityError = -5;
    static constexpr int kFramingError = -6;
    static constexpr int kNoAnswer = -7;  // no communication event within the answer time
    static constexpr int kNotOpen = -9;
};

// Bytes of the receiver's framing.
inline constexpr uint8_t kSoh = 0x01;  // starts a command frame
inline constexpr uint8_t kStx = 0x02;  // starts an answer frame or a telegram
inline constexpr uint8_t kEtx = 0x03;  // ends them; the port's event character
inline constexpr uint8_t kEot = 0x04;  // ends a command frame
inline constexpr uint8_t kAck = 0x06;
inline constexpr uint8_t kDle = 0x10;  // escapes SOH, EOT and DLE inside a command payload

// Payloads of the two commands: start and stop passing on sensor telegrams.
inline constexpr std::array<uint8_t, 6> kStartCommand{0xFF, 0x00, 0x00, 0x00, 0x00, 0x00};
inline constexpr std::array<uint8_t, 6> kStopCommand{0xFE, 0x00, 0x00, 0x00, 0x00, 0x00};

// The result for line-error flags gathered by ClearCommError (not 0), in the order of
// precedence: parity, framing, overflow or overrun, anything else.
int LineErrorResult(uint32_t errors);

// The serial link to the receiver: opens and configures the port, selects the multiplexer
// port, sends command frames and waits for their acknowledgement, and polls the received
// bytes for telegrams, which its decoder (with the reception clocks) turns into records.
//
// There is one per process. It keeps the event-mask word of WaitCommEvent itself, because a
// wait that the acknowledgement gave up on stays pending at the port and writes that word
// later, so it must neither be copied nor moved.
class ReceiverPort {
public:
    ReceiverPort(CommDevice& port, MultiplexerSignaller& multiplexer, MessageSink& messages,
                 LocalClock& clock);
    virtual ~ReceiverPort();
    ReceiverPort(const ReceiverPort&) = delete;
    ReceiverPort& operator=(const ReceiverPort&) = delete;

    // Opens COM1..COM4 with the receiver's line settings. 1 opened; 0 failed, after a
    // message box unless told not to tell. Any port that was open is closed first.
    int Open(int portNumber, bool tellFailure = true);
    void Close();
    // Opens the port of the list index 0..3 and, with the multiplexer in use, clocks out
    // its address. Writes no data byte. 1 connected; 0 failed, after a message box unless
    // told not to tell (the background retries of a lost port).
    int Connect(int portIndex, uint8_t muxAddress, int useMultiplexer, bool tellFailure = true);
    // Clocks out the multiplexer address again on the open port (a receiver started anew).
    void SelectMultiplexer(uint8_t muxAddress);
    // Resets the multiplexer (when it was in use at the last connect) and closes the port.
    void Disconnect();

    // Frames the payload and writes it, a second time when the receiver does not
    // acknowledge the first. Always 1, also without an open port.
    int SendFrame(const uint8_t* payload, int length);
    // Waits up to 200 ms for the answer frame and classifies it (LinkResult).
    int WaitForAck();

    bool IsOpen() const { return m_port.IsOpen(); }
    // The open port's device has gone (see CommDevice::Gone).
    bool DeviceGone() const { return m_port.IsOpen() && m_port.Gone(); }
    // Bytes the polls have read since the program started: whether the receiver still
    // sends anything at all.
    uint64_t BytesReceived() const { return m_bytesReceived; }
    int MuxActive() const { return m_muxActive; }
    const CommTimeouts& Timeouts() const { return m_timeouts; }
    uint32_t EventMask() const { return m_eventMask; }

    // Collects what the receiver sent since the previous poll, without waiting, decodes
    // every telegram in it and hands the readings to the sink, then ends the sink's poll
    // (also when nothing came). 0, or the result of a failed read or of line errors
    // (LinkResult).
    int Poll(ReadingSink& sink);
    // Cuts the telegrams out of the first count bytes of the buffer, in arrival order, and
    // decodes each into the sink. What may still become a telegram with the next bytes (an
    // STX with fewer than seven bytes after it) is moved to the start of the buffer; the
    // result is its length (0 when there is none).
    std::size_t ExtractTelegrams(uint8_t* buffer, std::size_t count, ReadingSink& sink);
    int DecodeTelegram(std::span<const uint8_t, 7> data, ReadingSink& sink) {
        return m_decoder.DecodeTelegram(data, sink);
    }

    // The most bytes one poll reads; a fuller queue is read on by the next ticks.
    static constexpr uint32_t kMaxPollRead = 500;

private:
    void ShowOpenError(const char* text);
    int PollInto(ReadingSink& sink);

    CommDevice& m_port;
    MultiplexerSignaller& m_multiplexer;
    MessageSink& m_messages;

    int m_muxActive = 0;  // the multiplexer was in use at the last successful Connect
    CommTimeouts m_timeouts;
    uint32_t m_eventMask = 0;  // written by WaitCommEvent, possibly long after the call

    TelegramDecoder m_decoder;
    // Receive buffer: the candidate kept from the previous poll (at most an STX and six
    // bytes), then the bytes of this poll's read.
    std::array<uint8_t, kMaxPollRead + 7> m_rxBuffer{};
    std::size_t m_kept = 0;
    uint64_t m_bytesReceived = 0;
};

}  // namespace tavrolin
