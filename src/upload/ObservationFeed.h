// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "archive/ArchiveQuery.h"
#include "archive/FeedLines.h"
#include "upload/Observation.h"
#include "upload/UploadSettings.h"
#include "weather/WeatherDerivation.h"

namespace tavrolin {

// Where tavrolin-upload takes the station's readings from, in the order of their archive keys
// (RecentKey), each once.
class ReadingSource {
public:
    virtual ~ReadingSource() = default;
    // The readings after those taken, oldest first, at most `limit`; false, with `problem`
    // (German) said, when the source cannot be read now.
    virtual bool Take(std::size_t limit, std::vector<KeyedReading>& readings,
                      std::string& problem) = 0;
    // A descriptor that becomes readable when new readings wait, or -1: then the caller looks
    // at its own pace (the archive: at each observation due).
    virtual int WakeFd() const { return -1; }
};

// The archive, read-only, followed by its keys (ReadingsAfter) as tavrolin-web follows it.
class ArchiveReadingSource : public ReadingSource {
public:
    ArchiveReadingSource(Archive& archive, int64_t afterKey)
        : m_archive(archive), m_after(afterKey) {}
    bool Take(std::size_t limit, std::vector<KeyedReading>& readings,
              std::string& problem) override;
    // The key of the last reading taken; readings up to `key` are not taken from here.
    int64_t After() const { return m_after; }
    void SkipTo(int64_t key) { m_after = std::max(m_after, key); }

private:
    Archive& m_archive;
    int64_t m_after;
};

// The archive up to the live feed's greeting, then the feed: each reading the moment the
// receiving program has it, not when the archive commits it (five minutes later at the
// logger's default). Without the feed (no receiving program, or one that has gone) the archive
// alone; a feed that comes back names in its greeting the archive's last commit, and what lies
// between is in the archive.
class LiveReadingSource : public ReadingSource {
public:
    // At 200 readings a second, what arrives in some 100 s.
    static constexpr std::size_t kMostWaiting = 20000;

    LiveReadingSource(Archive& archive, int64_t afterKey) : m_archive(archive, afterKey) {}

    // A line of the feed as it comes; false when more readings wait than kMostWaiting (the
    // caller drops the connection and calls Lost, and the archive catches up).
    bool Line(const FeedLine& line);
    // The connection has gone: the archive alone until the next greeting.
    void Lost();
    bool Take(std::size_t limit, std::vector<KeyedReading>& readings,
              std::string& problem) override;

private:
    ArchiveReadingSource m_archive;
    std::optional<int64_t> m_greeting;  // the archive's last commit when the feed greeted
    std::deque<KeyedReading> m_waiting;
};

// The key after which the readings of `ms` and later come.
int64_t KeyBefore(int64_t ms);
// How far before the first observation wanted the readings are taken: the rain of the day
// since local midnight and of the last hour, and fresh readings for the first observation.
inline constexpr int64_t kLeadMs = 26 * kMsPerHour;

// The readings through the derivation, as a receiving program's outputs see them, into an
// ObservationBuilder; an observation at each whole minute once the readings have passed it.
class ObservationFeed {
public:
    ObservationFeed(const UploadSettings& settings, std::vector<SensorKey> known,
                    int64_t firstMinuteMs);

    // Takes what the source has and hands `offer` each minute from the first wanted on that
    // the readings have passed, and the minutes up to `untilMs` beyond them.
    bool Advance(ReadingSource& source, int64_t untilMs,
                 const std::function<void(const Observation&)>& offer, std::string& problem);
    Observation Observe(int64_t ms) const { return m_builder.Observe(FromUnixMs(ms)); }

private:
    WeatherDerivation m_derivation;
    ObservationBuilder m_builder;
    int64_t m_nextMinuteMs;
};

}  // namespace tavrolin
