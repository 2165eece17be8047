// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/ArchiveSink.h"

#include <utility>

namespace tavrolin {

ArchiveSink::ArchiveSink(std::string path, ArchiveWriterOptions options)
    : m_maxQueued(options.maxWaiting),
      m_commitIntervalMs(options.commitIntervalMs),
      m_commitAtReadings(options.commitAtReadings),
      m_writer(std::move(path), options) {
    m_poll.reserve(64);
    m_thread = std::thread([this] { Run(); });
}

ArchiveSink::~ArchiveSink() {
    Finish();
}

int64_t ArchiveSink::NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void ArchiveSink::Accept(const Reading& reading) {
    m_poll.push_back(StoredReading::Of(reading));
}

void ArchiveSink::EndOfPoll() {
    if (m_poll.empty()) {
        return;
    }
    bool wake = false;
    {
        const std::lock_guard lock(m_mutex);
        if (m_stop) {
            m_poll.clear();
            return;
        }
        // Readings waiting already mean the thread knows of work (it may be waiting out the
        // commit interval, which a wake-up per poll would only interrupt), unless they are
        // now enough for a commit.
        const std::size_t before = m_queue.size();
        m_queue.insert(m_queue.end(), m_poll.begin(), m_poll.end());
        wake = before == 0 || (before < m_commitAtReadings && m_queue.size() >= m_commitAtReadings);
        // Beyond the bound the thread is stuck in one call to the disk.
        m_queueLost += static_cast<int64_t>(DropOldestBeyond(m_queue, m_maxQueued));
    }
    m_poll.clear();
    if (wake) {
        m_wake.notify_one();
    }
}

std::optional<SinkNotice> ArchiveSink::TakeNotice() {
    const std::lock_guard lock(m_mutex);
    return TakeFirst(m_notices);
}

bool ArchiveSink::WaitIdle(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(m_mutex);
    return m_idle.wait_until(lock, deadline, [this] { return m_queue.empty() && !m_working; });
}

void ArchiveSink::Finish() {
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void ArchiveSink::Run() {
    m_writer.Open(NowMs());
    std::vector<StoredReading> batch;
    std::optional<int64_t> lastWrite;
    uint64_t taken = 0;  // readings taken from the queue, those lost there included
    std::unique_lock lock(m_mutex);
    m_working = true;
    for (;;) {
        // Notices of the last round, and the idle signal, under the lock.
        while (std::optional<SinkNotice> notice = m_writer.TakeNotice()) {
            m_notices.push_back(std::move(*notice));
        }
        m_working = false;
        m_idle.notify_all();
        if (m_stop && m_queue.empty()) {
            break;
        }
        const auto wakeUp = [this] { return m_stop || !m_queue.empty(); };
        if (const std::optional<int64_t> due = m_writer.RetryDueMs()) {
            const auto at = std::chrono::steady_clock::time_point(std::chrono::milliseconds(*due));
            m_wake.wait_until(lock, at, wakeUp);
        } else {
            m_wake.wait(lock, wakeUp);
        }
        if (lastWrite && !m_queue.empty()) {
            const auto at = std::chrono::steady_clock::time_point(
                std::chrono::milliseconds(*lastWrite + m_commitIntervalMs));
            m_wake.wait_until(lock, at,
                              [this] { return m_stop || m_queue.size() >= m_commitAtReadings; });
        }
        // Taken whole, and let go once written: between commits only the queue holds memory.
        batch = std::exchange(m_queue, {});
        const int64_t lost = std::exchange(m_queueLost, 0);
        taken += batch.size() + static_cast<uint64_t>(lost);
        const bool stopping = m_stop;
        m_working = true;
        lock.unlock();

        const int64_t now = NowMs();
        m_writer.NoteLost(lost);
        if (!batch.empty()) {
            lastWrite = now;
            m_writer.Write(batch, now);
            batch = {};
        } else {
            m_writer.Retry(now);
        }
        if (stopping) {
            m_writer.Flush(now);
            m_writer.Abandon();
        }
        m_settled.store(taken - m_writer.Waiting(), std::memory_order_release);
        lock.lock();
    }
}

}  // namespace tavrolin
