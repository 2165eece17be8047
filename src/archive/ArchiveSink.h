// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "archive/ArchiveWriter.h"
#include "decode/ReadingSink.h"

namespace tavrolin {

// The archive as a sink of both receiving programs (behind the recording filter: the
// sensors the user records, as the list and the protocol file have them). A poll's readings
// after a quiet spell go in at once; those of the polls that follow within the commit
// interval (commitIntervalMs) wait for its end and then go in together, in one transaction:
// at most one commit an interval, whatever the rate. A commit costs far more than its
// readings: the locks, the thread's wake-up and, on the storage, a few pages of the WAL and
// the -shm written anew, 4 KiB each however little changed, which on an SD card is wear.
// Readers see the readings at that commit, so at most an interval late; a power cut or
// SIGKILL costs at most the readings of the interval, a clean end (Finish) none. A heavy
// load commits sooner, once commitAtReadings wait.
//
// SQLite's work runs on a thread of the sink's own: a transaction costs little CPU, but a
// checkpoint waits for the disk (fsync, tens to hundreds of milliseconds on an SD card), a
// lock of another program up to the busy timeout, and a slow or full disk longer still;
// none of it may make a 50 ms tick late. The tick only copies the poll's readings, as the
// archive keeps them (StoredReading), into a queue (bounded like the writer's backlog). What the
// writer has to say comes back as notices, taken after the poll like every sink's.
class ArchiveSink : public ReadingSink {
public:
    explicit ArchiveSink(std::string path, ArchiveWriterOptions options = {});
    // Finishes, if Finish was not called.
    ~ArchiveSink() override;
    ArchiveSink(const ArchiveSink&) = delete;
    ArchiveSink& operator=(const ArchiveSink&) = delete;

    void Accept(const Reading& reading) override;
    void EndOfPoll() override;
    std::optional<SinkNotice> TakeNotice() override;

    // How many of the readings handed over (in the order of Accept) the archive has
    // settled: committed, or given up after a long failure. Any thread may ask; the count
    // only grows, and is right after each commit.
    uint64_t Settled() const { return m_settled.load(std::memory_order_acquire); }

    // Waits until the thread has written (or kept) everything handed to it, or the deadline
    // has passed; true when it has.
    bool WaitIdle(std::chrono::steady_clock::time_point deadline);
    // Ends the thread after a last attempt to write what waits; a notice tells of readings
    // that could not be written. Nothing is accepted afterwards.
    void Finish();

private:
    void Run();
    static int64_t NowMs();

    std::size_t m_maxQueued;
    int64_t m_commitIntervalMs;
    std::size_t m_commitAtReadings;
    std::vector<StoredReading> m_poll;  // the tick thread's: this poll's readings

    std::mutex m_mutex;  // guards what follows
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::vector<StoredReading> m_queue;
    int64_t m_queueLost = 0;
    bool m_working = false;
    bool m_stop = false;
    std::deque<SinkNotice> m_notices;

    std::atomic<uint64_t> m_settled{0};

    ArchiveWriter m_writer;  // the thread's alone
    std::thread m_thread;
};

}  // namespace tavrolin
