// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/BackupWatch.h"

#include <boost/json.hpp>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "decode/ReadingJson.h"

namespace tavrolin {

namespace {
constexpr std::chrono::seconds kLookEvery{60};
}

struct BackupWatch::Shared {
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
    State state;
};

bool BackupWatch::State::Stale(Instant now) const {
    return watched && looked && (!newest || now - newest->taken > kStaleAfter);
}

BackupWatch::BackupWatch(std::string folder, std::string archivePath)
    : m_shared(std::make_shared<Shared>()), m_folder(std::move(folder)) {
    if (m_folder.empty()) {
        return;
    }
    m_shared->state.watched = true;
    // Detached, holding the state with this object: a look that hangs in a dead share must
    // not hang the program's end either.
    std::thread([shared = m_shared, folder = m_folder, archive = std::move(archivePath)] {
        std::unique_lock lock(shared->mutex);
        while (!shared->stop) {
            lock.unlock();
            std::optional<LastCopy> newest = NewestCopy(folder, archive);
            lock.lock();
            shared->state.newest = std::move(newest);
            shared->state.looked = true;
            shared->wake.wait_for(lock, kLookEvery, [&shared] { return shared->stop; });
        }
    }).detach();
}

BackupWatch::~BackupWatch() {
    const std::lock_guard lock(m_shared->mutex);
    m_shared->stop = true;
    m_shared->wake.notify_all();
}

BackupWatch::State BackupWatch::Now() const {
    const std::lock_guard lock(m_shared->mutex);
    return m_shared->state;
}

std::string BackupWatch::Json(Instant now, const TimeZone& zone) const {
    const State state = Now();
    if (!state.watched) {
        return {};
    }
    std::string out =
        "\"backup\":{\"folder\":" + boost::json::serialize(boost::json::string(m_folder)) +
        ",\"at\":";
    if (state.newest) {
        out += '"';
        AppendRfc3339(LocalTimeIn(zone, state.newest->taken), out);
        out += '"';
    } else {
        out += "null";
    }
    out += state.Stale(now) ? ",\"stale\":true}" : ",\"stale\":false}";
    return out;
}

std::string BackupWatch::Metrics() const {
    const State state = Now();
    if (!state.watched) {
        return {};
    }
    std::string out =
        "# HELP tavrolin_archive_last_backup_timestamp_seconds Zeit der neuesten Sicherung des "
        "Archivs ([Archiv] Sicherung), 0 ohne eine.\n"
        "# TYPE tavrolin_archive_last_backup_timestamp_seconds gauge\n"
        "tavrolin_archive_last_backup_timestamp_seconds ";
    AppendFixed(state.newest ? UnixMs(state.newest->taken) : 0, 3, out);
    out += '\n';
    return out;
}

}  // namespace tavrolin
