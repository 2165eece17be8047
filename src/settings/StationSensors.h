// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "decode/Reading.h"

namespace tavrolin {

class SensorNames;
class SettingsStore;

// The station's main sensors, named in the profile's section "Station" beside Höhe:
//   [Station]
//   Außen=outdoor-1      the outdoor air: a thermo-hygrometer or a thermometer
//   Wind=wind-3          the wind sensor
//   Regen=Dach           the rain gauge, here by its name from [Sensornamen]
//   Luftdruck=indoor-2   the indoor sensor whose pressure is the station's
// A role without an entry (or with a bad one) falls to the lowest-numbered sensor of its kind
// that the archive knows (for the outdoor air a thermo-hygrometer before a thermometer). The
// reports, the front page and the uploads take their sensors from here.
enum class StationRole { Outdoor, Wind, Rain, Pressure };
inline constexpr std::array<StationRole, 4> kStationRoles{StationRole::Outdoor, StationRole::Wind,
                                                          StationRole::Rain, StationRole::Pressure};

// The key as the profile writes it: "Außen", "Wind", "Regen", "Luftdruck".
std::string_view StationRoleKey(StationRole role);
// Whether a key of [Station] names a role (in any case, "Aussen" for "Außen", in the profile's
// Windows-1252 or in UTF-8), and which.
std::optional<StationRole> StationRoleOfKey(std::string_view profileKey);
// Whether a sensor can serve in the role.
bool ServesAs(const SensorKey& sensor, StationRole role);

struct StationSensors {
    std::array<std::optional<SensorKey>, kStationRoles.size()> chosen;  // by the profile

    // The sensor of the role: the profile's, else the lowest-numbered of those known that
    // serves in it; none where no known sensor does.
    std::optional<SensorKey> Of(StationRole role, std::span<const SensorKey> known) const;
    // The sensors of all roles, in the roles' order, each once.
    std::vector<SensorKey> All(std::span<const SensorKey> known) const;
};

struct StationSensorsResult {
    StationSensors sensors;
    std::vector<std::string> errors;  // German, one per bad entry, for the caller to say at start
};

// Takes the role entries of [Station] one by one (other keys are left alone: Höhe is the
// weather settings'); the first of a key counts, an empty value is no entry. `names` resolves
// a value that is no sensor id.
class StationSensorsParser {
public:
    explicit StationSensorsParser(const SensorNames& names) : m_names(&names) {}
    void AddEntry(std::string_view key, std::string_view value);
    StationSensorsResult Take() { return std::move(m_result); }

private:
    const SensorNames* m_names;
    StationSensorsResult m_result;
    std::array<bool, kStationRoles.size()> m_seen{};
};

// Reads [Station] and [Sensornamen] of the profile.
StationSensorsResult ReadStationSensors(const SettingsStore& store);

// The sensors a text names: a sensor id (outdoor-1), else every sensor whose name the views
// show is the text (the friendly name of [Sensornamen], else the list's "Außen 1").
std::vector<SensorKey> SensorsNamed(std::string_view text, const SensorNames& names);

// A profile key as it is compared: in UTF-8 (the profile may hold Windows-1252), the ASCII
// letters and the umlauts in lower case.
std::string FoldedProfileKey(std::string_view profileText);

}  // namespace tavrolin
