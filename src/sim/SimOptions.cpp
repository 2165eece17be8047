// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/SimOptions.h"

#include "base/CommandLine.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace tavrolin::sim {

namespace {

template <typename T>
bool ParseNumber(std::string_view text, T& value) {
    if (text.empty()) {
        return false;
    }
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end;
}

bool ParseInt(std::string_view text, int low, int high, int& value) {
    long long v = 0;
    if (!ParseNumber(text, v) || v < low || v > high) {
        return false;
    }
    value = static_cast<int>(v);
    return true;
}

}  // namespace

std::string SimUsage() {
    return R"usage(Usage: tavrolin-sim [OPTIONS]

Simulates the weather-sensor receiver on a pseudo-terminal: it answers the program's command
frames and, once started, sends sensor telegrams of a whole weather station.

At start it prints one line "tavrolin-sim: ready on /dev/pts/N (link PATH)" on stdout.
SIGINT, SIGTERM or SIGHUP end it with a summary on stderr and exit status 0.

Options:
  --link PATH     make PATH a symlink to the pseudo-terminal (an old symlink there is
                  replaced, any other file is left alone and the simulator refuses to
                  start); the link is removed at exit
  --speed X       divide the station's periods by X (--speed 60 makes a minute a second);
                  default 1
  --rate N        load mode: N telegrams a second, round-robin over the station's sensors.
                  The line carries at most 200 telegrams a second (19200 baud, 8O2); the
                  sending never outruns it
  --noise         random bytes other than STX (0x02) between telegrams, ETX (0x03) among
                  them
  --split         send every telegram in two writes a few ms apart
  --count N       stop sending after N telegrams; commands are still answered
  --replay FILE   once started, send the bytes of FILE (a capture made with --record)
                  instead of the station, in pieces that end at an ETX, paced at the
                  line's speed or at --rate pieces a second; then nothing. --noise and
                  --split do not apply to it
  --record FILE   append every byte sent (telegrams, noise, answers) to FILE
  --seed N        seed of the station's values, the noise and the split points; default 1
  --silent N      do not answer the first N commands
  --nak N         answer NAK (02 15 03) to the N commands after the silent ones
  --verbose       log received frames and sent bytes in hex on stderr
  --help          show this text

Commands: the start command (payload FF 00 00 00 00 00) and the stop command (payload
FE 00 00 00 00 00) are answered with ACK (02 06 03); other commands with NAK. Commands are
counted in arrival order, so with --silent S --nak N the commands 1..S go unanswered,
S+1..S+N get NAK and from S+N+1 on the answers are as usual. A command that is not answered
with ACK has no effect. Frames with a wrong checksum or a broken escape are ignored and do
not count as commands.

After a start the station begins a round: each sensor is heard once within the first
seconds (divided by --speed), then on its own period. No telegram follows an answer frame
within 50 ms, so that the answer arrives on its own. After a stop nothing is sent.

While no program has the pseudo-terminal open, nothing is written: the telegrams that fall
due meanwhile are lost as on a real line (a replay pauses instead).
)usage";
}

ParsedOptions ParseSimOptions(std::span<const std::string_view> args) {
    SimOptions o;
    const auto fail = [](std::string text) { return ParsedOptions{std::nullopt, std::move(text)}; };

    OptionReader reader(args);
    while (reader.Next()) {
        const std::string_view name = reader.Name();
        const auto flag = [&](bool& target) {
            target = true;
            return !reader.HasInlineValue();
        };
        const auto value = [&reader] { return reader.Value(); };
        const std::string option(name);

        if (name == "--help" || name == "-h") {
            o.help = true;
        } else if (name == "--noise" || name == "--split" || name == "--verbose") {
            bool& target = name == "--noise" ? o.noise : name == "--split" ? o.split : o.verbose;
            if (!flag(target)) {
                return fail(option + " takes no value");
            }
        } else if (name == "--link" || name == "--replay" || name == "--record") {
            const auto v = value();
            if (!v || v->empty()) {
                return fail(option + " needs a file name");
            }
            (name == "--link"     ? o.linkPath
             : name == "--replay" ? o.replayFile
                                  : o.recordFile) = std::string(*v);
        } else if (name == "--speed") {
            const auto v = value();
            double speed = 0;
            if (!v || !ParseNumber(*v, speed) || !std::isfinite(speed) || speed < 0.001 ||
                speed > 1e6) {
                return fail("--speed needs a number from 0.001 to 1000000");
            }
            o.speed = speed;
        } else if (name == "--rate") {
            const auto v = value();
            if (!v || !ParseInt(*v, 1, 100000, o.rate)) {
                return fail("--rate needs a whole number from 1 to 100000");
            }
        } else if (name == "--nak" || name == "--silent") {
            const auto v = value();
            if (!v || !ParseInt(*v, 0, 1000000, name == "--nak" ? o.nak : o.silent)) {
                return fail(option + " needs a whole number from 0 to 1000000");
            }
        } else if (name == "--count" || name == "--seed") {
            const auto v = value();
            uint64_t n = 0;
            if (!v || !ParseNumber(*v, n)) {
                return fail(option + " needs a whole number from 0 to " +
                            std::to_string(std::numeric_limits<uint64_t>::max()));
            }
            if (name == "--count") {
                o.count = n;
            } else {
                o.seed = n;
            }
        } else {
            return fail("unknown option " + std::string(reader.Argument()) + " (see --help)");
        }
    }
    return ParsedOptions{o, ""};
}

}  // namespace tavrolin::sim
