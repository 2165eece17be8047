// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/PackedReadings.h"
#include "archive/Archive.h"
#include "archive/ArchiveQuery.h"
#include "archive/ArchiveSink.h"
#include "base/Clock.h"
#include "decode/ReadingSink.h"

namespace tavrolin {

// The system's side of the live feed: a listening socket and its readers' connections, all
// without waiting (UnixFeedPort).
class FeedPort {
public:
    virtual ~FeedPort();
    // Once a tick: the readers that connected since the last look, each named by a number of
    // the port's that stays its own until it is dropped or gone, and those that hung up
    // (already closed). What a reader sends is read and thrown away, a little at a time.
    virtual void Look(std::vector<int>& joined, std::vector<int>& gone) = 0;
    // How much of bytes the reader's socket takes now; -1 when the reader is gone (closed).
    virtual std::ptrdiff_t Send(int reader, std::string_view bytes) = 0;
    // Closes the reader's connection.
    virtual void Drop(int reader) = 0;
};

struct LiveFeedLimits {
    std::size_t maxReaders = 16;
    // A reader that takes nothing for this long while lines wait for it is dropped.
    int64_t stallMs = 5000;
    // Lines made ahead for a reader beyond what its socket took.
    std::size_t chunkBytes = 32 * 1024;
    // Readers are sent what waits for them at most this often (a new one is greeted at
    // once): a page or an upload is as live at four writes a second as at twenty, and each
    // write wakes its reader.
    int64_t serveEveryMs = 250;
    // Readings kept for the readers and the charts: at the heaviest load of 200 a second and
    // the archive's early commit at 10 000, twice that. Beyond it the oldest go (the
    // archive has failed for long; they still wait in its writer), and so does a reader
    // that has not taken them yet.
    std::size_t mostKept = 20000;
};

// The readings of the sensors the user records, from the moment they are decoded and
// derived until the archive has committed them, each with the key it has (or will have)
// there: the one place they are kept on the tick's thread, packed (PackedReadings), for at
// the default commit interval of five minutes they are thousands. The window's charts add them
// to what they find in the archive, and the live feed serves them: a reader that connects
// is told the key of the archive's last commit, gets the readings after it that are not
// committed yet, then each new one and a mark at each commit (FeedLines.h).
//
// A sink behind the archive's: it numbers the readings as the archive does
// (ReadingNumbering), and at the end of each poll learns from the archive what it has
// committed since (ArchiveSink::Settled). Without an archive every reading counts as
// settled at once: nothing is kept, and the feed says each reading as it comes.
//
// The readers are served at the end of a poll (of every tick, whether the receiver is there
// or not, at most every serveEveryMs), never waited for: each gets the lines its socket takes, and
// one that stops taking them is dropped, said once as a notice. Nothing a reader sends changes
// anything.
class LiveReadings : public ReadingSink {
public:
    // committedKey: the key of the archive's newest reading at the start (NewestKey).
    LiveReadings(const ArchiveSink* archive, int64_t committedKey, CoarseClock& clock,
                 LiveFeedLimits limits = {});
    LiveReadings(const LiveReadings&) = delete;
    LiveReadings& operator=(const LiveReadings&) = delete;
    ~LiveReadings() override;

    // Serves readers on the port from now on; the path is what notices name.
    void Offer(FeedPort& port, std::string path);
    // Says, with the first notices, why there is no feed.
    void Refused(std::string reason) { Say(std::move(reason), MessageIcon::Exclamation); }
    // At the program's end, after the archive's Finish: settles what it committed last,
    // sends each reader what its socket takes of what waits for it, and lets go of them.
    void Close();

    void Accept(const Reading& reading) override;
    void EndOfPoll() override;
    std::optional<SinkNotice> TakeNotice() override;

    int64_t CommittedKey() const { return m_committedKey; }
    // Every reading not yet committed, oldest first.
    void ForEachUncommitted(const std::function<void(const KeyedReading&)>& each) const;
    std::size_t Readers() const { return m_readers.size(); }

private:
    struct Entry {
        int64_t key = 0;
        uint64_t upTo = 0;     // the readings handed to the archive up to its poll's end
        uint64_t reading = 0;  // its position in m_readings
        bool commit = false;   // a mark: the archive holds every reading up to key
    };
    struct Reader {
        int id = 0;
        std::string out;    // lines made that its socket has not taken yet
        uint64_t next = 0;  // the entry it gets next
        int64_t stuckSinceMs = -1;
    };

    // Orders the poll's readings by their keys.
    void TakePoll();
    void Settle();
    void Serve(bool now);
    // False when the reader is to go.
    bool Feed(Reader& reader, int64_t nowMs);
    void MakeLines();
    // Where the line of entry (m_linesFrom or later, up to m_polled) starts in m_lines.
    std::size_t LineStart(uint64_t entry) const;
    void AppendLine(const Entry& entry, std::string& out);
    void Trim();
    void Say(std::string text, MessageIcon icon);

    const ArchiveSink* m_archive;
    CoarseClock& m_clock;
    LiveFeedLimits m_limits;
    ReadingNumbering m_numbering;
    int64_t m_committedKey;
    std::vector<KeyedReading> m_poll;  // this poll's readings, until its end
    // The readings and marks, by number: m_log.front() is number m_first.
    std::deque<Entry> m_log;
    PackedReadings m_readings;  // those of m_log
    uint64_t m_first = 0;
    uint64_t m_polled = 0;           // the number of the first entry of a poll not yet ended
    uint64_t m_uncommitted = 0;      // the number of the first reading not committed
    uint64_t m_handed = 0;           // readings handed to the archive
    uint64_t m_settled = 0;          // of those, committed as far as this one knows
    std::size_t m_keptReadings = 0;  // readings at or after m_uncommitted
    // The lines of the entries that came since the readers were last served, from number
    // m_linesFrom on: made once for every reader that keeps up, which all take them.
    uint64_t m_linesFrom = 0;
    std::string m_lines;
    std::vector<std::size_t> m_lineEnds;  // in m_lines, of each entry's line
    std::string m_json;

    FeedPort* m_port = nullptr;
    std::string m_path;
    std::list<Reader> m_readers;
    std::vector<int> m_joined, m_gone;
    bool m_saidFull = false;
    std::optional<int64_t> m_servedMs;  // when the readers were last sent what waits
    std::deque<SinkNotice> m_notices;
};

}  // namespace tavrolin
