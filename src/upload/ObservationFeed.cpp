// SPDX-License-Identifier: GPL-3.0-or-later
#include "upload/ObservationFeed.h"

#include "archive/ArchiveSchema.h"

namespace tavrolin {

namespace {

constexpr std::size_t kChunk = 2000;

}  // namespace

int64_t KeyBefore(int64_t ms) {
    return RecentKey(0, ms, 0) - 1;
}

bool ArchiveReadingSource::Take(std::size_t limit, std::vector<KeyedReading>& readings,
                                std::string& problem) {
    readings.clear();
    const ArchiveStatus status = ReadingsAfter(m_archive, m_after, limit, readings);
    if (!status.Ok()) {
        problem = status.Unreadable();
        readings.clear();
        return false;
    }
    if (!readings.empty()) {
        m_after = readings.back().key;
    }
    return true;
}

bool LiveReadingSource::Line(const FeedLine& line) {
    switch (line.kind) {
        case FeedLine::Kind::Greeting:
            m_greeting = line.key;
            m_waiting.clear();
            return true;
        case FeedLine::Kind::Reading:
            if (!m_greeting || !line.reading || line.key <= m_archive.After()) {
                return true;
            }
            if (m_waiting.size() >= kMostWaiting) {
                return false;
            }
            m_waiting.push_back({line.key, *line.reading});
            return true;
        case FeedLine::Kind::Commit:
        case FeedLine::Kind::Invalid:
            return true;
    }
    return true;
}

void LiveReadingSource::Lost() {
    m_greeting.reset();
    m_waiting.clear();
}

bool LiveReadingSource::Take(std::size_t limit, std::vector<KeyedReading>& readings,
                             std::string& problem) {
    readings.clear();
    // What was committed before the feed greeted comes from the archive, the rest from the feed.
    if (!m_greeting || m_archive.After() < *m_greeting) {
        if (!m_archive.Take(limit, readings, problem)) {
            return false;
        }
        if (!m_greeting || readings.size() == limit) {
            return true;
        }
    }
    while (!m_waiting.empty() && m_waiting.front().key <= m_archive.After()) {
        m_waiting.pop_front();
    }
    while (!m_waiting.empty() && readings.size() < limit) {
        readings.push_back(std::move(m_waiting.front()));
        m_waiting.pop_front();
    }
    if (!readings.empty()) {
        m_archive.SkipTo(readings.back().key);
    }
    return true;
}

ObservationFeed::ObservationFeed(const UploadSettings& settings, std::vector<SensorKey> known,
                                 int64_t firstMinuteMs)
    : m_derivation(settings.weather),
      m_builder(settings.sensors, std::move(known)),
      m_nextMinuteMs(FloorDiv(firstMinuteMs + kMsPerMinute - 1, kMsPerMinute) * kMsPerMinute) {}

bool ObservationFeed::Advance(ReadingSource& source, int64_t untilMs,
                              const std::function<void(const Observation&)>& offer,
                              std::string& problem) {
    std::vector<KeyedReading> readings;
    for (;;) {
        if (!source.Take(kChunk, readings, problem)) {
            return false;
        }
        for (KeyedReading& keyed : readings) {
            const int64_t at = UnixMs(keyed.reading.time);
            while (m_nextMinuteMs < at) {
                offer(m_builder.Observe(FromUnixMs(m_nextMinuteMs)));
                m_nextMinuteMs += kMsPerMinute;
            }
            m_derivation.Derive(keyed.reading);
            m_builder.Note(keyed.reading);
        }
        if (readings.size() < kChunk) {
            break;
        }
    }
    while (m_nextMinuteMs <= untilMs) {
        offer(m_builder.Observe(FromUnixMs(m_nextMinuteMs)));
        m_nextMinuteMs += kMsPerMinute;
    }
    return true;
}

}  // namespace tavrolin
