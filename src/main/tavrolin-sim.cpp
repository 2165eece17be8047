// SPDX-License-Identifier: GPL-3.0-or-later
// tavrolin-sim: the weather-sensor receiver on a pseudo-terminal. The simulator and its loop
// are in src/sim; this file reads the options and the files, sets up the link and the
// signals, and runs the loop.

#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Version.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/SignalPipe.h"
#include "sim/PseudoTerminal.h"
#include "sim/SimulatorLoop.h"

using namespace tavrolin;
using namespace tavrolin::sim;

namespace {

constexpr std::size_t kMaxReplayBytes = 64u << 20;

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const ParsedOptions parsed = ParseSimOptions(args);
    if (!parsed.options) {
        std::fprintf(stderr, "tavrolin-sim: %s\n", parsed.error.c_str());
        return 2;
    }
    const SimOptions& options = *parsed.options;
    if (options.help) {
        std::fputs(SimUsage().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::fputs(VersionText("tavrolin-sim").c_str(), stdout);
        return 0;
    }

    PosixFileSystem files;
    std::string replay;
    if (!options.replayFile.empty()) {
        FileError error = FileError::None;
        std::optional<std::string> content =
            files.ReadFile(options.replayFile, kMaxReplayBytes, error);
        if (!content) {
            const std::string reason =
                error == FileError::TooBig
                    ? ": Sie ist größer als " + std::to_string(kMaxReplayBytes >> 20) + " MiB."
                    : std::string(FileErrorReason(error, FileAccess::Read));
            std::fprintf(stderr, "tavrolin-sim: Die Datei %s (--replay) läßt sich nicht lesen%s\n",
                         ShownFilePath(options.replayFile).c_str(), reason.c_str());
            return 1;
        }
        replay = std::move(*content);
    }
    std::unique_ptr<OutputFile> record;
    if (!options.recordFile.empty()) {
        FileError error = FileError::None;
        record = files.OpenForWriting(options.recordFile, OpenMode::Append, error);
        if (!record) {
            std::fprintf(stderr, "tavrolin-sim: Die Datei %s (--record) läßt sich nicht öffnen%s\n",
                         ShownFilePath(options.recordFile).c_str(),
                         std::string(FileErrorReason(error, FileAccess::Write)).c_str());
            return 1;
        }
    }
    ::signal(SIGPIPE, SIG_IGN);
    SignalPipe signals;
    if (!signals.Install({SIGINT, SIGTERM, SIGHUP})) {
        std::fprintf(stderr, "tavrolin-sim: Die Signale lassen sich nicht abfangen: %s\n",
                     std::strerror(errno));
        return 1;
    }

    SimulatorLoop simulator(options, std::move(replay), std::move(record));
    std::string error;
    if (!simulator.Open(error)) {
        std::fprintf(stderr, "tavrolin-sim: %s\n", error.c_str());
        return 1;
    }
    const std::string& slave = simulator.SlavePath();
    if (!options.linkPath.empty() && !CreateLink(options.linkPath, slave, error)) {
        std::fprintf(stderr, "tavrolin-sim: %s\n", error.c_str());
        return 1;
    }
    if (options.linkPath.empty()) {
        std::printf("tavrolin-sim: ready on %s\n", slave.c_str());
    } else {
        std::printf("tavrolin-sim: ready on %s (link %s)\n", slave.c_str(),
                    options.linkPath.c_str());
    }
    std::fflush(stdout);

    simulator.Run(signals.Fd());

    if (!options.linkPath.empty()) {
        RemoveLink(options.linkPath, slave);
    }
    std::fprintf(stderr, "%s\n", SummaryLine(simulator.Counters()).c_str());
    return 0;
}
