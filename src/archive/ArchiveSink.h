// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

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
// sensors the user records, as the list and the protocol file have them), each poll's
// readings in one transaction. Polls that follow the last transaction within commitGapMs wait for
// that time and then go in together, each whole: a station's readings come seconds apart and each
// goes in at once, while a burst of 200 readings a second costs one commit a second instead of
// twenty (a commit, with its locks, WAL writes and thread wake-up, costs as much as
// writing twenty readings).
//
// SQLite's work runs on a thread of the sink's own: a transaction costs little CPU, but a
// checkpoint waits for the disk (fsync, tens to hundreds of milliseconds on an SD card), a
// lock of another program up to the busy timeout, and a slow or full disk longer still;
// none of it may make a 50 ms tick late. The tick only copies the poll's readings into a
// queue (bounded like the writer's backlog). What the writer has to say comes back as
// notices, taken after the poll like every sink's.
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
    int64_t m_commitGapMs;
    std::vector<Reading> m_poll;  // the tick thread's: this poll's readings

    std::mutex m_mutex;  // guards what follows
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::vector<Reading> m_queue;
    int64_t m_queueLost = 0;
    bool m_working = false;
    bool m_stop = false;
    std::deque<SinkNotice> m_notices;

    ArchiveWriter m_writer;  // the thread's alone
    std::thread m_thread;
};

}  // namespace tavrolin
