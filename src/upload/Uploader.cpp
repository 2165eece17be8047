// SPDX-License-Identifier: GPL-3.0-or-later
#include "upload/Uploader.h"

#include <algorithm>
#include <limits>

#include "base/Version.h"
#include "decode/ReadingText.h"

namespace tavrolin {

namespace {

std::string Section(const NetworkSettings& n) {
    return std::string(InfoOf(n.network).section);
}

std::string TimeText(int64_t ms, const TimeZone* zone) {
    return zone != nullptr ? DateTimeText(LocalTimeIn(*zone, FromUnixMs(ms)))
                           : UtcDateTime(FromUnixMs(ms)) + " UTC";
}

std::string Duration(int64_t ms) {
    const int64_t minutes = ms / kMsPerMinute;
    if (minutes < 1) {
        return std::to_string(ms / 1000) + " s";
    }
    if (minutes < 120) {
        return std::to_string(minutes) + " min";
    }
    return std::to_string(minutes / 60) + " h";
}

}  // namespace

std::string SoftwareName() {
    return "tavrolin-upload " + std::string(TavrolinVersion());
}

Outcome SendTo(const NetworkSettings& n, const UploadSettings& settings,
               std::span<const Observation> observations, HttpClient& http, AprsClient& aprs,
               int64_t nowMs, std::string* printout) {
    if (observations.empty()) {
        return {Verdict::Failed, "keine Beobachtung", std::nullopt};
    }
    const Observation& o = observations.front();
    if (n.network == Network::Cwop) {
        const std::string login = CwopLogin(n.id, n.secret, "tavrolin-upload", TavrolinVersion());
        const std::string packet =
            EncodeCwopPacket(o, n.id, settings.weather.station.latitudeDegrees.value_or(0),
                             settings.weather.station.longitudeDegrees.value_or(0), "tavrolin");
        if (printout != nullptr) {
            std::string shownLogin = login;
            if (n.secret != "-1") {
                shownLogin = CwopLogin(n.id, "***", "tavrolin-upload", TavrolinVersion());
            }
            *printout = "TCP " + n.address + "\n" + shownLogin + "\n" + packet + "\n";
        }
        return Judge(aprs.Send(n.address, login, packet));
    }
    HttpRequest request;
    switch (n.network) {
        case Network::Wunderground:
        case Network::PWSweather:
            request = EncodeWunderground(o, kWundergroundDialect, n.address, n.id, n.secret,
                                         SoftwareName());
            break;
        case Network::Wow:
            request = EncodeWunderground(o, kWowDialect, n.address, n.id, n.secret, SoftwareName());
            break;
        case Network::Windy:
            request = EncodeWindy(o, n.address, n.id, n.secret);
            break;
        case Network::OpenSenseMap:
            request = EncodeOpenSenseMap(observations, n.sensors, n.address, n.id, n.secret);
            break;
        case Network::Cwop:
            break;
    }
    if (printout != nullptr) {
        *printout = request.Masked();
    }
    if (n.network == Network::OpenSenseMap && request.body.empty()) {
        // None of the box's sensors has a value: nothing to send, and nothing missed.
        return {Verdict::Sent, "keine Werte für die Sensoren der Box", std::nullopt};
    }
    return Judge(n.network, http.Send(request), nowMs);
}

Uploader::Uploader(HttpClient& http, AprsClient& aprs, FileSystem& files, std::string stateFolder,
                   Say say)
    : m_http(http),
      m_aprs(aprs),
      m_files(files),
      m_folder(std::move(stateFolder)),
      m_say(std::move(say)) {}

void Uploader::Configure(const UploadSettings& settings) {
    m_settings = settings;
    for (const NetworkSettings& n : settings.networks) {
        Net& net = Slot(n.network);
        const bool changed = net.loaded && net.settings.fingerprint != n.fingerprint;
        net.settings = n;
        if (!net.loaded) {
            net.state = LoadState(m_files, StatePath(m_folder, InfoOf(n.network).name));
            net.loaded = true;
        }
        if (!n.on) {
            net.pending.clear();
            continue;
        }
        if (!net.state.refused.empty()) {
            if (net.state.refused == SectionDigest(n.fingerprint)) {
                SayOnce(net, "refused",
                        Section(n) + " hat die Zugangsdaten abgewiesen (" + net.state.lastError +
                            "); es wird nicht gesendet, bis der Abschnitt [" + Section(n) +
                            "] im Profil geändert ist.");
                continue;
            }
            net.state.refused.clear();
            Save(net);
            SayOnce(net, "changed",
                    "Der Abschnitt [" + Section(n) + "] ist geändert; an " + Section(n) +
                        " wird wieder gesendet.");
        } else if (changed) {
            net.nextTryMs = 0;
            net.pauseMs = 0;
        }
    }
}

bool Uploader::Sending(Network network) const {
    const Net& net = Slot(network);
    return net.settings.on && net.state.refused.empty();
}

std::optional<int64_t> Uploader::WantedFromMs(int64_t nowMs) const {
    std::optional<int64_t> from;
    for (Network network : kNetworks) {
        if (!Sending(network)) {
            continue;
        }
        const Net& net = Slot(network);
        const int64_t window = InfoOf(network).takesPast ? kCatchUpMs : kNewestOnlyMs;
        const int64_t wanted = std::max(net.state.sentUpToMs + 1, nowMs - window);
        from = from ? std::min(*from, wanted) : wanted;
    }
    return from;
}

void Uploader::Offer(const Observation& o, int64_t nowMs) {
    const int64_t at = UnixMs(o.time);
    if (o.Empty()) {
        return;
    }
    for (Network network : kNetworks) {
        Net& net = Slot(network);
        if (!Sending(network) || at % net.settings.intervalMs != 0 || at <= net.state.sentUpToMs) {
            continue;
        }
        if (!net.pending.empty() && UnixMs(net.pending.back().time) >= at) {
            continue;  // offered already
        }
        const NetworkInfo& info = InfoOf(network);
        if (at < nowMs - (info.takesPast ? kCatchUpMs : kNewestOnlyMs)) {
            continue;
        }
        if (!info.takesPast) {
            net.pending.clear();
        }
        net.pending.push_back(o);
    }
}

void Uploader::Save(Net& net) {
    const std::string path = StatePath(m_folder, InfoOf(net.settings.network).name);
    if (!SaveState(m_files, path, net.state)) {
        SayOnce(net, "state",
                "Der Stand von " + Section(net.settings) + " läßt sich nicht in " +
                    ShownFilePath(path) +
                    " schreiben; nach einem Neustart würde Gesendetes noch einmal "
                    "gesendet.");
    }
}

void Uploader::SayOnce(Net& net, const std::string& condition, const std::string& text) {
    if (net.said != condition) {
        net.said = condition;
        m_say(text);
    }
}

void Uploader::Apply(Net& net, const Outcome& outcome, int64_t sentUpToMs, int64_t nowMs) {
    const std::string section = Section(net.settings);
    switch (outcome.verdict) {
        case Verdict::Sent:
            net.state.sentUpToMs = std::max(net.state.sentUpToMs, sentUpToMs);
            net.state.lastSuccessMs = nowMs;
            net.pauseMs = 0;
            while (!net.pending.empty() && UnixMs(net.pending.front().time) <= sentUpToMs) {
                net.pending.pop_front();
            }
            Save(net);
            SayOnce(net, "ok",
                    section + " nimmt die Beobachtungen an" +
                        (outcome.text.empty() ? "" : " (" + outcome.text + ")") + ".");
            return;
        case Verdict::Refused:
            net.state.lastError = outcome.text;
            net.state.lastErrorMs = nowMs;
            net.state.refused = SectionDigest(net.settings.fingerprint);
            net.pending.clear();
            Save(net);
            SayOnce(net, "refused",
                    section + " weist die Zugangsdaten ab (" + outcome.text +
                        "); es wird nicht mehr gesendet, bis der Abschnitt [" + section +
                        "] im Profil geändert ist.");
            return;
        case Verdict::TooSoon:
        case Verdict::Failed: {
            net.pauseMs =
                net.pauseMs == 0 ? kFirstRetryMs : std::min(net.pauseMs * 2, kLongestRetryMs);
            int64_t pause = net.pauseMs;
            if (outcome.verdict == Verdict::TooSoon) {
                pause = std::clamp<int64_t>(outcome.retryAfterMs.value_or(net.settings.intervalMs),
                                            kFirstRetryMs, kLongestRetryMs);
            }
            net.nextTryMs = nowMs + pause;
            net.state.lastError = outcome.text;
            net.state.lastErrorMs = nowMs;
            Save(net);
            SayOnce(net, "error:" + outcome.text,
                    "Senden an " + section + " fehlgeschlagen: " + outcome.text +
                        "; nächster Versuch in " + Duration(pause) + ".");
            return;
        }
    }
}

int64_t Uploader::Run(int64_t nowMs) {
    int64_t wake = std::numeric_limits<int64_t>::max();
    for (Network network : kNetworks) {
        Net& net = Slot(network);
        if (!Sending(network)) {
            continue;
        }
        const NetworkInfo& info = InfoOf(network);
        const int64_t oldest = nowMs - (info.takesPast ? kCatchUpMs : kNewestOnlyMs);
        while (!net.pending.empty() && UnixMs(net.pending.front().time) < oldest) {
            net.pending.pop_front();
        }
        if (net.pending.empty()) {
            continue;
        }
        if (nowMs < net.nextTryMs) {
            wake = std::min(wake, net.nextTryMs);
            continue;
        }
        if (network == Network::OpenSenseMap) {
            std::vector<Observation> batch(
                net.pending.begin(),
                net.pending.begin() + static_cast<std::ptrdiff_t>(
                                          std::min(net.pending.size(), kObservationsPerBatch)));
            Apply(net, SendTo(net.settings, m_settings, batch, m_http, m_aprs, nowMs),
                  UnixMs(batch.back().time), nowMs);
        } else {
            for (int i = 0; i < kRequestsPerRun && !net.pending.empty() && Sending(network); ++i) {
                const Observation o = net.pending.front();
                const Outcome outcome =
                    SendTo(net.settings, m_settings, {&o, 1}, m_http, m_aprs, nowMs);
                Apply(net, outcome, UnixMs(o.time), nowMs);
                if (outcome.verdict != Verdict::Sent) {
                    break;
                }
            }
        }
        if (!net.pending.empty() && Sending(network)) {
            if (net.nextTryMs <= nowMs) {
                net.nextTryMs = nowMs + kCatchUpPauseMs;
            }
            wake = std::min(wake, net.nextTryMs);
        }
    }
    return wake;
}

std::string StatusLine(const NetworkSettings& n, const UploadState& s, int64_t nowMs,
                       const TimeZone* zone) {
    std::string line = Section(n) + ": ";
    if (!n.on) {
        return line + "nicht eingerichtet";
    }
    line += s.lastSuccessMs == 0
                ? "noch nichts angenommen"
                : "zuletzt angenommen " + TimeText(s.lastSuccessMs, zone) + " (Beobachtung von " +
                      TimeText(s.sentUpToMs, zone) + ", " +
                      Duration(std::max<int64_t>(0, nowMs - s.sentUpToMs)) + " zurück)";
    if (s.lastErrorMs != 0) {
        line += "; letzter Fehler " + TimeText(s.lastErrorMs, zone) + ": " + s.lastError;
    }
    if (!s.refused.empty()) {
        line += "; angehalten, bis der Abschnitt [" + Section(n) + "] geändert ist";
    }
    return line;
}

}  // namespace tavrolin
