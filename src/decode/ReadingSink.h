// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cassert>
#include <deque>
#include <optional>
#include <string>
#include <utility>

#include "base/MessageSink.h"
#include "decode/Reading.h"

namespace tavrolin {

// Where decoded readings go: the list and protocol file, the logger's stdout, JSON Lines,
// MQTT, the archive, the overview. The receive poll hands every reading it decodes to its
// sink, in arrival order, and ends every poll with EndOfPoll, so that a sink which batches
// (one write, one transaction) does so once per poll.
//
// A sink never shows a message from inside Accept or EndOfPoll: a modal message box would
// let the window's timer poll again in the middle of this poll. It keeps what it has to say
// as a notice, which the session takes after the poll and shows once.
struct SinkNotice {
    std::string caption;  // UTF-8
    std::string text;     // UTF-8
    MessageIcon icon = MessageIcon::Exclamation;
};

// The oldest of the notices a sink keeps, taken from the queue; nothing when it is empty.
inline std::optional<SinkNotice> TakeFirst(std::deque<SinkNotice>& notices) {
    if (notices.empty()) {
        return std::nullopt;
    }
    SinkNotice notice = std::move(notices.front());
    notices.pop_front();
    return notice;
}

// What every sink has, whatever it takes: the end of each poll, and its notices.
class PollSink {
public:
    virtual ~PollSink();
    virtual void EndOfPoll();
    // The next thing the user must hear of (a failed write, a lost connection, recovery),
    // or nothing. Each change of state is said once, not at every reading.
    virtual std::optional<SinkNotice> TakeNotice();
};

// A sink of readings. Those that want a reading's report line (ReportLineSink) or its JSON
// (JsonSink) take that instead, so that the line and the JSON are made once per reading for
// all of them, by ReportLines and JsonOutputs.
class ReadingSink : public PollSink {
public:
    virtual void Accept(const Reading& reading) = 0;
};

// A sink that hands on to a few sinks of one kind (readings, report lines, JSON), in the
// order they were added: each gets what the Accept of the class made of it passes on, the
// end of each poll, and is asked for its notices in turn. A fixed array, so that passing a
// reading on allocates nothing.
template <class Sink, int kMax>
class FanOut : public ReadingSink {
public:
    void Add(Sink& sink) {
        assert(m_count < kMax);
        if (m_count < kMax) {
            m_sinks[m_count++] = &sink;
        }
    }
    void EndOfPoll() override {
        for (Sink* sink : *this) {
            sink->EndOfPoll();
        }
    }
    // The first sink's notice, in the order they were added.
    std::optional<SinkNotice> TakeNotice() override {
        for (Sink* sink : *this) {
            if (std::optional<SinkNotice> notice = sink->TakeNotice()) {
                return notice;
            }
        }
        return std::nullopt;
    }

protected:
    Sink* const* begin() const { return m_sinks; }
    Sink* const* end() const { return m_sinks + m_count; }

private:
    Sink* m_sinks[kMax] = {};
    int m_count = 0;
};

// Hands every reading to each of several sinks, in the order they were added.
class SinkFanOut : public FanOut<ReadingSink, 8> {
public:
    void Accept(const Reading& reading) override;
};

// The outputs that follow the user's choice of sensors (the recording mask: the list, the
// protocol file, the logger's stdout, the archive, MQTT): the one place where that choice is
// applied. A reading passes to the sinks behind the filter when the mask selects it; the
// Fenster events always pass.
class RecordingFilter : public SinkFanOut {
public:
    void SetMask(RecordingMask mask) { m_mask = mask; }
    void Accept(const Reading& reading) override;

private:
    RecordingMask m_mask = kAllRecordings;
};

// Fills in what a program derives from a reading's values (the weather values) before its
// sinks see it.
class ReadingDerivation {
public:
    virtual ~ReadingDerivation();
    virtual void Derive(Reading& reading) = 0;
};

}  // namespace tavrolin
