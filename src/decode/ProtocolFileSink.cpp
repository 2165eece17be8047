// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/ProtocolFileSink.h"

#include <utility>

namespace tavrolin {

namespace {

constexpr const char* kCaption = "Tavrolin";

}  // namespace

void ProtocolFileSink::ReopenAfterFailure(std::string name, CoarseClock& clock, int64_t retryMs,
                                          std::string whileFailing) {
    m_reopen.emplace(Reopening{std::move(name), clock, retryMs, std::move(whileFailing)});
    m_failing = false;
}

void ProtocolFileSink::AcceptLine(std::string_view line) {
    if (m_reopen && m_failing && !m_file.IsOpen() &&
        m_reopen->clock.ReadMs() - m_lastTryMs >= m_reopen->retryMs) {
        m_lastTryMs = m_reopen->clock.ReadMs();
        m_file.OpenForAppend(m_reopen->name);
    }
    m_file.QueueRecordLine(line);
}

void ProtocolFileSink::EndOfPoll() {
    const bool wasOpen = m_file.IsOpen();
    if (!m_reopen) {
        m_file.WriteQueued();  // a failure stays with the file until TakeNotice
        return;
    }
    if (m_file.WriteQueued()) {
        if (m_failing && wasOpen) {
            m_failing = false;
            m_notice = SinkNotice{
                kCaption,
                "Die Protokolldatei " + ShownFilePath(m_reopen->name) + " wird wieder geschrieben.",
                MessageIcon::Information};
        }
        return;
    }
    const std::optional<FileFailure> failure = m_file.TakeFailure();
    if (!failure) {
        return;
    }
    m_lastTryMs = m_reopen->clock.ReadMs();
    if (m_failing) {
        return;  // still failing: told once
    }
    m_failing = true;
    m_notice = SinkNotice{kCaption, FileFailureText(*failure) + " " + m_reopen->whileFailing,
                          MessageIcon::Exclamation};
}

std::optional<SinkNotice> ProtocolFileSink::TakeNotice() {
    if (m_notice) {
        return std::exchange(m_notice, std::nullopt);
    }
    // A failure of the window's file, or one outside a poll: the close at the end, or that of
    // a file the user replaced.
    if (const std::optional<FileFailure> failure = m_file.TakeFailure()) {
        return SinkNotice{kCaption, FileFailureText(*failure), MessageIcon::Exclamation};
    }
    return std::nullopt;
}

}  // namespace tavrolin
