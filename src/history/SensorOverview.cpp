// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/SensorOverview.h"

#include <algorithm>
#include <cstdio>

#include "decode/ReadingJson.h"
#include "decode/ReadingText.h"
#include "weather/WeatherValues.h"

namespace tavrolin {

namespace {

// "6,2 °C", "1021,3 hPa", "12 Schritte".
std::string Amount(const Decimal& amount, std::string_view unit) {
    std::string text;
    AppendFixed(amount.raw, amount.decimals, text);
    std::replace(text.begin(), text.end(), '.', ',');
    return text + " " + std::string(unit);
}

bool SameDay(const LocalTime& a, const LocalTime& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day;
}

}  // namespace

void SensorOverview::Accept(const Reading& reading) {
    if (const std::optional<RainAmounts> amounts = m_rain.Count(reading)) {
        m_rainSoFar[reading.address & 0x07] = {amounts, ToUnixMs(reading.time)};
    }
    if (onReading) {
        onReading(reading);
    }
}

void SensorOverview::Load(std::span<const SensorSummary> sensors) {
    for (const SensorSummary& s : sensors) {
        m_archiveFirstMs[static_cast<std::size_t>(IndexOf(s.key))] = s.firstSeenMs;
        const SensorTracker::Entry& live = m_tracker.At(s.key);
        if (live.heard && live.lastSeenMs > s.lastSeenMs) {
            continue;
        }
        // The archive holds the readings this window wrote too: its account is the fuller.
        m_tracker.Forget(s.key);
        for (std::size_t i = 0; i + 1 < s.recentMs.size(); ++i) {
            m_tracker.NoteSeen(s.key, s.recentMs[i]);
        }
        // With what its values give, as the receiving programs derive them; a rain sensor's
        // rain comes from LoadRain.
        Reading last = s.last;
        if (last.kind != SensorKind::Rain) {
            RainTally unused;
            last.weather = DeriveWeatherValues(last, unused, m_station);
        }
        m_tracker.Note(last);
    }
}

void SensorOverview::LoadRain(std::span<const RainResume> resumes) {
    for (const RainResume& resume : resumes) {
        if (resume.readings.empty()) {
            continue;
        }
        RainSoFar& rain = m_rainSoFar[resume.address & 0x07];
        rain = {ResumeRainTally(resume, m_rain), ToUnixMs(resume.readings.back().time)};
        // Heard since the archive's last reading: its steps count from that one.
        const SensorTracker::Entry& live = m_tracker.At({SensorKind::Rain, resume.address, false});
        if (live.heard && live.lastSeenMs > rain.timeMs) {
            rain = {m_rain.Count(live.last), live.lastSeenMs};
        }
    }
}

std::string WeatherText(const Reading& reading, const std::optional<RainAmounts>& rain,
                        const std::optional<LocalTime>& now) {
    std::string text;
    for (const WeatherValue& value : reading.weather.Values()) {
        const WeatherQuantityInfo& info = InfoOf(value.quantity);
        if (value.quantity == WeatherQuantity::DewPoint ||
            value.quantity == WeatherQuantity::SeaLevelPressure) {
            text += ", " + std::string(info.label) + " " + Amount(value.amount, info.unit);
        }
    }
    if (!reading.weather.compass.empty()) {
        text += ", " + std::string(kWindCompassLabel) + " " + std::string(reading.weather.compass);
    }
    if (rain) {
        const LocalTime& day = reading.time;
        char date[16];
        std::snprintf(date, sizeof date, "%02d.%02d.%04d", day.day % 100, day.month % 100,
                      day.year % 10000);
        text +=
            now && SameDay(day, *now) ? ", Regen heute " : ", Regen am " + std::string(date) + " ";
        text += rain->todayMm ? Amount(*rain->todayMm, "mm")
                              : Amount({rain->todaySteps, 0}, "Schritte");
    }
    return text;
}

bool SensorOverview::Check(int64_t nowMs) {
    m_nowMs = nowMs;
    bool changed = false;
    m_overdue.Update(m_tracker, nowMs, [&changed](const SensorKey&, bool) { changed = true; });
    return changed;
}

std::vector<OverviewRow> SensorOverview::Rows() const {
    std::vector<OverviewRow> rows;
    for (int i = 0; i < kSensorCount; ++i) {
        const SensorKey key = SensorAt(i);
        const SensorTracker::Entry& e = m_tracker.At(key);
        if (!e.heard) {
            continue;
        }
        OverviewRow row;
        row.key = key;
        row.id = SensorIdOf(key);
        row.name = m_names.NameOf(key);
        // A rain sensor's rain of the day of its last reading, as counted up to that one.
        const RainSoFar* rain =
            key.kind == SensorKind::Rain ? &m_rainSoFar[key.address & 0x07] : nullptr;
        const bool rainOfLast = rain != nullptr && rain->timeMs == e.lastSeenMs;
        row.values = ValuesText(e.last, ',') +
                     WeatherText(e.last, rainOfLast ? rain->amounts : std::nullopt,
                                 FromUnixMs(m_nowMs, e.last.time.utcOffsetSeconds));
        row.lastSeen = DateTimeText(e.last.time);
        const std::optional<int64_t> period = m_tracker.LearnedPeriodMs(key);
        row.period = period ? DurationText(*period) : "-";
        if (e.last.valueCount > 0) {
            row.firstValue = e.last.values[0].Value();
        }
        row.lastSeenMs = e.lastSeenMs;
        row.periodMs = period;
        row.overdue = m_overdue.Overdue(key);
        if (row.overdue) {
            row.state = kOverdueText;
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<SensorKey> SensorOverview::ChartableSensors() const {
    std::vector<SensorKey> keys;
    for (int i = 0; i < kSensorCount; ++i) {
        const SensorKey key = SensorAt(i);
        if (m_tracker.Heard(key) && !QuantitiesOf(key.kind).empty()) {
            keys.push_back(key);
        }
    }
    return keys;
}

std::optional<int64_t> SensorOverview::FirstSeenMs(const SensorKey& key) const {
    const SensorTracker::Entry& e = m_tracker.At(key);
    const int64_t archived = m_archiveFirstMs[static_cast<std::size_t>(IndexOf(key))];
    if (archived != 0 && (!e.heard || archived < e.firstSeenMs)) {
        return archived;
    }
    if (e.heard) {
        return e.firstSeenMs;
    }
    return std::nullopt;
}

std::optional<int64_t> SensorOverview::LastSeenMs(const SensorKey& key) const {
    const SensorTracker::Entry& e = m_tracker.At(key);
    return e.heard ? std::optional<int64_t>(e.lastSeenMs) : std::nullopt;
}

}  // namespace tavrolin
