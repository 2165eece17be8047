// SPDX-License-Identifier: GPL-3.0-or-later
// What a chart writes on its axes, in German, whichever window or page draws it: the labels,
// the ticks of the time axis in the station's zone and the steps of a value axis, and the
// numbers (ChartText.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "decode/Reading.h"

namespace tavrolin {

// The axis of one quantity: "Temperatur (°C)", "Windgeschwindigkeit\n(km/h)"; a raw number
// without unit by its name alone, "Regenzähler".
std::string AxisLabel(Quantity quantity);
// A tick of an axis: where, and what it says. On the time axis `at` is in seconds since 1970,
// as the chart's keys.
struct AxisTick {
    double at = 0;
    std::string label;  // "14:00\n07.12.", "Mo\n07.12.", "07.12.", "Dez\n2026", "2026"; "N"
};
// The ticks of a time axis from `from` to `to`, about `count` of them, on whole hours, days,
// weeks (Mondays), months or years of local time in the zone: times of day for a day or two,
// weekdays for a week, days for a month, months for a year or two, years beyond. On the
// day the clocks change the hours fall where the clocks say them (02:00 twice in autumn).
std::vector<AxisTick> TimeTicks(const TimeZone& zone, Instant from, Instant to, int count = 7);
// "6 Stunden", "1 Tag", "10 Minuten".
std::string BucketText(int64_t bucketMs);
// "12,3": German decimal comma.
std::string GermanNumber(double value, int decimals);
// A step between the ticks of a value axis, about span / ticks: 1, 2 or 5 times a power of
// ten, and never below 1, so that every tick falls on a whole unit of its quantity.
double WholeTickStep(double span, int ticks);

// The range of a value axis.
struct ValueAxis {
    double lower = 0, upper = 1;
};

}  // namespace tavrolin
