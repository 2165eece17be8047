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

void ArchiveWriter::Write(std::span<const Reading> readings, int64_t nowMs) {
    m_waiting.insert(m_waiting.end(), readings.begin(), readings.end());
    if (m_waiting.size() > m_options.maxWaiting) {
        // The oldest go, a tenth of the bound at a time, so that a long failure does not
        // move the whole backlog at every poll.
        const std::size_t drop = std::min(
            m_waiting.size(), m_waiting.size() - m_options.maxWaiting + m_options.maxWaiting / 10);
        m_waiting.erase(m_waiting.begin(), m_waiting.begin() + static_cast<std::ptrdiff_t>(drop));
        NoteLost(static_cast<int64_t>(drop));
    }
    if (!m_failing || nowMs >= m_nextTryMs) {
        Attempt(nowMs);
    }
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
