// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

#include "settings/SettingsStore.h"

namespace tavrolin {

// The profile's section "SYSTEM": what the receiver window saves when it closes and reads
// when it starts, and what the headless logger reads. One place for the keys and their
// defaults, so the two programs can never read them differently.
struct SystemSettings {
    static constexpr const char* kSection = "SYSTEM";
    // The highest multiplexer address in use: port 6 of both stages.
    static constexpr int kMaxMuxAddress = 66;

    int left = 0;  // window position
    int top = 0;
    int comPort = 0;  // 0..3 for COM1..COM4
    int useMultiplexer = 0;
    int muxAddress = 0;  // as stored; see MuxAddressShown
    int recordingMask = -1;
    int rainAddress = 7;
    int windAddress = 7;
    int brightnessAddress = 7;
    int pyranoAddress = 7;
    std::string protocolFileName = "protokoll.dat";  // Windows-1252
    // No byte from the receiver for this long starts it anew; 0 (or less): never. Only
    // read: the window does not change it.
    int silenceMinutes = 15;

    // Every key, with its default where it is missing.
    static SystemSettings Read(const SettingsStore& store);
    // Every key, also after a failure: a key refused for its value alone (a file name with a
    // line end) must not keep the others from being saved. False when any write failed.
    bool Write(SettingsStore& store) const;

    // The multiplexer address as the window shows and uses it: beyond 0..66 it is 0 (not the
    // nearer bound).
    static int MuxAddressShown(int stored) {
        return stored < 0 || stored > kMaxMuxAddress ? 0 : stored;
    }
    int64_t SilenceMs() const { return silenceMinutes > 0 ? int64_t{silenceMinutes} * 60000 : 0; }
};

}  // namespace tavrolin
