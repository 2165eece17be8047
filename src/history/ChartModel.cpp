// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/ChartModel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "decode/ReadingText.h"
#include "weather/RainTally.h"

namespace tavrolin {

namespace {

constexpr int64_t kMsPerHour = 3600000;
constexpr int64_t kMsPerMinute = 60000;

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

int64_t FloorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

std::string Counted(int64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

constexpr const char* kWeekdays[] = {"Do", "Fr", "Sa", "So",
                                     "Mo", "Di", "Mi"};  // 1970-01-01 a Thursday

struct PointClock {
    LocalTime time;
    const char* weekday;
};

PointClock ClockAt(int64_t utcMs, int offsetSeconds) {
    const int64_t day = FloorDiv(utcMs + int64_t{offsetSeconds} * 1000, kMsPerDay);
    return {FromUnixMs(utcMs, offsetSeconds),
            kWeekdays[static_cast<std::size_t>(((day % 7) + 7) % 7)]};
}

// "07.12.2026".
std::string DateText(const LocalTime& t) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d.%02d.%04d", t.day % 100, t.month % 100, t.year % 10000);
    return text;
}

// "14:03".
std::string MinuteText(const LocalTime& t) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d:%02d", t.hour % 100, t.minute % 100);
    return text;
}

// When a point was: a reading "Mo 07.12.2026 14:03"; a bucket "Mo 07.12.2026 12:00–18:00",
// a day "Mo 07.12.2026", longer ones "07.12.2026 – 20.12.2026".
std::string PointTime(int64_t utcMs, int64_t bucketMs, const ChartModel::OffsetAt& offsetAt) {
    const PointClock start = ClockAt(utcMs, offsetAt(utcMs));
    std::string text = std::string(start.weekday) + " " + DateText(start.time);
    if (bucketMs > kMsPerDay) {
        const int64_t last = utcMs + bucketMs - kMsPerDay;
        return DateText(start.time) + " – " + DateText(ClockAt(last, offsetAt(last)).time);
    }
    if (bucketMs == kMsPerDay) {
        return text;
    }
    text += " " + MinuteText(start.time);
    if (bucketMs > 0) {
        const int64_t end = utcMs + bucketMs;
        text += "–" + MinuteText(ClockAt(end, offsetAt(end)).time);
    }
    return text;
}

// The name a chart gives a quantity. The wind sensor's third number is what the received
// list shows after its "B", a digit the decoding gives no meaning or unit to: so it is
// named as what it is, not as what it might stand for.
std::string_view ChartName(Quantity quantity) {
    return quantity == Quantity::WindB ? "B-Ziffer" : InfoOf(quantity).label;
}

// A mean has one decimal more than its values at most: a mean humidity of 55,6 %, but a
// mean temperature of 12,3 °C, as exact as its readings.
int MeanDecimals(int decimals) {
    return std::max(decimals, 1);
}

std::string RangeSlug(ChartRange range) {
    switch (range) {
        case ChartRange::Day:
            return "24-stunden";
        case ChartRange::Week:
            return "7-tage";
        case ChartRange::Month:
            return "30-tage";
        case ChartRange::Year:
            return "1-jahr";
        case ChartRange::All:
            break;
    }
    return "gesamtes-archiv";
}

}  // namespace

std::string_view RangeLabel(ChartRange range) {
    switch (range) {
        case ChartRange::Day:
            return "24 Stunden";
        case ChartRange::Week:
            return "7 Tage";
        case ChartRange::Month:
            return "30 Tage";
        case ChartRange::Year:
            return "1 Jahr";
        case ChartRange::All:
            break;
    }
    return "Gesamtes Archiv";
}

bool IsLive(ChartRange range) {
    return range == ChartRange::Day || range == ChartRange::Week || range == ChartRange::Month;
}

std::string AxisLabel(Quantity quantity) {
    const QuantityInfo& info = InfoOf(quantity);
    std::string label(ChartName(quantity));
    if (!info.unit.empty()) {
        // A long name takes its unit to a second line: three plots one above the other
        // leave a vertical axis little more than a hundred pixels.
        label += label.size() > 12 ? "\n(" : " (";
        label += info.unit;
        label += ')';
    }
    return label;
}

