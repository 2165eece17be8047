// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tavrolin::sim {

struct SimOptions {
    std::string linkPath;           // symlink to the pseudo-terminal's slave; empty: none
    double speed = 1.0;             // the station's periods are divided by this
    int rate = 0;                   // load mode: telegrams a second, round-robin; 0: station timing
    bool noise = false;             // random non-STX bytes between telegrams
    bool split = false;             // every telegram in two writes a few ms apart
    std::optional<uint64_t> count;  // stop sending after this many telegrams
    std::string replayFile;         // send this capture once started, instead of the station
    std::string recordFile;         // append every byte sent to this file
    uint64_t seed = 1;
    int nak = 0;     // answer NAK to these commands (after the silent ones)
    int silent = 0;  // do not answer the first commands
    bool verbose = false;
    bool help = false;
    bool version = false;
};

struct ParsedOptions {
    std::optional<SimOptions> options;  // absent when the command line is wrong
    std::string error;                  // what is wrong with it
};

// The arguments after the program name. Options take their value as the next argument or
// after '=' (--speed 60, --speed=60).
ParsedOptions ParseSimOptions(std::span<const std::string_view> args);

// The text of --help, German like every message.
std::string SimUsage();

}  // namespace tavrolin::sim
