// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/SystemSettings.h"

namespace tavrolin {

SystemSettings SystemSettings::Read(const SettingsStore& store) {
    SystemSettings s;
    const auto readInt = [&store](const char* key, int defaultValue) {
        return store.ReadInt(kSection, key, defaultValue);
    };
    s.left = readInt("Links", 0);
    s.top = readInt("Oben", 0);
    s.comPort = readInt("COM", 0);
    s.useMultiplexer = readInt("Mit MUX", 0);
    s.muxAddress = readInt("MUX Adresse", 0);
    s.rainAddress = readInt("Regen Adr", 7);
    s.windAddress = readInt("Wind Adr", 7);
    s.brightnessAddress = readInt("Helligkeit Adr", 7);
    s.pyranoAddress = readInt("Pyrano Adr", 7);
    s.recordingMask = readInt("Protokoll", -1);
    s.protocolFileName = store.ReadString(kSection, "Filename", "protokoll.dat");
    s.silenceMinutes = readInt("Stille Minuten", 15);
    return s;
}

bool SystemSettings::Write(SettingsStore& store) const {
    bool written = true;
    const auto writeInt = [&](const char* key, int value) {
        written = store.WriteInt(kSection, key, value) && written;
    };
    // A new profile gets its keys in this order.
    written = store.WriteString(kSection, "Filename", protocolFileName) && written;
    writeInt("Links", left);
    writeInt("Oben", top);
    writeInt("COM", comPort);
    writeInt("Mit MUX", useMultiplexer);
    writeInt("MUX Adresse", muxAddress);
    writeInt("Protokoll", recordingMask);
    writeInt("Helligkeit Adr", brightnessAddress);
    writeInt("Pyrano Adr", pyranoAddress);
    writeInt("Regen Adr", rainAddress);
    writeInt("Wind Adr", windAddress);
    return written;
}

}  // namespace tavrolin
