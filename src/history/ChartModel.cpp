// SPDX-License-Identifier: GPL-3.0-or-later
// What the chart draws: the range chosen, the archive's answer, the readings as they come
// (into a line's points or the rain's bars) and the lines made of them. What the chart writes
// (the lines' names and axes, the summary, the title, the readout) is in ChartText.cpp.
#include "history/ChartModel.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "weather/RainTally.h"

namespace tavrolin {

namespace {

int64_t LengthOf(ChartRange range) {
    switch (range) {
        case ChartRange::Day:
            return kMsPerDay;
        case ChartRange::Week:
            return 7 * kMsPerDay;
        case ChartRange::Month:
            return 30 * kMsPerDay;
        case ChartRange::Year:
            return 365 * kMsPerDay;
        case ChartRange::All:
            break;
    }
    return 0;
}

// The start of the bucket that holds t: buckets lie end to end from 1970-01-01 00:00 on a
// clock shift milliseconds ahead of UTC (local time with the zone's offset, UTC with 0).
int64_t BucketStart(int64_t t, int64_t bucket, int64_t shift) {
    return FloorDiv(t + shift, bucket) * bucket - shift;
}

}  // namespace

bool IsLive(ChartRange range) {
    return range == ChartRange::Day || range == ChartRange::Week || range == ChartRange::Month;
}

void ChartModel::Choose(const SensorKey& sensor, ChartRange range, int64_t nowMs,
                        std::optional<int64_t> firstSeenMs, std::optional<int64_t> lastSeenMs) {
    m_sensor = sensor;
    m_range = range;
    m_lastSeenMs = lastSeenMs;
    m_toMs = nowMs + 1;
    const int64_t length = LengthOf(range);
    if (length > 0) {
        m_fromMs = m_toMs - length;
    } else {
        m_fromMs = std::min(firstSeenMs.value_or(nowMs - kMsPerDay), nowMs - kMsPerHour);
    }
    m_series = {};
    m_series.quantities = QuantitiesOf(sensor.kind);
    if (ShowsRain()) {
        // Whole bars: hours of UTC as the summaries keep them, days of local time.
        const int64_t bucket = RainBucketMs();
        const int64_t shift = bucket >= kMsPerDay ? int64_t{m_offsetAt(m_fromMs)} * 1000 : 0;
        m_fromMs = BucketStart(m_fromMs, bucket, shift);
        m_series.bucketMs = bucket;
    }
}

int64_t ChartModel::RainBucketMs() const {
    return m_range == ChartRange::Day || m_range == ChartRange::Week ? kMsPerHour : kMsPerDay;
}

double ChartModel::RainAmount(int64_t steps) const {
    if (const std::optional<Decimal>& perStep = m_rain.mmPerStep[m_sensor.address & 0x07]) {
        return static_cast<double>(steps * perStep->raw) / std::pow(10.0, perStep->decimals);
    }
    return static_cast<double>(steps);
}

SeriesRequest ChartModel::Request() const {
    // A year in days, with each day's lowest and highest around its mean: finer buckets
    // would only draw the days' swing as a solid block. The recent ranges show the
    // readings, or buckets fine enough for the course of each day.
    const int maxPoints = IsLive(m_range) ? kMaxPoints : kMaxLongPoints;
    return {m_sensor, m_fromMs, m_toMs, maxPoints, m_offsetAt(m_toMs)};
}

void ChartModel::SetSeries(Series series) {
    m_series = std::move(series);
}

bool ChartModel::Add(const Reading& reading) {
    if (!IsLive(m_range) || !(reading.Key() == m_sensor)) {
        return false;
    }
    if (ShowsRain()) {
        return AddRain(reading);
    }
    const int64_t t = ToUnixMs(reading.time);
    std::vector<SeriesPoint>& points = m_series.points;
    if (t < m_fromMs || (!points.empty() && t <= points.back().timeMs && m_series.bucketMs == 0)) {
        return false;
    }
    SeriesPoint p;
    p.count = 1;
    for (std::size_t i = 0; i < reading.valueCount && i < p.avg.size(); ++i) {
        p.min[i] = p.avg[i] = p.max[i] = reading.values[i].Value();
    }
    DeriveFromReading(m_sensor.kind, p);
    p.timeMs = t;
    if (const int64_t bucket = m_series.bucketMs; bucket > 0) {
        const int64_t shift = int64_t{m_offsetAt(t)} * 1000;
        p.timeMs = BucketStart(t, bucket, shift);
        SeriesPoint* into = nullptr;
        if (!points.empty() && points.back().timeMs == p.timeMs) {
            SeriesPoint& last = points.back();
            const double n = static_cast<double>(last.count);
            for (std::size_t i = 0; i < p.avg.size(); ++i) {
                last.min[i] = std::min(last.min[i], p.min[i]);
                last.max[i] = std::max(last.max[i], p.max[i]);
                last.avg[i] = (last.avg[i] * n + p.avg[i]) / (n + 1);
            }
            last.scaledMin = std::min(last.scaledMin, p.scaledMin);
            last.scaledMax = std::max(last.scaledMax, p.scaledMax);
            last.scaledAvg = (last.scaledAvg * n + p.scaledAvg) / (n + 1);
            last.wind.east += p.wind.east;
            last.wind.north += p.wind.north;
            ++last.count;
            DeriveDewPoint(m_sensor.kind, last);
            into = &last;
        } else if (points.empty() || p.timeMs > points.back().timeMs) {
            points.push_back(p);
            into = &points.back();
        } else {
            return false;  // a reading older than the newest bucket: the archive has it
        }
        if (m_sensor.kind == SensorKind::Wind) {
            // As the archive gives a bucket's direction: the mean of its winds.
            into->avg[1] = MeanDirection(into->wind);
            into->min[1] = into->max[1] = std::numeric_limits<double>::quiet_NaN();
        }
    } else {
        points.push_back(p);
    }
    // The range moves on with the time of the reading.
    if (t >= m_toMs) {
        const int64_t length = m_toMs - m_fromMs;
        m_toMs = t + 1;
        m_fromMs = m_toMs - length;
    }
    return true;
}

bool ChartModel::AddRain(const Reading& reading) {
    const std::optional<Measurement> counter = reading.Find(Quantity::RainCounter);
    const int64_t t = ToUnixMs(reading.time);
    std::vector<SeriesPoint>& points = m_series.points;
    if (!counter || t < m_fromMs) {
        return false;
    }
    const int64_t bucket = RainBucketMs();
    const int64_t shift = bucket >= kMsPerDay ? int64_t{m_offsetAt(t)} * 1000 : 0;
    const int64_t start = BucketStart(t, bucket, shift);
    if (!points.empty() && start < points.back().timeMs) {
        return false;  // a reading older than the newest bar: the archive has it
    }
    if (points.empty() || start > points.back().timeMs) {
        SeriesPoint p;
        p.timeMs = start;
        points.push_back(p);
    }
    // Its steps from the last reading known, the archive's or one that came before it.
    SeriesPoint& bar = points.back();
    ++bar.count;
    if (m_series.lastCounter) {
        bar.rainSteps += RainStepsBetween(*m_series.lastCounter, counter->raw);
    }
    m_series.lastCounter = counter->raw;
    if (t >= m_toMs) {
        // The range moves on with the time of the reading, by whole bars; the sum in the
        // header is that of the bars shown.
        m_toMs = t + 1;
        m_fromMs = BucketStart(m_toMs - LengthOf(m_range), bucket, shift);
        std::erase_if(points, [this](const SeriesPoint& p) { return p.timeMs < m_fromMs; });
    }
    return true;
}

std::vector<ChartModel::Plotted> ChartModel::PlottedLines() const {
    if (m_sensor.kind == SensorKind::Brightness || m_sensor.kind == SensorKind::Pyranometer) {
        return {{0, true}};
    }
    if (ShowsRain()) {
        return {{0, false, true}};
    }
    std::vector<Plotted> plotted;
    for (std::size_t q = 0; q < m_series.quantities.size() && q < 3; ++q) {
        plotted.push_back({q, false});
    }
    return plotted;
}

std::vector<ChartLine> ChartModel::Lines() const {
    const std::vector<SeriesPoint>& points = m_series.points;
    // A gap far longer than the usual distance of two points is a silence: the line breaks.
    int64_t usual = m_series.bucketMs;
    if (usual == 0 && points.size() > 1) {
        std::vector<int64_t> gaps;
        gaps.reserve(points.size() - 1);
        for (std::size_t i = 1; i < points.size(); ++i) {
            gaps.push_back(points[i].timeMs - points[i - 1].timeMs);
        }
        std::nth_element(gaps.begin(), gaps.begin() + static_cast<std::ptrdiff_t>(gaps.size() / 2),
                         gaps.end());
        usual = gaps[gaps.size() / 2];
    }
    const int64_t breakAfter = 3 * std::max<int64_t>(usual, 1000);
    const double half = static_cast<double>(m_series.bucketMs) / 2.0;
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

    std::vector<ChartLine> lines;
    for (const Plotted& plotted : PlottedLines()) {
        ChartLine line = Describe(plotted);
        if (plotted.rain) {
            // Bars stand apart by themselves: no breaks.
            for (const SeriesPoint& p : points) {
                line.keys.push_back((static_cast<double>(p.timeMs) + half) / 1000.0);
                const double amount = RainAmount(p.rainSteps);
                line.avg.push_back(amount);
                line.min.push_back(amount);
                line.max.push_back(amount);
            }
            lines.push_back(std::move(line));
            continue;
        }
        line.keys.reserve(points.size() + 8);
        line.avg.reserve(points.size() + 8);
        line.min.reserve(points.size() + 8);
        line.max.reserve(points.size() + 8);
        double lowest = INFINITY, highest = 0;  // of the positive values
        for (std::size_t i = 0; i < points.size(); ++i) {
            const SeriesPoint& p = points[i];
            const double key = (static_cast<double>(p.timeMs) + half) / 1000.0;
            if (i > 0 && p.timeMs - points[i - 1].timeMs > breakAfter) {
                line.keys.push_back(key - half / 1000.0 - 0.001);
                line.avg.push_back(kNaN);
                line.min.push_back(kNaN);
                line.max.push_back(kNaN);
                if (!line.besideName.empty()) {
                    line.beside.push_back(kNaN);
                }
            }
            line.keys.push_back(key);
            if (!line.besideName.empty()) {
                line.beside.push_back(p.dewPoint);
            }
            if (plotted.scaled) {
                line.avg.push_back(p.scaledAvg);
                line.min.push_back(p.scaledMin);
                line.max.push_back(p.scaledMax);
                if (p.scaledMin > 0) {
                    lowest = std::min(lowest, p.scaledMin);
                }
                highest = std::max(highest, p.scaledMax);
            } else {
                line.avg.push_back(p.avg[plotted.slot]);
                line.min.push_back(p.min[plotted.slot]);
                line.max.push_back(p.max[plotted.slot]);
            }
        }
        // Light spans decades between dusk and noon: on a linear axis all but the brightest
        // hours would lie flat on the floor.
        if (plotted.scaled && highest >= 100 * lowest) {
            line.scale = ChartLine::Scale::Logarithmic;
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

std::optional<std::size_t> ChartModel::Nearest(double keySeconds) const {
    const std::vector<SeriesPoint>& points = m_series.points;
    if (points.empty()) {
        return std::nullopt;
    }
    const double half = static_cast<double>(m_series.bucketMs) / 2.0;
    const double ms = keySeconds * 1000.0 - half;
    const auto it = std::lower_bound(
        points.begin(), points.end(), ms,
        [](const SeriesPoint& p, double t) { return static_cast<double>(p.timeMs) < t; });
    std::size_t i = static_cast<std::size_t>(it - points.begin());
    if (i == points.size() || (i > 0 && ms - static_cast<double>(points[i - 1].timeMs) <
                                            static_cast<double>(points[i].timeMs) - ms)) {
        --i;
    }
    return i;
}

}  // namespace tavrolin
