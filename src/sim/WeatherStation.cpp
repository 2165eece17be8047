// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/WeatherStation.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "weather/WeatherFormulas.h"

namespace tavrolin::sim {

namespace {

enum class Role { TempOnly, Outdoor, Rain, Wind, Indoor, Brightness, Pyranometer, Window, Remote };

constexpr double kStartHour = 10.0;  // the station's clock at time 0

double Seconds(SimDuration d) {
    return std::chrono::duration<double>(d).count();
}

SimDuration FromSeconds(double s) {
    return std::chrono::duration_cast<SimDuration>(std::chrono::duration<double>(s));
}

double HourOfDay(SimDuration at) {
    return std::fmod(kStartHour + Seconds(at) / 3600.0, 24.0);
}

// Outside temperature of the day: lowest at 03:00, highest at 15:00.
double DayTemperature(double hour) {
    return 9.0 + 7.0 * std::sin(2.0 * std::numbers::pi * (hour - 9.0) / 24.0);
}

// Height of the sun, 0 at night, 1 at noon (sunrise 06:00, sunset 18:00).
double Sun(double hour) {
    return hour <= 6.0 || hour >= 18.0 ? 0.0 : std::sin(std::numbers::pi * (hour - 6.0) / 12.0);
}

int Beaufort(double kmh) {
    static constexpr double kUpper[] = {1, 6, 12, 20, 29, 39, 50, 62, 75, 89, 103, 118};
    int b = 0;
    while (b < 12 && kmh >= kUpper[b]) {
        ++b;
    }
    return b;
}

int Round(double x) {
    return static_cast<int>(std::lround(x));
}

// The rain sensor's counter: 14 bits with a sign, counting up only.
constexpr int kCounterTop = 8191;
constexpr int kCounterRange = 16384;

// Sea-level pressure over the station's pressure at its height, by the very reduction the
// receiving side applies (it is proportional to the pressure; a large one keeps the digits).
double SeaLevelRatio() {
    constexpr int kReference = 100000;  // hPa
    static const double ratio =
        SeaLevelPressureTenths(kReference, WeatherStation::kHeightMetres) / (kReference * 10.0);
    return ratio;
}

}  // namespace

struct WeatherStation::Sensor {
    Role role;
    SensorKind kind;
    bool version;
    int address;
    double period;        // seconds
    double offset = 0.0;  // a sensor's own bias: not every place is equally warm
    double walk = 0.0;    // slowly wandering part of the main value
    double walk2 = 0.0;   // and of the second one
    double level = 0.0;   // rain counter, wind speed, pressure at sea level
    double direction = 250.0;
    bool open = false;          // window contact
    bool firstInRound = false;  // window contact: closes again at the end of the round
    double gap = 0.0;           // seconds until the next telegram, set by the last one
    SimDuration due{0};
};

WeatherStation::WeatherStation(uint64_t seed) : m_random(seed) {
    using K = SensorKind;
    // The order is the order of the first round: every kind and Special subtype comes
    // within the first nine slots, the second sensors of a kind after them.
    m_sensors = {
        {Role::TempOnly, K::TempOnly, false, 0, 47.5},
        {Role::Outdoor, K::Outdoor, false, 1, 48.7},
        {Role::Rain, K::Rain, false, 0, 71.0},
        {Role::Wind, K::Wind, false, 3, 32.0},
        {Role::Indoor, K::Indoor, true, 2, 177.25},
        {Role::Brightness, K::Brightness, false, 0, 84.0},
        {Role::Pyranometer, K::Pyranometer, true, 0, 90.0},
        {Role::Window, K::Special, false, 0, 120.0},
        {Role::Remote, K::Special, false, 0, 170.0},
        {Role::Outdoor, K::Outdoor, true, 2, 61.0},
        {Role::TempOnly, K::TempOnly, true, 3, 53.0},
        {Role::Indoor, K::Indoor, false, 0, 120.0},
        {Role::Outdoor, K::Outdoor, false, 5, 95.0},
    };
    for (Sensor& s : m_sensors) {
        s.offset = m_random.Uniform(-1.5, 1.5);
        switch (s.role) {
            case Role::Rain:
                s.level = kCounterTop - 20 - m_random.Below(30);
                break;
            case Role::Wind:
                s.level = m_random.Uniform(5.0, 20.0);
                s.direction = m_random.Uniform(200.0, 300.0);
                break;
            case Role::Indoor:
                s.level = m_random.Uniform(1005.0, 1020.0);
                break;
            case Role::Brightness:
            case Role::Pyranometer:
                s.walk = m_random.Uniform(-0.2, 0.2);  // clouds
                break;
            default:
                break;
        }
    }
    BeginRound(SimDuration{0});
}

WeatherStation::~WeatherStation() = default;

std::size_t WeatherStation::SensorCount() const {
    return m_sensors.size();
}

void WeatherStation::BeginRound(SimDuration at) {
    m_roundBegin = at;
    for (std::size_t i = 0; i < m_sensors.size(); ++i) {
        Sensor& s = m_sensors[i];
        s.due = at + kRoundSlot * static_cast<int64_t>(i + 1);
        if (s.role == Role::Window) {
            s.open = false;
            s.firstInRound = true;
        }
    }
}

std::size_t WeatherStation::DueSensor() const {
    std::size_t first = 0;
    for (std::size_t i = 1; i < m_sensors.size(); ++i) {
        if (m_sensors[i].due < m_sensors[first].due) {
            first = i;
        }
    }
    return first;
}

SimDuration WeatherStation::NextDue() const {
    return m_sensors[DueSensor()].due;
}

Telegram WeatherStation::TakeNext() {
    Sensor& s = m_sensors[DueSensor()];
    const SimDuration at = s.due;
    const Telegram telegram = Measure(s, at);
    if (s.role == Role::Window && s.firstInRound) {
        // Opened during the first round, closed in the slot after the last sensor's.
        s.firstInRound = false;
        s.due = m_roundBegin + kRoundSlot * static_cast<int64_t>(m_sensors.size() + 1);
    } else {
        s.due = at + FromSeconds(s.gap);
    }
    return telegram;
}

Telegram WeatherStation::Emit(std::size_t sensor, SimDuration at) {
    return Measure(m_sensors.at(sensor % m_sensors.size()), at);
}

Telegram WeatherStation::Measure(Sensor& s, SimDuration at) {
    SimRandom& r = m_random;
    const double hour = HourOfDay(at);
    // Sensors drift by a couple of percent from their nominal period.
    s.gap = s.period * (1.0 + r.Uniform(-0.02, 0.02));
    // A mean-reverting walk: small steps, pulled back towards 0, never far away.
    const auto wander = [&r](double& value, double step, double limit) {
        value = std::clamp(0.95 * value + step * r.Gauss(), -limit, limit);
    };

    switch (s.role) {
        case Role::TempOnly:
        case Role::Outdoor: {
            wander(s.walk, 0.15, 2.0);
            wander(s.walk2, 1.0, 8.0);
            const double temp = DayTemperature(hour) + s.offset + s.walk;
            const double humidity = std::clamp(75.0 - 2.5 * (temp - 9.0) + s.walk2, 15.0, 99.0);
            return EncodeTelegram(s.kind, s.version, s.address,
                                  {Round(temp * 10.0), Round(humidity), 0});
        }
        case Role::Rain:
            // A tipping-bucket counter: now and then a few more tips. It runs over from 8191
            // to -8192, as the sensor's own does.
            if (r.Uniform() < 0.25) {
                const int counter = Round(s.level) + 1 + r.Below(3);
                s.level = counter > kCounterTop ? counter - kCounterRange : counter;
            }
            return EncodeTelegram(s.kind, s.version, s.address, {Round(s.level), 0, 0});
        case Role::Wind: {
            s.level = std::clamp(s.level + 0.05 * (12.0 - s.level) + 2.0 * r.Gauss(), 0.0, 70.0);
            s.direction = s.direction + 0.05 * (250.0 - s.direction) + 12.0 * r.Gauss();
            const int direction = ((Round(s.direction) % 360) + 360) % 360;
            // The digit belongs to the speed as sent, in tenths.
            const int tenths = Round(s.level * 10.0);
            return EncodeTelegram(s.kind, s.version, s.address,
                                  {tenths, Beaufort(tenths / 10.0), direction});
        }
        case Role::Indoor: {
            wander(s.walk, 0.1, 1.5);
            wander(s.walk2, 0.8, 6.0);
            // The weather's pressure at sea level; the sensor measures it at the station.
            s.level =
                std::clamp(s.level + 0.02 * (1013.0 - s.level) + 0.3 * r.Gauss(), 1006.0, 1024.0);
            const double temp = 21.5 + s.offset +
                                0.8 * std::sin(2.0 * std::numbers::pi * (hour - 10.0) / 24.0) +
                                s.walk;
            const double humidity = std::clamp(45.0 + 3.0 * s.offset + s.walk2, 25.0, 70.0);
            return EncodeTelegram(
                s.kind, s.version, s.address,
                {Round(temp * 10.0), Round(humidity), Round(s.level / SeaLevelRatio())});
        }
        case Role::Brightness: {
            wander(s.walk, 0.08, 0.35);
            const double lux = 65000.0 * std::pow(Sun(hour), 1.5) * (0.65 + s.walk);
            // The value keeps below 8192 by a decimal factor.
            int factor = 1;
            while (lux / factor > 8191.0) {
                factor *= 10;
            }
            return EncodeTelegram(s.kind, s.version, s.address, {Round(lux / factor), factor, 0});
        }
        case Role::Pyranometer: {
            wander(s.walk, 0.08, 0.35);
            const double irradiance = 950.0 * Sun(hour) * (0.65 + s.walk);
            return EncodeTelegram(s.kind, s.version, s.address, {Round(irradiance), 1, 0});
        }
        case Role::Window: {
            const SpecialType edge = s.open ? SpecialType::FensterLow : SpecialType::FensterHigh;
            s.open = !s.open;
            // Open for a quarter to one and a half minutes, closed for one to three.
            s.gap = s.open ? r.Uniform(15.0, 90.0) : r.Uniform(60.0, 180.0);
            return EncodeFenster(edge);
        }
        case Role::Remote:
            return EncodeRemoteControl("ABCDE");
    }
    return EncodeRemoteControl("ABCDE");
}

}  // namespace tavrolin::sim
