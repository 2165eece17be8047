// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/CommandFrameParser.h"
#include "sim/SimOptions.h"
#include "sim/SimRandom.h"

namespace tavrolin::sim {

// Real time since the simulator started. The model never reads a clock: the caller passes
// the time in, so that tests can run it on a virtual one.
using SimTime = std::chrono::microseconds;

enum class Command { Start, Stop, Other };
enum class Answer { None, Ack, Nak };

// One frame that came in, what it was and how it was answered (for the verbose log).
struct CommandEvent {
    CommandFrame frame;
    std::optional<Command> command;  // only for frames that passed the checks
    Answer answer = Answer::None;
};

struct SimCounters {
    uint64_t telegrams = 0;
    uint64_t commands = 0;
    uint64_t starts = 0;
    uint64_t stops = 0;
    uint64_t others = 0;
    uint64_t badFrames = 0;
};

// "tavrolin-sim: 1234 Telegramme gesendet, 2 Befehle empfangen (1 Start, 1 Stopp)".
std::string SummaryLine(const SimCounters& counters);

// Bytes to put on the line now, in one write.
struct Output {
    std::vector<uint8_t> bytes;
    int telegrams = 0;    // telegrams whose last byte is in these bytes
    bool answer = false;  // an answer frame
};

// A piece of the line's traffic and where it comes from: the weather station on its own
// schedule, the station round-robin at a fixed rate, or a capture file.
struct Piece {
    std::vector<uint8_t> bytes;
    int telegrams = 0;
};

class PieceSource {
public:
    virtual ~PieceSource();
    // Sending starts (again) at `now`.
    virtual void Begin(SimTime now) = 0;
    // When the next piece is due; nothing when the source has run dry.
    virtual std::optional<SimTime> NextDue() const = 0;
    virtual Piece Take() = 0;
    // Nobody listened until `now`: what fell due meanwhile is gone, as on a real line.
    virtual void SkipUntil(SimTime now) = 0;
    // Whether noise and split writes apply to its pieces.
    virtual bool Decorated() const = 0;
};

// The receiver's side of the line: command frames in, answer frames and telegrams out.
// It decides what goes on the line and when; the caller does the I/O: it feeds the bytes
// that came in, writes what TakeOutput gives until it gives nothing, and sleeps until
// NextWakeup or until bytes come in.
class ReceiverSimulator {
public:
    // 19200 baud with start bit, 8 data bits, parity and 2 stop bits: 12 bit times a byte.
    static constexpr SimTime kByteTime{625};
    // Writes may run ahead of the line by this much, as into a UART's 16-byte FIFO, so that
    // a late wake-up does not lose line time.
    static constexpr SimTime kLineLead{10000};
    // Quiet time after an answer frame. The program reads the answer when it wakes after its
    // ETX and takes the last ETX of what it read as the answer's, throwing the rest away; a
    // telegram right behind the answer would spoil it and be lost. A program on a busy
    // machine (two test runs and a build on two cores) may wake a good 50 ms late: the quiet
    // time covers the whole of its 200 ms wait for the answer.
    static constexpr SimTime kAnswerQuiet{200000};
    // Time between the two writes of a split telegram.
    static constexpr SimTime kSplitGap{3000};

    // `replay` is the content of the capture file to send, used when options.replayFile is
    // set.
    ReceiverSimulator(const SimOptions& options, std::string replay = {});
    ~ReceiverSimulator();

    std::vector<CommandEvent> Receive(std::span<const uint8_t> bytes, SimTime now);

    // Whether a program has the line open. Without one nothing is written: answers and
    // telegrams due meanwhile are dropped (a replay pauses).
    void SetListening(bool listening, SimTime now);

    std::optional<Output> TakeOutput(SimTime now);
    std::optional<SimTime> NextWakeup() const;

    const SimCounters& Counters() const { return m_counters; }
    bool Started() const { return m_started; }

private:
    bool LineReady(SimTime now) const { return m_lineFree - now <= kLineLead; }
    bool Sending() const;
    Output Put(SimTime now, std::vector<uint8_t> bytes, int telegrams, bool answer);
    std::vector<uint8_t> Noise();

    struct SplitRest {
        std::vector<uint8_t> bytes;
        int telegrams = 0;
        SimTime notBefore{0};
    };

    SimOptions m_options;
    std::unique_ptr<PieceSource> m_source;
    CommandFrameParser m_parser;
    SimRandom m_lineRandom;
    SimCounters m_counters;
    bool m_started = false;
    bool m_listening = true;
    uint64_t m_taken = 0;  // telegrams taken from the source, for --count
    std::deque<std::vector<uint8_t>> m_answers;
    std::optional<SplitRest> m_splitRest;
    SimTime m_lineFree{0};    // when the line has sent everything written so far
    SimTime m_quietUntil{0};  // no telegram before this (after an answer)
};

// Cuts a capture into pieces that each end at an ETX (the rest after the last ETX is a
// piece of its own), so that every telegram of it goes out in one write.
std::vector<std::vector<uint8_t>> SplitCapture(std::span<const uint8_t> capture);

}  // namespace tavrolin::sim
