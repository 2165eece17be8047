// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "base/Clock.h"
#include "decode/OverdueWatch.h"
#include "decode/ReadingJson.h"
#include "decode/SensorTracker.h"
#include "mqtt/MqttOutbox.h"
#include "mqtt/MqttTopics.h"
#include "settings/MqttSettings.h"
#include "settings/SensorNames.h"
#include "settings/WeatherSettings.h"

namespace tavrolin {

// The receiver's side of publishing, on the tick: every reading it is given (behind the
// recording filter: the user's own sensors, as the list shows them) becomes a state message
// in the outbox; a sensor heard for the first time announces its discovery config, with an
// entity for each value its readings carry with the weather settings, and again when its
// expire_after must grow (ExpireAfterSeconds); a sensor that falls silent for three usual
// periods goes offline, and online again when heard. Nothing here waits for the network: the
// network thread takes the messages from the outbox.
//
// What the user must hear of the connection is said as notices: the first failure of an
// outage and its end, a full queue, and a failure that needs a changed setting. A broker
// that keeps coming and going is said once in kQuietMs, not at every turn.
class MqttSink : public JsonSink {
public:
    static constexpr int64_t kQuietMs = 5 * 60 * 1000;

    // The tracker knows every sensor's period (for expire_after) and silence. wallClock gives
    // the time that silence is measured in (that of the readings); steadyClock the time
    // between notices. The weather settings say which derived values the readings carry
    // (none given: those that need no setting).
    MqttSink(const MqttSettings& settings, const SensorNames& names, MqttOutbox& outbox,
             const SensorTracker& tracker, WallClock& wallClock, CoarseClock& steadyClock,
             const WeatherSettings& weather = {});

    void AcceptJson(const Reading& reading, std::string_view json) override;
    void EndOfPoll() override;
    std::optional<SinkNotice> TakeNotice() override;

private:
    void Announce(const Reading& reading, std::optional<int64_t> expireAfterSeconds, bool first);
    void Push(QueuedMessage::Kind kind, const SensorKey& key, std::string payload);
    void Say(std::string text, MessageIcon icon);
    void CheckStatus();

    const MqttSettings m_settings;
    const MqttTopics m_topics;
    const SensorNames m_names;
    MqttOutbox& m_outbox;
    WallClock& m_wallClock;
    CoarseClock& m_steadyClock;
    const std::string m_address;  // for the notices
    const SensorTracker& m_tracker;
    const WeatherSettings m_weather;

    std::bitset<kSensorCount> m_announced;
    OverdueWatch m_overdue;
    std::array<int64_t, kSensorCount> m_expireAnnounced{};  // seconds; 0: none yet
    bool m_pushed = false;
    int64_t m_nextOverdueCheckMs = 0;

    // Notices.
    std::deque<SinkNotice> m_notices;
    uint64_t m_outage = 0;      // the outage last looked at
    bool m_outageSaid = false;  // its failure was said, so its end will be
    MqttFailure m_saidFailure = MqttFailure::None;
    std::optional<int64_t> m_lastOutageSaidMs;
    uint64_t m_droppedSeen = 0;
    bool m_dropSaid = false;  // in this outage, or since the queue last ran empty
};

}  // namespace tavrolin
