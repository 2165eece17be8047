// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/ArchiveWriter.h"

#include <algorithm>
#include <utility>

#include "base/FileSystem.h"

namespace tavrolin {

namespace {

constexpr const char* kCaption = "Tavrolin";

}  // namespace

ArchiveWriter::ArchiveWriter(std::string path, ArchiveWriterOptions options)
    : m_path(std::move(path)), m_options(options) {}

void ArchiveWriter::Open(int64_t nowMs) {
    if (!m_archive.IsOpen()) {
        Attempt(nowMs);
    }
}

void ArchiveWriter::Write(std::span<const StoredReading> readings, int64_t nowMs) {
    if (m_waiting.empty() && !m_failing) {
        // The usual case: written from the caller's readings, without a copy of them; kept
        // only when they cannot be written.
        const bool opening = !m_archive.IsOpen();
        ArchiveStatus status;
        if (opening) {
            status = m_archive.Open(m_path, Archive::Access::Write, m_options.busyTimeoutMs);
        }
        if (status.Ok()) {
            status = m_archive.Write(readings);
        }
        if (status.Ok()) {
            m_written += static_cast<int64_t>(readings.size());
            Recovered();
            return;
        }
        m_waiting.assign(readings.begin(), readings.end());
        Failed(status, opening && !m_archive.IsOpen(), nowMs);
        return;
    }
    m_waiting.insert(m_waiting.end(), readings.begin(), readings.end());
    NoteLost(static_cast<int64_t>(DropOldestBeyond(m_waiting, m_options.maxWaiting)));
    if (!m_failing || nowMs >= m_nextTryMs) {
        Attempt(nowMs);
    }
}

std::size_t DropOldestBeyond(std::vector<StoredReading>& waiting, std::size_t maxWaiting) {
    if (waiting.size() <= maxWaiting) {
        return 0;
    }
    const std::size_t drop =
        std::min(waiting.size(), waiting.size() - maxWaiting + maxWaiting / 10);
    waiting.erase(waiting.begin(), waiting.begin() + static_cast<std::ptrdiff_t>(drop));
    return drop;
}

void ArchiveWriter::NoteLost(int64_t count) {
    if (count <= 0) {
        return;
    }
    m_lost += count;
    if (!m_saidLoss) {
        m_saidLoss = true;
        Say("Das Archiv " + ShownFilePath(m_path) +
                " läßt sich schon lange nicht beschreiben: Die ältesten der Messungen, die darauf "
                "warten, gehen verloren.",
            MessageIcon::Exclamation);
    }
}

void ArchiveWriter::Abandon() {
    if (!m_waiting.empty()) {
        Say("Beim Beenden verloren, weil das Archiv " + ShownFilePath(m_path) +
                " sich nicht beschreiben ließ: " +
                Messungen(static_cast<int64_t>(m_waiting.size())) + ".",
            MessageIcon::Exclamation);
        m_waiting.clear();
    }
}

void ArchiveWriter::Flush(int64_t nowMs) {
    if (!m_waiting.empty()) {
        Attempt(nowMs);
    }
}

void ArchiveWriter::Retry(int64_t nowMs) {
    if (m_failing && nowMs >= m_nextTryMs) {
        Attempt(nowMs);
    }
}

std::optional<int64_t> ArchiveWriter::RetryDueMs() const {
    if (!m_failing) {
        return std::nullopt;
    }
    return m_nextTryMs;
}

void ArchiveWriter::Attempt(int64_t nowMs) {
    if (!m_archive.IsOpen()) {
        const ArchiveStatus status =
            m_archive.Open(m_path, Archive::Access::Write, m_options.busyTimeoutMs);
        if (!status.Ok()) {
            Failed(status, true, nowMs);
            return;
        }
    }
    if (!m_waiting.empty()) {
        const ArchiveStatus status = m_archive.Write(m_waiting);
        if (!status.Ok()) {
            Failed(status, false, nowMs);
            return;
        }
        m_written += static_cast<int64_t>(m_waiting.size());
        m_waiting.clear();
    }
    Recovered();
}

void ArchiveWriter::Failed(const ArchiveStatus& status, bool opening, int64_t nowMs) {
    if (!m_failing) {
        m_failing = true;
        m_failingSinceMs = nowMs;
    }
    const bool locked = status.problem == ArchiveProblem::Locked;
    const bool longLocked = locked && nowMs - m_failingSinceMs >= m_options.lockedGraceMs;
    m_nextTryMs = nowMs + (locked && !longLocked ? m_options.lockedRetryMs : m_options.retryMs);
    if (!locked) {
        // Opened anew at the next attempt: the file may have been replaced, its folder made,
        // its rights given.
        m_archive.Close();
    }
    if (status.problem == m_said || (locked && !longLocked)) {
        return;
    }
    m_said = status.problem;
    const std::string name = ShownFilePath(m_path);
    std::string text;
    if (locked) {
        text = "Das Archiv " + name + " läßt sich seit einer Minute nicht beschreiben";
    } else if (opening) {
        text = "Das Archiv " + name + " läßt sich nicht öffnen";
    } else {
        text = "In das Archiv " + name + " läßt sich nicht schreiben";
    }
    text += status.Describe();
    text += " Die Empfangsdaten werden weiter angezeigt und protokolliert; bis zu " +
            std::to_string(m_options.maxWaiting) +
            " Messungen warten im Speicher auf das Archiv. Ein neuer Versuch folgt jede Minute.";
    Say(std::move(text), MessageIcon::Exclamation);
}

void ArchiveWriter::Recovered() {
    if (m_said != ArchiveProblem::None || m_saidLoss) {
        std::string text = "Das Archiv " + ShownFilePath(m_path) +
                           " wird wieder beschrieben; die Messungen, die darauf gewartet "
                           "haben, sind nachgetragen.";
        if (m_lost > 0) {
            text += " Verloren: " + Messungen(m_lost) + ".";
        }
        Say(std::move(text), MessageIcon::Information);
    }
    m_failing = false;
    m_said = ArchiveProblem::None;
    m_saidLoss = false;
    m_lost = 0;
}

void ArchiveWriter::Say(std::string text, MessageIcon icon) {
    m_notices.push_back({kCaption, std::move(text), icon});
}

std::optional<SinkNotice> ArchiveWriter::TakeNotice() {
    return TakeFirst(m_notices);
}

}  // namespace tavrolin
