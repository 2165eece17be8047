// SPDX-License-Identifier: GPL-3.0-or-later
// What the chart writes, in German: the ranges' names, the axes' labels and ticks, the
// names and units of a chart's lines, and the summary, title, file name and readout of what
// ChartModel.cpp holds.
#include "history/ChartModel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tavrolin {

namespace {

std::string Counted(int64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

constexpr const char* kWeekdays[] = {"Mo", "Di", "Mi", "Do", "Fr", "Sa", "So"};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mär", "Apr", "Mai", "Jun",
                                   "Jul", "Aug", "Sep", "Okt", "Nov", "Dez"};

const char* WeekdayName(const LocalTime& t) {
    return kWeekdays[WeekdayOf(DayNumberOf(t.year, t.month, t.day))];
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

// "07.12.".
std::string DayMonthText(const LocalTime& t) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d.%02d.", t.day % 100, t.month % 100);
    return text;
}

// When a point was: a reading "Mo 07.12.2026 14:03"; a bucket "Mo 07.12.2026 12:00–18:00",
// a day "Mo 07.12.2026", longer ones "07.12.2026 – 20.12.2026" (local days in the zone).
std::string PointTime(Instant start, int64_t bucketMs, const TimeZone& zone) {
    const LocalTime local = LocalTimeIn(zone, start);
    std::string text = std::string(WeekdayName(local)) + " " + DateText(local);
    if (bucketMs > kMsPerDay) {
        const int64_t lastDay = LocalDayIn(zone, start) + bucketMs / kMsPerDay - 1;
        return DateText(local) + " – " +
               DateText(LocalTimeIn(zone, StartOfLocalDay(zone, lastDay)));
    }
    if (bucketMs == kMsPerDay) {
        return text;
    }
    text += " " + MinuteText(local);
    if (bucketMs > 0) {
        text += "–" + MinuteText(LocalTimeIn(zone, BucketEnd(zone, start, bucketMs)));
    }
    return text;
}

// The name a chart gives a quantity. The wind sensor's third number is what the received
// list shows after its "B", a digit the decoding gives no meaning or unit to: so it is
// named as what it is, not as what it might stand for.
std::string_view ChartName(Quantity quantity) {
    return quantity == Quantity::WindB ? "B-Ziffer" : InfoOf(quantity).label;
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
            return "gesamtes-archiv";
        case ChartRange::Chosen:
            break;
    }
    return "zeitraum";
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
            return "Gesamtes Archiv";
        case ChartRange::Chosen:
            break;
    }
    return "Zeitraum";
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

