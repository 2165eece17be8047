// SPDX-License-Identifier: GPL-3.0-or-later
#include "E2eSupport.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <filesystem>
#include <regex>

namespace tavrolin::e2e {

Simulator::Simulator(const std::string& link, std::vector<std::string> args)
    : ChildProcess(TAVROLIN_SIM_PROGRAM, [&] {
          args.insert(args.begin(), {"--link", link});
          return args;
      }()) {
    m_ready = ReadyLine(In(std::chrono::seconds(5))).starts_with("tavrolin-sim: ready on ");
}

void WriteProfile(const std::string& path, const std::string& systemLines,
                  const std::string& link) {
    std::string profile = "[SYSTEM]\r\n";
    for (std::size_t from = 0; from < systemLines.size();) {
        const std::size_t end = std::min(systemLines.find('\n', from), systemLines.size());
        profile += systemLines.substr(from, end - from) + "\r\n";
        from = end + 1;
    }
    if (!link.empty()) {
        profile += "[Ports]\r\nCOM1=" + link + "\r\n";
    }
    testing::WriteBytes(path, profile);
}

std::vector<std::string> FileLines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (std::size_t end; (end = bytes.find("\r\n", from)) != std::string::npos; from = end + 2) {
        lines.push_back(bytes.substr(from, end - from));
    }
    if (from < bytes.size()) {
        lines.push_back(bytes.substr(from));
    }
    return lines;
}

bool WaitForFileLines(const std::string& path, std::size_t count, TestClock::time_point deadline) {
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch < 0) {
        return false;
    }
    const std::string folder = std::filesystem::path(path).parent_path().string();
    ::inotify_add_watch(watch, folder.c_str(), IN_MODIFY | IN_CREATE | IN_CLOSE_WRITE);
    bool done = false;
    for (;;) {
        const std::string bytes = testing::ReadBytes(path);
        std::size_t lines = 0;
        for (std::size_t at = 0; (at = bytes.find("\r\n", at)) != std::string::npos; at += 2) {
            ++lines;
        }
        if (lines >= count) {
            done = true;
            break;
        }
        if (!testing::WaitReadable(watch, deadline)) {
            break;
        }
        char events[4096];
        while (::read(watch, events, sizeof events) > 0) {
        }
    }
    ::close(watch);
    return done;
}

std::string Masked(const std::string& line) {
    static const std::regex withInterval(R"(^\(\d\d:\d\d:\d\d\.\d\) : \(-?\d+\.\d\ds\))");
    static const std::regex prefix(R"(^\(\d\d:\d\d:\d\d\.\d\) : )");
    static const std::regex fenster(R"((Fenster (High|Low)) -?\d+\.\d\d s$)");
    std::string masked = std::regex_replace(line, withInterval, "(hh:mm:ss.t) : (*s)");
    masked = std::regex_replace(masked, prefix, "(hh:mm:ss.t) : ");
    return std::regex_replace(masked, fenster, "$1 * s");
}

}  // namespace tavrolin::e2e
