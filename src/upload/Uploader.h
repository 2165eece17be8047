// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "base/FileSystem.h"
#include "upload/NetworkAnswer.h"
#include "upload/Transport.h"
#include "upload/UploadSettings.h"
#include "upload/UploadState.h"

namespace tavrolin {

// How far back a network that takes the past is sent what it missed, and what a network that
// takes only the present still takes (weewx drops CWOP records older than ten minutes).
inline constexpr int64_t kCatchUpMs = 24 * kMsPerHour;
inline constexpr int64_t kNewestOnlyMs = 10 * kMsPerMinute;
// Bounds per run, so that a network that comes back is never flooded: requests of one
// observation each (Weather Underground's protocol), observations in one openSenseMap
// request (nine values each stay below its 2500).
inline constexpr int kRequestsPerRun = 12;
inline constexpr std::size_t kObservationsPerBatch = 250;
// After a run that left a backlog, the next one; after a failure the pause grows from the
// first to the longest, doubling.
inline constexpr int64_t kCatchUpPauseMs = 10000;
inline constexpr int64_t kFirstRetryMs = 30000;
inline constexpr int64_t kLongestRetryMs = 30 * kMsPerMinute;

// The software the networks are told of.
std::string SoftwareName();

// Encodes the observations for the network and sends them: one for all but openSenseMap,
// which takes a batch. `printout`, where given, gets the request with its secret masked.
Outcome SendTo(const NetworkSettings& network, const UploadSettings& settings,
               std::span<const Observation> observations, HttpClient& http, AprsClient& aprs,
               int64_t nowMs, std::string* printout = nullptr);

// Sends each configured network the observations it is due, at its own interval: every
// observation whose time is a multiple of the interval (UTC) and newer than what the network
// took, oldest first; where the network takes only the present, only the newest. Keeps
// what each network was sent in its state file, so a restart goes on without sending
// anything twice or leaving anything out.
class Uploader {
public:
    using Say = std::function<void(const std::string&)>;

    Uploader(HttpClient& http, AprsClient& aprs, FileSystem& files, std::string stateFolder,
             Say say);

    // Takes the settings; at the start, and again whenever the profile was read anew. A
    // network whose credentials were refused stays silent until its section changes.
    void Configure(const UploadSettings& settings);

    // The oldest observation time a network still wants: from there the caller offers them.
    std::optional<int64_t> WantedFromMs(int64_t nowMs) const;
    // An observation of the station at a whole minute, in the order of time.
    void Offer(const Observation& observation, int64_t nowMs);
    // Sends what is due; returns when it wants to run again (INT64_MAX: when offered more).
    int64_t Run(int64_t nowMs);

    const UploadState& StateOf(Network network) const { return Slot(network).state; }
    bool Sending(Network network) const;
    std::size_t Waiting(Network network) const { return Slot(network).pending.size(); }

private:
    struct Net {
        NetworkSettings settings;
        UploadState state;
        bool loaded = false;
        std::deque<Observation> pending;
        int64_t nextTryMs = 0;
        int64_t pauseMs = 0;
        std::string said;  // the last condition said, so that each change is said once
    };
    Net& Slot(Network n) { return m_nets[static_cast<std::size_t>(n)]; }
    const Net& Slot(Network n) const { return m_nets[static_cast<std::size_t>(n)]; }
    void Apply(Net& net, const Outcome& outcome, int64_t sentUpToMs, int64_t nowMs);
    void SayOnce(Net& net, const std::string& condition, const std::string& text);
    void Save(Net& net);

    HttpClient& m_http;
    AprsClient& m_aprs;
    FileSystem& m_files;
    std::string m_folder;
    Say m_say;
    UploadSettings m_settings;
    std::array<Net, kNetworks.size()> m_nets{};
};

// What `tavrolin-upload --status` prints of a network, and tavrolin-web's "Uploads" line: the
// last success, the last error in the network's own words, how far behind it is. Times in
// UTC, or as local times of `zone` ("09.12.2026 13:05:02").
std::string StatusLine(const NetworkSettings& network, const UploadState& state, int64_t nowMs,
                       const TimeZone* zone = nullptr);

}  // namespace tavrolin