std::vector<AxisTick> TimeTicks(const TimeZone& zone, Instant from, Instant to, int count) {
    std::vector<AxisTick> ticks;
    if (to <= from) {
        return ticks;
    }
    const int64_t span = UnixMs(to) - UnixMs(from);
    const int64_t wanted = std::max(count, 2);
    const auto add = [&](Instant t, std::string label) {
        if (t >= from && t <= to) {
            ticks.push_back({static_cast<double>(UnixMs(t)) / 1000.0, std::move(label)});
        }
    };
    const int64_t firstDay = LocalDayIn(zone, from);
    const int64_t lastDay = LocalDayIn(zone, to);
    if (span <= 2 * kMsPerDay) {
        // Whole hours of the clock, a step of 1, 2, 3, 6 or 12 of them.
        int64_t step = 12;
        for (const int64_t hours : {1, 2, 3, 6, 12}) {
            if (span / (hours * kMsPerHour) <= wanted + 1) {
                step = hours;
                break;
            }
        }
        for (int64_t hour = UtcHourOf(from); hour <= UtcHourOf(to); ++hour) {
            const Instant t = FromUnixMs(hour * kMsPerHour);
            const LocalTime local = LocalTimeIn(zone, t);
            if (local.minute == 0 && local.hour % step == 0) {
                add(t, MinuteText(local) + "\n" + DayMonthText(local));
            }
        }
        return ticks;
    }
    if (span <= 92 * kMsPerDay) {
        // Days, a step of 1, 2 or 7 (Mondays) of them, or of weeks.
        const int64_t days = span / kMsPerDay;
        int64_t step = 28;
        for (const int64_t d : {1, 2, 7, 14}) {
            if (days / d <= wanted) {
                step = d;
                break;
            }
        }
        for (int64_t day = firstDay; day <= lastDay; ++day) {
            const bool on = step < 7 ? (day % step == 0)
                                     : WeekdayOf(day) == 0 && ((day + 3) / 7) % (step / 7) == 0;
            if (on) {
                const LocalTime local = LocalTimeIn(zone, StartOfLocalDay(zone, day));
                add(StartOfLocalDay(zone, day),
                    span <= 10 * kMsPerDay
                        ? std::string(WeekdayName(local)) + "\n" + DayMonthText(local)
                        : DayMonthText(local));
            }
        }
        return ticks;
    }
    // Months, a step of 1, 2, 3 or 6, or years, a step of 1, 2, 5, 10, ...
    const LocalTime first = LocalTimeIn(zone, from);
    const LocalTime last = LocalTimeIn(zone, to);
    const int64_t months = (last.year - first.year) * 12 + (last.month - first.month) + 1;
    if (span <= 2 * 366 * kMsPerDay) {
        int64_t step = 6;
        for (const int64_t m : {1, 2, 3, 6}) {
            if (months / m <= wanted) {
                step = m;
                break;
            }
        }
        for (int64_t m = 0; m <= months; ++m) {
            const int month0 = static_cast<int>((first.month - 1 + m) % 12);
            const int year = static_cast<int>(first.year + (first.month - 1 + m) / 12);
            if (month0 % step == 0) {
                add(StartOfLocalDay(zone, DayNumberOf(year, month0 + 1, 1)),
                    std::string(kMonths[month0]) + "\n" + std::to_string(year));
            }
        }
        return ticks;
    }
    const int64_t years = last.year - first.year + 1;
    int64_t step = 1;
    while (years / step > wanted) {
        step = step == 1 ? 2 : step == 2 ? 5 : step * 2;
    }
    for (int year = first.year; year <= last.year + 1; ++year) {
        if (year % step == 0) {
            add(StartOfLocalDay(zone, DayNumberOf(year, 1, 1)), std::to_string(year));
        }
    }
    return ticks;
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

ChartLine ChartModel::Describe(const Plotted& plotted) const {
    ChartLine line;
    if (plotted.rain) {
        line.name = "Regen";
        line.scale = ChartLine::Scale::Bars;
        if (const std::optional<Decimal>& perStep =
                m_weather.rain.mmPerStep[m_sensor.address & 0x07]) {
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
    if (plotted.seaLevel) {
        const WeatherQuantityInfo& info = InfoOf(WeatherQuantity::SeaLevelPressure);
        line.name = info.label;
        line.unit = info.unit;
        line.decimals = 1;
        line.label = "Meereshöhe (hPa)";  // beside the station's "Luftdruck (hPa)"
        return line;
    }
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

std::string ChartModel::EmptyText() const {
    std::string text = "Keine Messungen in diesem Zeitraum";
    if (m_lastSeen) {
        const LocalTime last = LocalTimeIn(*m_zone, *m_lastSeen);
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
    const LocalTime from = LocalTimeIn(*m_zone, m_from);
    const LocalTime to = LocalTimeIn(*m_zone, m_to);
    // A day or a week by the minute, longer ranges by the day.
    const bool minutes = m_to - m_from <= Milliseconds(7 * kMsPerDay);
    text += " · " + std::string(RangeLabel(m_range)) + ", " + DateText(from) +
            (minutes ? " " + MinuteText(from) : "") + " – " + DateText(to) +
            (minutes ? " " + MinuteText(to) : "");
    return text;
}

std::string ChartModel::FileName() const {
    const LocalTime to = LocalTimeIn(*m_zone, m_to);
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
        // Where the sum begins: the range's first bar.
        const ChartLine line = Describe({0, false, true});
        const LocalTime first = LocalTimeIn(*m_zone, m_from);
        const bool days = m_series.bucketMs >= kMsPerDay;
        return "Summe " + GermanNumber(RainAmount(steps), line.decimals) + " " + line.unit +
               " seit " + DateText(first) + (days ? "" : " " + MinuteText(first)) +
               (days ? ", ein Balken je Tag" : ", ein Balken je Stunde");
    }
    if (m_series.bucketMs == 0) {
        return Counted(static_cast<int64_t>(n), "Messung", "Messungen");
    }
    return Counted(static_cast<int64_t>(n), "Wert", "Werte") + " zu je " +
           BucketText(m_series.bucketMs) + ": Mittel, Minimum und Maximum";
}

std::string ChartModel::Heading() const {
    const LocalTime end = LocalTimeIn(*m_zone, m_to);
    std::string text;
    if (m_range == ChartRange::Chosen) {
        const LocalTime begin = LocalTimeIn(*m_zone, m_from);
        text = DateText(begin) + " " + MinuteText(begin) + " – ";
    } else {
        text = std::string(RangeLabel(m_range)) + " bis ";
    }
    return text + DateText(end) + " " + MinuteText(end) + " · " + Summary();
}

std::string ChartModel::ReadoutAt(double keySeconds) const {
    if (const std::optional<std::size_t> point = PointAt(keySeconds)) {
        return Readout(*point);
    }
    // Nothing there: the time of the pointer, or the bucket it would fall into.
    const Instant t = FromUnixMs(static_cast<int64_t>(std::llround(keySeconds * 1000.0)));
    if (m_series.bucketMs == 0) {
        return PointTime(t, 0, *m_zone) + " · keine Messung";
    }
    return PointTime(BucketStart(*m_zone, t, m_series.bucketMs), m_series.bucketMs, *m_zone) +
           " · keine Messungen";
}

std::string ChartModel::Readout(std::size_t point) const {
    if (point >= m_series.points.size()) {
        return {};
    }
    const SeriesPoint& p = m_series.points[point];
    std::string text = PointTime(p.time, m_series.bucketMs, *m_zone);
    for (const Plotted& plotted : PlottedLines()) {
        const ChartLine line = Describe(plotted);
        // "12,3 °C", but "260°".
        const std::string unit =
            line.unit.empty() || line.unit == "\u00B0" ? line.unit : " " + line.unit;
        const auto [low, mean, high] = ValuesOf(plotted, p);
        text += " · " + line.name + " ";
        if (m_series.bucketMs == 0 || low == high) {
            text += GermanNumber(mean, line.decimals) + unit;
        } else if (std::isnan(mean)) {
            text += "unbestimmt";  // a calm, or winds that cancel out
        } else {
            // No finer than the steps the values move in: a mean humidity of 56 %.
            text += "Ø " + GermanNumber(mean, line.decimals) + unit;
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
