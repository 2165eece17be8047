// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "decode/ReadingSink.h"

namespace tavrolin {

struct ArchiveWriterOptions {
    // How long one transaction waits for another program's. Longer locks are waited out in
    // memory, not in SQLite.
    int busyTimeoutMs = 250;
    // Readings kept while the archive cannot be written: at a station's usual 20 sensors
    // every 3 minutes, ten days, in 4 MB (StoredReading); beyond it the oldest go.
    std::size_t maxWaiting = 100000;
    int64_t retryMs = 60000;        // after a failure
    int64_t lockedRetryMs = 1000;   // while another program holds the archive
    int64_t lockedGraceMs = 60000;  // a lock this long is said, and waited for like a failure
    // The readings of the polls within this time of the last commit share the next one, at
    // the end of it (ArchiveSink). The receiving programs take it from the profile.
    int64_t commitIntervalMs = 1000;
    // ... unless this many wait: at 200 readings a second, one commit every 50 s, and some
    // 400 kB of readings in memory at most (a long interval would otherwise gather more than
    // maxWaiting, and the oldest would go).
    std::size_t commitAtReadings = 10000;
};

// Writes the readings of a receiving program into the archive: what each call hands it in
// one transaction (ArchiveSink gathers the polls of a commit interval into one call). When
// the archive cannot be opened or written (no folder, no rights, disk
// full, not an archive, locked), the readings wait in memory, up to a bound, and go in with
// the next transaction that succeeds; after a failure the next attempt comes a minute later
// (retryMs), and while another program holds a lock, every second. Each failure is said
// once, a lock only once it has lasted a minute, and the recovery too; reception never
// waits for any of it.
//
// Times are the caller's monotonic milliseconds. Not thread-safe: ArchiveSink runs it on a
// thread of its own.
class ArchiveWriter {
public:
    explicit ArchiveWriter(std::string path, ArchiveWriterOptions options = {});

    // Opens the archive (creating it and bringing it up to date), so that a problem is
    // said at start, not with the first reading.
    void Open(int64_t nowMs);
    // Adds the readings of one poll to those waiting and writes them all in one
    // transaction, unless a retry is not due yet.
    void Write(std::span<const StoredReading> readings, int64_t nowMs);
    // Writes what waits once its retry is due.
    void Retry(int64_t nowMs);
    // Writes what waits now, due or not: the last attempt before the program ends.
    void Flush(int64_t nowMs);
    // Gives up what still waits, saying how much (the program ends).
    void Abandon();
    // Readings lost before they reached the writer (its caller's queue was full).
    void NoteLost(int64_t count);
    // When Retry has something to do; nothing while nothing waits.
    std::optional<int64_t> RetryDueMs() const;

    std::optional<SinkNotice> TakeNotice();
    std::size_t Waiting() const { return m_waiting.size(); }
    int64_t Lost() const { return m_lost; }
    bool Failing() const { return m_failing; }
    // The readings written so far (tests and the benchmark count them).
    int64_t Written() const { return m_written; }

private:
    void Attempt(int64_t nowMs);
    void Failed(const ArchiveStatus& status, bool opening, int64_t nowMs);
    void Recovered();
    void Say(std::string text, MessageIcon icon);

    std::string m_path;
    ArchiveWriterOptions m_options;
    Archive m_archive;
    std::vector<StoredReading> m_waiting;
    int64_t m_written = 0;

    bool m_failing = false;
    int64_t m_failingSinceMs = 0;
    int64_t m_nextTryMs = 0;
    ArchiveProblem m_said = ArchiveProblem::None;  // the failure the user was told of
    bool m_saidLoss = false;
    int64_t m_lost = 0;  // in this failure
    std::deque<SinkNotice> m_notices;
};

// The bound of the readings that wait for the archive, in memory: beyond maxWaiting the
// oldest go, a tenth of the bound at a time, so that a long failure does not move the whole
// backlog at every poll. The writer's readings and ArchiveSink's queue in front of it follow
// it alike. Returns how many went.
std::size_t DropOldestBeyond(std::vector<StoredReading>& waiting, std::size_t maxWaiting);

}  // namespace tavrolin
