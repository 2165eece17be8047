// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/LiveFeed.h"

#include <algorithm>
#include <utility>

#include "archive/FeedLines.h"
#include "decode/ReadingJson.h"

namespace tavrolin {

namespace {

constexpr const char* kCaption = "Tavrolin";

}  // namespace

FeedPort::~FeedPort() = default;

LiveReadings::LiveReadings(const ArchiveSink* archive, int64_t committedKey, CoarseClock& clock,
                           LiveFeedLimits limits)
    : m_archive(archive), m_clock(clock), m_limits(limits), m_committedKey(committedKey) {}

LiveReadings::~LiveReadings() {
    Close();
}

void LiveReadings::Offer(FeedPort& port, std::string path) {
    m_port = &port;
    m_path = std::move(path);
}

void LiveReadings::Accept(const Reading& reading) {
    m_poll.push_back({KeyOf(m_numbering.Next(reading)), reading});
    ++m_handed;
}

void LiveReadings::EndOfPoll() {
    TakePoll();
    Settle();
    Serve(false);
    Trim();
}

void LiveReadings::TakePoll() {
    if (m_poll.empty()) {
        return;
    }
    // In the order of their keys, as the archive writes them and the readers take them
    // (the sensors of one millisecond by their number); a reading of a key already given
    // is one the archive leaves out too (the first of them is the one kept).
    const auto byKey = [](const KeyedReading& a, const KeyedReading& b) { return a.key < b.key; };
    std::stable_sort(m_poll.begin(), m_poll.end(), byKey);
    const auto end =
        std::unique(m_poll.begin(), m_poll.end(),
                    [](const KeyedReading& a, const KeyedReading& b) { return a.key == b.key; });
    for (auto it = m_poll.begin(); it != end; ++it) {
        m_log.push_back({it->key, m_handed, m_readings.Append(it->reading), false});
    }
    const auto taken = static_cast<std::size_t>(end - m_poll.begin());
    m_poll.clear();
    m_polled = m_first + m_log.size();
    if (m_archive == nullptr) {
        // Nothing to wait for: a reader that comes later starts after them.
        m_committedKey = std::max(m_committedKey, m_log.back().key);
        m_uncommitted = m_polled;
    } else {
        m_keptReadings += taken;
    }
}

void LiveReadings::Settle() {
    if (m_archive == nullptr) {
        return;
    }
    // Read once: the archive's thread may settle more meanwhile, which the next poll takes.
    // It takes each poll's readings whole.
    const uint64_t settled = std::min(m_archive->Settled(), m_handed);
    if (settled <= m_settled) {
        return;
    }
    m_settled = settled;
    while (m_uncommitted < m_polled) {
        const Entry& entry = m_log[static_cast<std::size_t>(m_uncommitted - m_first)];
        if (!entry.commit) {
            if (entry.upTo > settled) {
                break;
            }
            m_committedKey = std::max(m_committedKey, entry.key);
            --m_keptReadings;
        }
        ++m_uncommitted;
    }
    // The readers learn it after the readings they have yet to get.
    m_log.push_back({m_committedKey, 0, m_readings.End(), true});
    m_polled = m_first + m_log.size();
}

void LiveReadings::ForEachUncommitted(const std::function<void(const KeyedReading&)>& each) const {
    KeyedReading keyed;
    for (uint64_t i = m_uncommitted; i < m_polled; ++i) {
        const Entry& entry = m_log[static_cast<std::size_t>(i - m_first)];
        if (!entry.commit) {
            keyed.key = entry.key;
            keyed.reading = m_readings.At(entry.reading);
            each(keyed);
        }
    }
}

void LiveReadings::AppendLine(const Entry& entry, std::string& out) {
    if (entry.commit) {
        AppendFeedCommit(entry.key, out);
        return;
    }
    m_json.clear();
    AppendReadingJson(m_readings.At(entry.reading), m_json);
    AppendFeedReading(entry.key, m_json, out);
}

void LiveReadings::MakeLines() {
    const uint64_t from = std::max(m_linesFrom + m_lineEnds.size(), m_first);
    m_linesFrom = from;
    m_lines.clear();
    m_lineEnds.clear();
    if (m_readers.empty()) {
        m_linesFrom = m_polled;
        return;
    }
    for (uint64_t i = from; i < m_polled; ++i) {
        AppendLine(m_log[static_cast<std::size_t>(i - m_first)], m_lines);
        m_lineEnds.push_back(m_lines.size());
    }
}

void LiveReadings::Serve(bool now) {
    if (m_port == nullptr) {
        return;
    }
    m_joined.clear();
    m_gone.clear();
    m_port->Look(m_joined, m_gone);
    for (const int id : m_gone) {
        m_readers.remove_if([id](const Reader& r) { return r.id == id; });
    }
    for (const int id : m_joined) {
        if (m_readers.size() >= m_limits.maxReaders) {
            m_port->Drop(id);
            if (!m_saidFull) {
                m_saidFull = true;
                Say("Am Live-Kanal " + m_path + " lesen schon " +
                        std::to_string(m_limits.maxReaders) +
                        " Programme mit; ein weiteres wurde abgewiesen.",
                    MessageIcon::Exclamation);
            }
            continue;
        }
        Reader reader;
        reader.id = id;
        AppendFeedGreeting(m_committedKey, reader.out);
        reader.next = m_uncommitted;
        m_readers.push_back(std::move(reader));
    }
    if (m_readers.size() < m_limits.maxReaders) {
        m_saidFull = false;
    }
    const int64_t nowMs = m_clock.ReadMs();
    if (!now && m_joined.empty() && m_servedMs && nowMs - *m_servedMs < m_limits.serveEveryMs) {
        return;
    }
    m_servedMs = nowMs;
    MakeLines();
    for (auto it = m_readers.begin(); it != m_readers.end();) {
        if (Feed(*it, nowMs)) {
            ++it;
        } else {
            m_port->Drop(it->id);
            it = m_readers.erase(it);
        }
    }
}

bool LiveReadings::Feed(Reader& reader, int64_t nowMs) {
    const uint64_t end = m_polled;
    if (reader.next < m_first) {
        Say("Ein Leser des Live-Kanals " + m_path +
                " ist so weit zurück, daß die Messungen, die er noch nicht hat, nicht mehr "
                "bereitliegen; er wurde getrennt.",
            MessageIcon::Exclamation);
        return false;
    }
    for (;;) {
        // A reader that keeps up is sent the lines made for all straight from them; only the
        // part of a line its socket did not take is kept for it.
        const bool keepsUp = reader.out.empty() && reader.next >= m_linesFrom;
        std::string_view pending;
        if (keepsUp) {
            pending = std::string_view(m_lines).substr(LineStart(reader.next));
        } else {
            while (reader.out.size() < m_limits.chunkBytes && reader.next < end) {
                if (reader.next >= m_linesFrom) {
                    const std::size_t start = LineStart(reader.next);
                    reader.out.append(m_lines, start, LineStart(reader.next + 1) - start);
                } else {
                    AppendLine(m_log[static_cast<std::size_t>(reader.next - m_first)], reader.out);
                }
                ++reader.next;
            }
            pending = reader.out;
        }
        if (pending.empty()) {
            reader.stuckSinceMs = -1;
            return true;
        }
        const std::ptrdiff_t taken = m_port->Send(reader.id, pending);
        if (taken < 0) {
            return false;  // gone; it may come back and start again
        }
        if (taken == 0) {
            if (reader.stuckSinceMs < 0) {
                reader.stuckSinceMs = nowMs;
            } else if (nowMs - reader.stuckSinceMs >= m_limits.stallMs) {
                Say("Ein Leser des Live-Kanals " + m_path + " nimmt seit " +
                        std::to_string(m_limits.stallMs / 1000) +
                        " s nichts ab; er wurde getrennt.",
                    MessageIcon::Exclamation);
                return false;
            }
            return true;
        }
        reader.stuckSinceMs = -1;
        const auto took = static_cast<std::size_t>(taken);
        if (keepsUp) {
            // The lines it took whole, then the rest of one it took in part.
            const std::size_t upTo = LineStart(reader.next) + took;
            const auto cut = std::upper_bound(m_lineEnds.begin(), m_lineEnds.end(), upTo);
            reader.next = m_linesFrom + static_cast<uint64_t>(cut - m_lineEnds.begin());
            if (cut != m_lineEnds.end() && LineStart(reader.next) < upTo) {
                reader.out.assign(m_lines, upTo, *cut - upTo);
                ++reader.next;
            }
        } else {
            // What its socket took goes at once: a reader that catches up on thousands of
            // readings (the uncommitted ones a new reader gets first) holds no more than a
            // chunk of them.
            reader.out.erase(0, took);
        }
        if (took < pending.size()) {
            return true;  // its socket is full for now
        }
    }
}

std::size_t LiveReadings::LineStart(uint64_t entry) const {
    const auto made = static_cast<std::size_t>(entry - m_linesFrom);
    return made == 0 ? 0 : m_lineEnds[made - 1];
}

void LiveReadings::Trim() {
    // Beyond the bound, the oldest readings not committed go first.
    const uint64_t end = m_polled;
    while (m_keptReadings > m_limits.mostKept && m_uncommitted < end) {
        if (!m_log[static_cast<std::size_t>(m_uncommitted - m_first)].commit) {
            --m_keptReadings;
        }
        ++m_uncommitted;
    }
    uint64_t keep = m_uncommitted;
    for (const Reader& reader : m_readers) {
        keep = std::min(keep, reader.next);
    }
    // A reader far behind holds back no more than twice the bound (readings and marks).
    const uint64_t most = 2 * uint64_t{m_limits.mostKept};
    keep = std::max(keep, end > most ? end - most : 0);
    while (m_first < keep && !m_log.empty()) {
        m_log.pop_front();
        ++m_first;
    }
    m_readings.DropBefore(m_log.empty() ? m_readings.End() : m_log.front().reading);
}

void LiveReadings::Close() {
    if (m_port == nullptr) {
        return;
    }
    // The last commit (the archive's Finish) reaches those that read on.
    Settle();
    Serve(true);
    for (const Reader& reader : m_readers) {
        m_port->Drop(reader.id);
    }
    m_readers.clear();
    m_port = nullptr;
}

std::optional<SinkNotice> LiveReadings::TakeNotice() {
    return TakeFirst(m_notices);
}

void LiveReadings::Say(std::string text, MessageIcon icon) {
    m_notices.push_back({kCaption, std::move(text), icon});
}

}  // namespace tavrolin
