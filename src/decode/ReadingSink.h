// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
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

class ReadingSink {
public:
    virtual ~ReadingSink();
    virtual void Accept(const Reading& reading) = 0;
    virtual void EndOfPoll();
    // The next thing the user must hear of (a failed write, a lost connection, recovery),
    // or nothing. Each change of state is said once, not at every reading.
    virtual std::optional<SinkNotice> TakeNotice();
};

// A few sinks of one kind (readings, report lines), in the order they were added: each gets
// what comes, the end of each poll, and is asked for its notices in turn. A fixed array, so
// that passing a reading on allocates nothing.
template <class Sink, int kMax>
class SinkList {
public:
    void Add(Sink& sink) {
        assert(m_count < kMax);
        if (m_count < kMax) {
            m_sinks[m_count++] = &sink;
        }
    }
    void Remove(Sink& sink) {
        m_count = static_cast<int>(std::remove(m_sinks, m_sinks + m_count, &sink) - m_sinks);
    }
    Sink* const* begin() const { return m_sinks; }
    Sink* const* end() const { return m_sinks + m_count; }

    void EndOfPoll() {
        for (Sink* sink : *this) {
            sink->EndOfPoll();
        }
    }
    // The first sink's notice, in the order they were added.
    std::optional<SinkNotice> TakeNotice() {
        for (Sink* sink : *this) {
            if (std::optional<SinkNotice> notice = sink->TakeNotice()) {
                return notice;
            }
        }
        return std::nullopt;
    }

private:
    Sink* m_sinks[kMax] = {};
    int m_count = 0;
};

// Hands every reading to each of several sinks, in the order they were added.
class SinkFanOut : public ReadingSink {
public:
    void Add(ReadingSink& sink) { m_sinks.Add(sink); }
    void Remove(ReadingSink& sink) { m_sinks.Remove(sink); }
    void Accept(const Reading& reading) override;
    void EndOfPoll() override { m_sinks.EndOfPoll(); }
    std::optional<SinkNotice> TakeNotice() override { return m_sinks.TakeNotice(); }

private:
    SinkList<ReadingSink, 8> m_sinks;
};

// The outputs that follow the user's choice of sensors (the recording mask: the list, the
// protocol file, the logger's stdout, the archive, MQTT): the one place where that choice is
// applied. A reading passes when the mask selects it; the Fenster events always pass.
class RecordingFilter : public ReadingSink {
public:
    void SetMask(RecordingMask mask) { m_mask = mask; }
    RecordingMask Mask() const { return m_mask; }
    // The sinks behind the filter.
    SinkFanOut& Sinks() { return m_sinks; }

    void Accept(const Reading& reading) override;
    void EndOfPoll() override { m_sinks.EndOfPoll(); }
    std::optional<SinkNotice> TakeNotice() override { return m_sinks.TakeNotice(); }

private:
    RecordingMask m_mask = kAllRecordings;
    SinkFanOut m_sinks;
};

// Fills in what a program derives from a reading's values (the weather values) before its
// sinks see it.
class ReadingDerivation {
public:
    virtual ~ReadingDerivation();
    virtual void Derive(Reading& reading) = 0;
};

}  // namespace tavrolin
