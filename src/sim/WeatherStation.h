// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/SimRandom.h"
#include "sim/TelegramEncoder.h"

namespace tavrolin::sim {

using SimDuration = std::chrono::microseconds;

// A whole weather station as the receiver hears it: thermo-hygrometers and temperature
// sensors at several addresses, rain, wind, two indoor sensors with air pressure,
// brightness, a pyranometer, a window contact (Fenster high/low) and a remote control.
// The rain counter starts a few dozen steps before its run-over, so that one comes within
// the first two hours or so of station time (two minutes at --speed 60). Values follow a
// day (the station's clock starts at 10:00) and wander slowly; every sensor sends on its own
// period of tens of seconds to three minutes, with a little jitter as real sensors have.
// Time here is the station's own; the caller maps it to real time.
class WeatherStation {
public:
    // The first round: sensor i is heard at (i + 1) slots after the round begins.
    static constexpr SimDuration kRoundSlot = std::chrono::milliseconds(250);
    // The station's height above sea level, in metres: its indoor sensors measure the air
    // pressure there, as real ones do, which reduced to sea level gives 1006 to 1024 hPa.
    // scripts/demo's profile names it as [Station] Höhe.
    static constexpr double kHeightMetres = 312.0;

    explicit WeatherStation(uint64_t seed);
    ~WeatherStation();

    std::size_t SensorCount() const;

    // Starts a round at station time `at`: every sensor is heard once within the next few
    // seconds, one slot after the other, the window contact both opening and closing; then
    // each goes on with its own period. The values go on from where they were.
    void BeginRound(SimDuration at);

    // Station time of the next telegram, and the telegram itself (the sensors' schedules
    // advance); its values are those of its due time.
    SimDuration NextDue() const;
    Telegram TakeNext();

    // One telegram of the given sensor at station time `at`, outside its schedule (load
    // mode runs round-robin over the sensors at its own pace).
    Telegram Emit(std::size_t sensor, SimDuration at);

private:
    struct Sensor;

    std::size_t DueSensor() const;
    Telegram Measure(Sensor& sensor, SimDuration at);

    std::vector<Sensor> m_sensors;
    SimRandom m_random;
    SimDuration m_roundBegin{0};
};

}  // namespace tavrolin::sim