std::string TimeTickFormat(int64_t rangeMs) {
    if (rangeMs <= 2 * kMsPerDay) {
        return "HH:mm\ndd.MM.";
    }
    if (rangeMs <= 10 * kMsPerDay) {
        return "ddd\ndd.MM.";
    }
    if (rangeMs <= 92 * kMsPerDay) {
        return "dd.MM.";
    }
    if (rangeMs <= 2 * 366 * kMsPerDay) {
        return "MMM\nyyyy";
    }
    return "yyyy";
}

std::string BucketText(int64_t bucketMs) {
    if (bucketMs % kMsPerDay == 0) {
        return Counted(bucketMs / kMsPerDay, "Tag", "Tage");
    }
    if (bucketMs % kMsPerHour == 0) {
        return Counted(bucketMs / kMsPerHour, "Stunde", "Stunden");
    }
    return Counted(bucketMs / kMsPerMinute, "Minute", "Minuten");
}

double WholeTickStep(double span, int ticks) {
    const double exact = span / std::max(ticks, 1);
    if (!(exact > 1.0)) {
        return 1.0;
    }
    const double power = std::pow(10.0, std::floor(std::log10(exact)));
    const double mantissa = exact / power;
    return (mantissa <= 1.0 ? 1.0 : mantissa <= 2.0 ? 2.0 : mantissa <= 5.0 ? 5.0 : 10.0) * power;
}

std::string GermanNumber(double value, int decimals) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    std::string out(text);
    if (out.front() == '-' && out.find_first_not_of("-0.") == std::string::npos) {
        out.erase(0, 1);  // no "-0,0"
    }
    std::replace(out.begin(), out.end(), '.', ',');
    return out;
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
        m_fromMs = FloorDiv(m_fromMs + shift, bucket) * bucket - shift;
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
        p.timeMs = FloorDiv(t + shift, bucket) * bucket - shift;
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
    const int64_t start = FloorDiv(t + shift, bucket) * bucket - shift;
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
        m_fromMs = FloorDiv(m_toMs - LengthOf(m_range) + shift, bucket) * bucket - shift;
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

ChartLine ChartModel::Describe(const Plotted& plotted) const {
    ChartLine line;
    if (plotted.rain) {
        line.name = "Regen";
        line.scale = ChartLine::Scale::Bars;
        if (const std::optional<Decimal>& perStep = m_rain.mmPerStep[m_sensor.address & 0x07]) {
            line.unit = "mm";
            line.decimals = perStep->decimals;
            line.label = "Regen (mm)";
        } else {
            // Without [Regen] the sensor's own count, which says how often its rocker tipped.
            line.unit = "Schritte";
            line.label = "Regen\n(Zählerschritte)";
        }
        return line;
    }
    if (plotted.scaled) {
        // The factor scales the value: their product is the one number of the light, whose
        // unit the telegram does not say.
        line.name = m_sensor.kind == SensorKind::Brightness ? "Helligkeit" : "Einstrahlung";
        line.label = line.name + "\n(Wert × Faktor)";
        return line;
    }
    const Quantity quantity = m_series.quantities[plotted.slot];
    if (quantity == Quantity::Temperature &&
        (m_sensor.kind == SensorKind::Outdoor || m_sensor.kind == SensorKind::Indoor)) {
        line.besideName = InfoOf(WeatherQuantity::DewPoint).label;
    }
    line.name = ChartName(quantity);
    line.unit = InfoOf(quantity).unit;
    line.decimals = InfoOf(quantity).decimals;
    line.label = AxisLabel(quantity);
    if (quantity == Quantity::WindDirection) {
        line.scale = ChartLine::Scale::Compass;
        line.label = line.name;  // its ticks are the compass points
    }
    return line;
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

std::string ChartModel::EmptyText() const {
    std::string text = "Keine Messungen in diesem Zeitraum";
    if (m_lastSeenMs) {
        const LocalTime last = FromUnixMs(*m_lastSeenMs, m_offsetAt(*m_lastSeenMs));
        text += "; zuletzt empfangen am " + DateText(last) + " um " + MinuteText(last);
    }
    return text;
}

std::string ChartModel::Title(std::string_view name) const {
    std::string text = std::string(name) + " (" + std::string(SensorIdOf(m_sensor)) + ") · ";
    const std::vector<Plotted> plotted = PlottedLines();
    for (std::size_t i = 0; i < plotted.size(); ++i) {
        text += (i > 0 ? ", " : "") + Describe(plotted[i]).name;
    }
    const LocalTime from = FromUnixMs(m_fromMs, m_offsetAt(m_fromMs));
    const LocalTime to = FromUnixMs(m_toMs, m_offsetAt(m_toMs));
    // A day or a week by the minute, longer ranges by the day.
    const bool minutes = m_toMs - m_fromMs <= 7 * kMsPerDay;
    text += " · " + std::string(RangeLabel(m_range)) + ", " + DateText(from) +
            (minutes ? " " + MinuteText(from) : "") + " – " + DateText(to) +
            (minutes ? " " + MinuteText(to) : "");
    return text;
}

std::string ChartModel::FileName() const {
    const LocalTime to = FromUnixMs(m_toMs, m_offsetAt(m_toMs));
    char date[16];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", to.year % 10000, to.month % 100,
                  to.day % 100);
    return "verlauf_" + std::string(SensorIdOf(m_sensor)) + "_" + RangeSlug(m_range) + "_" + date +
           ".png";
}

