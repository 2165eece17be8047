// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

#include "base/Clock.h"
#include "decode/Reading.h"

namespace tavrolin {

// A reading's values for people, UTF-8: "12.3 °C, 67 %", "7.5 km/h, 260°, B 3"; a quantity
// without a unit by its name: "Regenzähler 1234"; the light sensors' value × factor as the one
// number it is, "Helligkeit 32080", "Einstrahlung 484"; the remote control's text in quotes, a
// Fenster event as "High" or "Low". The numbers as the received list writes them, or with
// another decimal mark: the German comma of the windows beside it ("12,3 °C").
std::string ValuesText(const Reading& reading, char decimalMark = '.');

// A span of time: "00:03:00"; a day and more as "2 d 03:00:00". Rounded to the second.
std::string DurationText(int64_t ms);

// "07.12.2026 14:03:07", the local time as it is given, as the windows and charts write dates
// (files for machines keep ISO 8601).
std::string DateTimeText(const LocalTime& time);
// "14:03:07".
std::string ClockText(const LocalTime& time);

}  // namespace tavrolin
