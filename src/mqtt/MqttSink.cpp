// SPDX-License-Identifier: GPL-3.0-or-later
#include "mqtt/MqttSink.h"

#include "decode/ReadingJson.h"
#include "mqtt/Discovery.h"
#include "mqtt/MqttPublisher.h"
#include "weather/WeatherDerivation.h"

namespace tavrolin {

namespace {

constexpr const char* kCaption = "MQTT";
constexpr int64_t kOverdueCheckMs = 1000;

std::string FailureText(MqttFailure failure, const std::string& address) {
    switch (failure) {
        case MqttFailure::Refused:
            return "Der MQTT-Broker " + address + " nimmt keine Verbindung an.";
        case MqttFailure::Unreachable:
            return "Der MQTT-Broker " + address + " ist nicht erreichbar.";
        case MqttFailure::HostUnknown:
            return "Der Rechnername des MQTT-Brokers " + address + " ist unbekannt.";
        case MqttFailure::TlsFailed:
            return "Die TLS-Verbindung zum MQTT-Broker " + address +
                   " kommt nicht zustande: bitte das Zertifikat des Brokers und die CA-Datei "
                   "(CAFile) prüfen.";
        case MqttFailure::BadCredentials:
            return "Der MQTT-Broker " + address +
                   " weist Benutzername oder Passwort zurück (User, PasswordFile).";
        case MqttFailure::NotAuthorised:
            return "Der MQTT-Broker " + address +
                   " verweigert die Anmeldung: Benutzername, Passwort oder Berechtigung stimmen "
                   "nicht (User, PasswordFile).";
        case MqttFailure::BrokerRefused:
            return "Der MQTT-Broker " + address + " weist die Verbindung zurück.";
        case MqttFailure::Lost:
            return "Die Verbindung zum MQTT-Broker " + address + " ist abgebrochen.";
        case MqttFailure::None:
            break;
    }
    return {};
}

}  // namespace

MqttSink::MqttSink(const MqttSettings& settings, const SensorNames& names, MqttOutbox& outbox,
                   const SensorTracker& tracker, WallClock& wallClock, CoarseClock& steadyClock,
                   const WeatherSettings& weather)
    : m_settings(settings),
      m_topics(settings),
      m_names(names),
      m_outbox(outbox),
      m_wallClock(wallClock),
      m_steadyClock(steadyClock),
      m_address(settings.Address()),
      m_tracker(tracker),
      m_weather(weather) {}

void MqttSink::Push(QueuedMessage::Kind kind, const SensorKey& key, std::string payload) {
    m_outbox.Push({kind, static_cast<uint8_t>(IndexOf(key)), std::move(payload)});
    m_pushed = true;
}

void MqttSink::AcceptJson(const Reading& reading, std::string_view json) {
    const SensorKey key = reading.Key();
    const std::size_t index = static_cast<std::size_t>(IndexOf(key));
    const bool first = !m_announced.test(index);
    m_announced.set(index);
    std::optional<int64_t> expire;
    if (const std::optional<Milliseconds> overdue = m_tracker.OverdueAfter(key)) {
        expire = ExpireAfterSeconds(overdue->count(), m_expireAnnounced[index]);
    }
    if (first || (expire && *expire != m_expireAnnounced[index])) {
        Announce(reading, expire, first);
        m_expireAnnounced[index] = expire.value_or(0);
    }
    Push(QueuedMessage::Kind::State, key, std::string(json));
}

void MqttSink::Announce(const Reading& reading, std::optional<int64_t> expireAfterSeconds,
                        bool first) {
    const SensorKey key = reading.Key();
    Announcement a;
    a.heard = true;
    if (m_settings.discovery) {
        std::array<Quantity, 3> quantities{};
        for (std::size_t i = 0; i < reading.valueCount; ++i) {
            quantities[i] = reading.values[i].quantity;
        }
        const std::vector<WeatherQuantity> weather = WeatherQuantitiesOf(key, m_weather);
        a.config = SensorDiscoveryConfig(
            m_topics, {key, m_names.NameOf(key), reading.version12,
                       std::span<const Quantity>(quantities.data(), reading.valueCount), weather,
                       expireAfterSeconds});
        Push(QueuedMessage::Kind::Config, key, a.config);
    }
    if (SensorTracker::IsPeriodic(key)) {
        // Heard just now: online, whatever the watch still says of a silence before this
        // run (the archive's account) until its next look.
        a.online = true;
        if (first) {
            Push(QueuedMessage::Kind::Availability, key, std::string(MqttPublisher::kOnline));
        }
    }
    m_outbox.Announce(key, std::move(a));
}

void MqttSink::EndOfPoll() {
    const int64_t now = m_steadyClock.ReadMs();
    if (now >= m_nextOverdueCheckMs) {
        m_nextOverdueCheckMs = now + kOverdueCheckMs;
        m_overdue.Update(m_tracker, m_wallClock.Now(), [this](const SensorKey& key, bool overdue) {
            if (!m_announced.test(static_cast<std::size_t>(IndexOf(key)))) {
                return;  // not published
            }
            m_outbox.SetOnline(key, !overdue);
            Push(QueuedMessage::Kind::Availability, key,
                 std::string(overdue ? MqttPublisher::kOffline : MqttPublisher::kOnline));
        });
    }
    if (m_pushed) {
        m_pushed = false;
        m_outbox.Wake();
    }
}

void MqttSink::Say(std::string text, MessageIcon icon) {
    m_notices.push_back({kCaption, std::move(text), icon});
}

void MqttSink::CheckStatus() {
    const MqttStatus s = m_outbox.Status();
    const int64_t now = m_steadyClock.ReadMs();
    if (!s.connected && s.failure != MqttFailure::None) {
        const bool newOutage = s.outages != m_outage;
        if (newOutage) {
            m_outage = s.outages;
            m_outageSaid = false;
            m_saidFailure = MqttFailure::None;
        }
        const bool quiet = m_lastOutageSaidMs && now - *m_lastOutageSaidMs < kQuietMs;
        const bool say = newOutage ? !quiet || NeedsAction(s.failure)
                                   : NeedsAction(s.failure) && s.failure != m_saidFailure;
        if (say) {
            Say(FailureText(s.failure, m_address) +
                    " Die Messwerte werden zurückgehalten und nachgesendet, sobald die "
                    "Verbindung steht; der Empfang geht weiter.",
                MessageIcon::Exclamation);
            m_outageSaid = true;
            m_saidFailure = s.failure;
            m_lastOutageSaidMs = now;
        }
    } else if (s.connected && m_outageSaid) {
        std::string text = "Die Verbindung zum MQTT-Broker " + m_address +
                           " steht wieder; die zurückgehaltenen Messwerte werden nachgesendet.";
        if (const uint64_t lost = s.dropped - s.droppedBeforeOutage; lost > 0) {
            text += " " + std::to_string(lost) +
                    " ältere Messwerte sind verloren, weil die Warteschlange voll war.";
        }
        Say(std::move(text), MessageIcon::Information);
        m_outageSaid = false;
        m_saidFailure = MqttFailure::None;
    }
    if (s.dropped > m_droppedSeen && !m_dropSaid) {
        Say("Die Warteschlange für den MQTT-Broker " + m_address + " ist voll (" +
                std::to_string(m_outbox.Capacity()) +
                " Nachrichten): die ältesten werden verworfen.",
            MessageIcon::Exclamation);
        m_dropSaid = true;
    }
    m_droppedSeen = s.dropped;
    if (s.connected && s.queued == 0) {
        m_dropSaid = false;
    }
}

std::optional<SinkNotice> MqttSink::TakeNotice() {
    if (m_notices.empty()) {
        CheckStatus();
    }
    return TakeFirst(m_notices);
}

}  // namespace tavrolin