std::string ChartModel::Summary() const {
    const std::size_t n = m_series.points.size();
    if (n == 0) {
        return "Keine Messungen in diesem Zeitraum";
    }
    if (ShowsRain()) {
        int64_t steps = 0;
        for (const SeriesPoint& p : m_series.points) {
            steps += p.rainSteps;
        }
        const ChartLine line = Describe({0, false, true});
        return "Summe " + GermanNumber(RainAmount(steps), line.decimals) + " " + line.unit +
               (m_series.bucketMs >= kMsPerDay ? ", ein Balken je Tag" : ", ein Balken je Stunde");
    }
    if (m_series.bucketMs == 0) {
        return Counted(static_cast<int64_t>(n), "Messung", "Messungen");
    }
    return Counted(static_cast<int64_t>(n), "Wert", "Werte") + " zu je " +
           BucketText(m_series.bucketMs) + ": Mittel, Minimum und Maximum";
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

std::string ChartModel::Readout(std::size_t point) const {
    if (point >= m_series.points.size()) {
        return {};
    }
    const SeriesPoint& p = m_series.points[point];
    std::string text = PointTime(p.timeMs, m_series.bucketMs, m_offsetAt);
    for (const Plotted& plotted : PlottedLines()) {
        const ChartLine line = Describe(plotted);
        // "12,3 °C", but "260°".
        const std::string unit =
            line.unit.empty() || line.unit == "\u00B0" ? line.unit : " " + line.unit;
        double low = p.min[plotted.slot], mean = p.avg[plotted.slot], high = p.max[plotted.slot];
        if (plotted.scaled) {
            low = p.scaledMin;
            mean = p.scaledAvg;
            high = p.scaledMax;
        } else if (plotted.rain) {
            low = mean = high = RainAmount(p.rainSteps);
        }
        text += " · " + line.name + " ";
        if (m_series.bucketMs == 0 || low == high) {
            text += GermanNumber(mean, line.decimals) + unit;
        } else if (std::isnan(mean)) {
            text += "unbestimmt";  // a calm, or winds that cancel out
        } else {
            text += "Ø " + GermanNumber(mean, MeanDecimals(line.decimals)) + unit;
            if (!std::isnan(low)) {
                text += " (" + GermanNumber(low, line.decimals) + " … " +
                        GermanNumber(high, line.decimals) + ")";
            }
        }
        if (!line.besideName.empty() && !std::isnan(p.dewPoint)) {
            // Of a bucket, that of its mean temperature and humidity.
            text += " · " + line.besideName + (m_series.bucketMs == 0 ? " " : " Ø ") +
                    GermanNumber(p.dewPoint, 1) + unit;
        }
    }
    return text;
}

}  // namespace tavrolin
