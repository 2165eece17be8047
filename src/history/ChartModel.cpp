// SPDX-License-Identifier: GPL-3.0-or-later
// What the chart draws: the range chosen, the archive's answer, the readings as they come
// (into a line's points or the rain's bars) and the lines made of them. What the chart writes
// (the lines' names and axes, the summary, the title, the readout) is in ChartText.cpp.
#include "history/ChartModel.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "weather/RainTally.h"
#include "weather/WeatherFormulas.h"

namespace tavrolin {

namespace {

Milliseconds LengthOf(ChartRange range) {
    switch (range) {
        case ChartRange::Day:
            return Milliseconds(kMsPerDay);
        case ChartRange::Week:
            return Milliseconds(7 * kMsPerDay);
        case ChartRange::Month:
            return Milliseconds(30 * kMsPerDay);
        case ChartRange::Year:
            return Milliseconds(365 * kMsPerDay);
        case ChartRange::All:
        case ChartRange::Chosen:
            break;
    }
    return Milliseconds(0);
}

}  // namespace

bool IsLive(ChartRange range) {
    return range == ChartRange::Day || range == ChartRange::Week || range == ChartRange::Month;
}

void ChartModel::Choose(const SensorKey& sensor, ChartRange range, Instant now,
                        std::optional<Instant> firstSeen, std::optional<Instant> lastSeen) {
    m_to = now + Milliseconds(1);
    const Milliseconds length = LengthOf(range);
    if (length.count() > 0) {
        m_from = m_to - length;
    } else {
        m_from = std::min(firstSeen.value_or(now - Milliseconds(kMsPerDay)),
                          now - Milliseconds(kMsPerHour));
    }
    Prepare(sensor, range, lastSeen);
}

void ChartModel::ChooseSpan(const SensorKey& sensor, Instant from, Instant to,
                            std::optional<Instant> lastSeen) {
    m_from = from;
    m_to = std::max(to, from + Milliseconds(kMsPerMinute));
    Prepare(sensor, ChartRange::Chosen, lastSeen);
}

void ChartModel::Prepare(const SensorKey& sensor, ChartRange range,
                         std::optional<Instant> lastSeen) {
    m_sensor = sensor;
    m_range = range;
    m_lastSeen = lastSeen;
    m_series = {};
    m_series.quantities = QuantitiesOf(sensor.kind);
    if (ShowsRain()) {
        // Whole bars: hours of UTC as the summaries keep them, days of local time.
        const int64_t bucket = RainBucketMs();
        m_from = BucketStart(*m_zone, m_from, bucket);
        m_series.bucketMs = bucket;
    }
}

int64_t ChartModel::RainBucketMs() const {
    return m_to - m_from <= Milliseconds(kLongestHourlyRainMs) ? kMsPerHour : kMsPerDay;
}

Instant ChartModel::EndOf(const SeriesPoint& point) const {
    return m_series.bucketMs > 0 ? BucketEnd(*m_zone, point.time, m_series.bucketMs) : point.time;
}

double ChartModel::RainAmount(int64_t steps) const {
    if (const std::optional<Decimal>& perStep = m_weather.rain.mmPerStep[m_sensor.address & 0x07]) {
        return static_cast<double>(steps * perStep->raw) / std::pow(10.0, perStep->decimals);
    }
    return static_cast<double>(steps);
}

SeriesRequest ChartModel::Request() const {
    // A year in days, with each day's lowest and highest around its mean: finer buckets
    // would only draw the days' swing as a solid block. The recent ranges show the
    // readings, or buckets fine enough for the course of each day.
    const bool recent = IsLive(m_range) || m_to - m_from <= Milliseconds(31 * kMsPerDay);
    const int maxPoints = recent ? kMaxPoints : kMaxLongPoints;
    return {m_sensor, m_from, m_to, maxPoints, m_zone};
}

void ChartModel::SetSeries(Series series) {
    m_series = std::move(series);
}

bool ChartModel::Add(const Reading& reading) {
    // A range that ends now grows with it; a span of the past takes what lies in it (what
    // the archive had not committed yet when it was filled).
    if (!(reading.Key() == m_sensor) || (!IsLive(m_range) && reading.time >= m_to)) {
        return false;
    }
    if (ShowsRain()) {
        return AddRain(reading);
    }
    const Instant t = reading.time;
    std::vector<SeriesPoint>& points = m_series.points;
    if (t < m_from || (!points.empty() && t <= points.back().time && m_series.bucketMs == 0)) {
        return false;
    }
    SeriesPoint p;
    p.count = 1;
    for (std::size_t i = 0; i < reading.valueCount && i < p.avg.size(); ++i) {
        p.min[i] = p.avg[i] = p.max[i] = reading.values[i].Value();
    }
    DeriveFromReading(m_sensor.kind, p);
    p.time = t;
    if (const int64_t bucket = m_series.bucketMs; bucket > 0) {
        p.time = BucketStart(*m_zone, t, bucket);
        SeriesPoint* into = nullptr;
        if (!points.empty() && points.back().time == p.time) {
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
        } else if (points.empty() || p.time > points.back().time) {
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
    if (t >= m_to) {
        const Milliseconds length = m_to - m_from;
        m_to = t + Milliseconds(1);
        m_from = m_to - length;
    }
    return true;
}

bool ChartModel::AddRain(const Reading& reading) {
    const std::optional<Measurement> counter = reading.Find(Quantity::RainCounter);
    const Instant t = reading.time;
    std::vector<SeriesPoint>& points = m_series.points;
    if (!counter || t < m_from) {
        return false;
    }
    const int64_t bucket = RainBucketMs();
    const Instant start = BucketStart(*m_zone, t, bucket);
    if (!points.empty() && start < points.back().time) {
        return false;  // a reading older than the newest bar: the archive has it
    }
    if (points.empty() || start > points.back().time) {
        SeriesPoint p;
        p.time = start;
        points.push_back(p);
    }
    // Its steps from the last reading known, the archive's or one that came before it.
    SeriesPoint& bar = points.back();
    ++bar.count;
    if (m_series.lastCounter) {
        bar.rainSteps += RainStepsBetween(*m_series.lastCounter, counter->raw);
    }
    m_series.lastCounter = counter->raw;
    if (t >= m_to) {
        // The range moves on with the time of the reading, by whole bars; the sum in the
        // header is that of the bars shown.
        m_to = t + Milliseconds(1);
        m_from = BucketStart(*m_zone, m_to - LengthOf(m_range), bucket);
        std::erase_if(points, [this](const SeriesPoint& p) { return p.time < m_from; });
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
        if (m_series.quantities[q] == Quantity::Pressure && m_weather.station.altitudeMetres) {
            plotted.push_back({q, false, false, true});
        }
    }
    return plotted;
}

std::array<double, 3> ChartModel::ValuesOf(const Plotted& plotted, const SeriesPoint& p) const {
    if (plotted.rain) {
        const double amount = RainAmount(p.rainSteps);
        return {amount, amount, amount};
    }
    if (plotted.scaled) {
        return {p.scaledMin, p.scaledAvg, p.scaledMax};
    }
    std::array<double, 3> values{p.min[plotted.slot], p.avg[plotted.slot], p.max[plotted.slot]};
    if (plotted.seaLevel) {
        const double factor = SeaLevelFactor(*m_weather.station.altitudeMetres);
        for (double& v : values) {
            v *= factor;
        }
    }
    return values;
}

int64_t ChartModel::UsualGapMs() const {
    const std::vector<SeriesPoint>& points = m_series.points;
    if (m_series.bucketMs > 0 || points.size() < 2) {
        return m_series.bucketMs;
    }
    std::vector<int64_t> gaps;
    gaps.reserve(points.size() - 1);
    for (std::size_t i = 1; i < points.size(); ++i) {
        gaps.push_back(UnixMs(points[i].time) - UnixMs(points[i - 1].time));
    }
    std::nth_element(gaps.begin(), gaps.begin() + static_cast<std::ptrdiff_t>(gaps.size() / 2),
                     gaps.end());
    return gaps[gaps.size() / 2];
}

std::vector<ChartLine> ChartModel::Lines() const {
    const std::vector<SeriesPoint>& points = m_series.points;
    // A gap far longer than the usual distance of two points is a silence: the line breaks.
    const int64_t breakAfter = 3 * std::max<int64_t>(UsualGapMs(), 1000);
    const double half = static_cast<double>(m_series.bucketMs) / 2.0;
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

    std::vector<ChartLine> lines;
    for (const Plotted& plotted : PlottedLines()) {
        ChartLine line = Describe(plotted);
        line.keys.reserve(points.size() + 8);
        line.avg.reserve(points.size() + 8);
        line.min.reserve(points.size() + 8);
        line.max.reserve(points.size() + 8);
        double lowest = INFINITY, highest = 0;  // of the positive values
        for (std::size_t i = 0; i < points.size(); ++i) {
            const SeriesPoint& p = points[i];
            const double key = (static_cast<double>(UnixMs(p.time)) + half) / 1000.0;
            // Bars stand apart by themselves: no breaks.
            if (!plotted.rain && i > 0 &&
                UnixMs(p.time) - UnixMs(points[i - 1].time) > breakAfter) {
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
            const auto [low, mean, high] = ValuesOf(plotted, p);
            line.min.push_back(low);
            line.avg.push_back(mean);
            line.max.push_back(high);
            if (low > 0) {
                lowest = std::min(lowest, low);
            }
            highest = std::max(highest, high);
        }
        // Light spans decades between dusk and noon: on a linear axis all but the brightest
        // hours would lie flat on the floor.
        if (plotted.scaled && highest >= 100 * lowest) {
            line.scale = ChartLine::Scale::Logarithmic;
        }
        if (line.scale == ChartLine::Scale::Compass) {
            CentreCompass(line);
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

void ChartModel::CentreCompass(ChartLine& line) const {
    // Where the wind of the whole range blew from, to the nearest compass point.
    WindVector sum;
    for (const SeriesPoint& p : m_series.points) {
        sum.east += p.wind.east;
        sum.north += p.wind.north;
    }
    const double prevailing = MeanDirection(sum);
    line.compassCentre =
        std::isnan(prevailing) ? 180 : std::fmod(std::round(prevailing / 90), 4) * 90;
    const double lowest = line.compassCentre - 180;
    for (double& v : line.avg) {
        if (!std::isnan(v)) {
            v = lowest + std::fmod(std::fmod(v - lowest, 360) + 360, 360);
        }
    }
    // A reading's direction alone has no spread: its minimum and maximum go with it.
    for (std::size_t i = 0; i < line.avg.size(); ++i) {
        if (!std::isnan(line.min[i])) {
            line.min[i] = line.max[i] = line.avg[i];
        }
    }
}

std::optional<std::size_t> ChartModel::PointAt(double keySeconds) const {
    const std::vector<SeriesPoint>& points = m_series.points;
    if (points.empty()) {
        return std::nullopt;
    }
    const auto t = FromUnixMs(static_cast<int64_t>(std::llround(keySeconds * 1000.0)));
    // The first point after t, and the one before it.
    const auto after =
        std::upper_bound(points.begin(), points.end(), t,
                         [](Instant at, const SeriesPoint& p) { return at < p.time; });
    if (m_series.bucketMs > 0) {
        if (after == points.begin()) {
            return std::nullopt;
        }
        const auto holding = std::prev(after);
        if (t < EndOf(*holding)) {
            return static_cast<std::size_t>(holding - points.begin());
        }
        return std::nullopt;
    }
    std::size_t nearest = static_cast<std::size_t>(after - points.begin());
    if (after == points.end() ||
        (after != points.begin() && t - std::prev(after)->time < after->time - t)) {
        --nearest;
    }
    const Milliseconds distance =
        t > points[nearest].time ? t - points[nearest].time : points[nearest].time - t;
    if (distance > Milliseconds(std::max<int64_t>(UsualGapMs(), 1000))) {
        return std::nullopt;
    }
    return nearest;
}

ValueAxis ChartLine::Axis() const {
    switch (scale) {
        case Scale::Compass:
            return {compassCentre - 180, compassCentre + 180};
        case Scale::Logarithmic: {
            double low = INFINITY, high = 0;
            for (std::size_t i = 0; i < keys.size(); ++i) {
                if (min[i] > 0) {
                    low = std::min(low, min[i]);
                }
                if (max[i] > 0) {
                    high = std::max(high, max[i]);
                }
            }
            if (!std::isfinite(low)) {
                return {1, 10};
            }
            return {std::pow(10.0, std::floor(std::log10(low))),
                    std::pow(10.0, std::ceil(std::log10(high * 1.0001)))};
        }
        case Scale::Linear:
        case Scale::Bars:
            break;
    }
    double low = INFINITY, high = -INFINITY;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (!std::isnan(min[i])) {
            low = std::min(low, min[i]);
            high = std::max(high, max[i]);
        }
        if (i < beside.size() && !std::isnan(beside[i])) {
            low = std::min(low, beside[i]);
            high = std::max(high, beside[i]);
        }
    }
    if (!std::isfinite(low)) {
        return {0, 1};
    }
    const double room = std::max((high - low) * 0.08, 0.5);
    if (scale == Scale::Bars) {
        // From 0 up, to the highest bar and a little more; 1 where nothing fell.
        return {0, std::max(high + room, 1.0)};
    }
    return {low - room, high + room};
}

std::vector<AxisTick> ChartLine::CompassTicks() const {
    if (scale != Scale::Compass) {
        return {};
    }
    constexpr const char* kPoints[] = {"N", "O", "S", "W"};
    std::vector<AxisTick> ticks;
    for (double at = compassCentre - 180; at <= compassCentre + 180; at += 90) {
        const int point = static_cast<int>(std::lround(std::fmod(at + 720, 360) / 90)) % 4;
        ticks.push_back({at, kPoints[point]});
    }
    return ticks;
}

std::optional<double> ChartLine::Floor() const {
    if (scale != Scale::Logarithmic) {
        return std::nullopt;
    }
    return Axis().lower;
}

}  // namespace tavrolin
