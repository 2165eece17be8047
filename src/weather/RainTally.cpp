// SPDX-License-Identifier: GPL-3.0-or-later
#include "weather/RainTally.h"

namespace tavrolin {

namespace {

constexpr int kCounterRange = 16384;  // 14 bits
// The most steps taken as counting across the counter's ends (from 8191 to -8192, or from the
// negative range up past 0); a quarter of the range.
constexpr int kWrapSpan = 4096;

}  // namespace

int RainStepsBetween(int previous, int current) {
    // A counter back near 0 from the lower half of its negative range has not counted
    // thousands of steps between two readings minutes apart: it started anew (a battery
    // change), as any other fall.
    const bool restartFromNegative = previous < 0 && current >= 0 && current - previous > kWrapSpan;
    if (current >= previous && !restartFromNegative) {
        return current - previous;
    }
    if (previous > kWrapSpan - 1 && current < -kWrapSpan) {
        return current - previous + kCounterRange;
    }
    return current >= 0 ? current : 0;
}

void RainTally::Resume(uint8_t address, int64_t stepsBefore) {
    Sensor& sensor = m_sensors[address & 0x07];
    sensor = Sensor{};
    sensor.steps = stepsBefore;
}

std::optional<RainAmounts> RainTally::Count(const Reading& reading) {
    const std::optional<Measurement> counter = reading.Find(Quantity::RainCounter);
    if (reading.kind != SensorKind::Rain || !counter) {
        return std::nullopt;
    }
    Sensor& sensor = m_sensors[reading.address & 0x07];
    const int steps = sensor.counter ? RainStepsBetween(*sensor.counter, counter->raw) : 0;
    sensor.counter = counter->raw;
    sensor.steps += steps;

    const int64_t localDay = reading.LocalDay();
    if (localDay != sensor.localDay) {
        sensor.localDay = localDay;
        sensor.todaySteps = 0;
    }
    sensor.todaySteps += steps;

    const int64_t minute = UtcMinuteOf(reading.time);
    const int64_t slotIndex = minute - FloorDiv(minute, kHourSlots) * kHourSlots;
    Minute& slot = sensor.minutes[static_cast<std::size_t>(slotIndex)];
    if (slot.minute != minute) {
        slot = {minute, 0};
    }
    slot.steps += steps;
    int64_t hourSteps = 0;
    for (const Minute& m : sensor.minutes) {
        // Slots of minutes after this one are left from a clock that was set back.
        if (m.minute > minute - kHourSlots && m.minute <= minute) {
            hourSteps += m.steps;
        }
    }

    RainAmounts amounts{sensor.steps, sensor.todaySteps, hourSteps, {}, {}, {}};
    if (const std::optional<Decimal>& perStep = m_settings.mmPerStep[reading.address & 0x07]) {
        amounts.mm = Decimal{sensor.steps * perStep->raw, perStep->decimals};
        amounts.todayMm = Decimal{sensor.todaySteps * perStep->raw, perStep->decimals};
        amounts.hourMm = Decimal{hourSteps * perStep->raw, perStep->decimals};
    }
    return amounts;
}

}  // namespace tavrolin
