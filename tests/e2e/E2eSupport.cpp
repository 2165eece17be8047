// SPDX-License-Identifier: GPL-3.0-or-later
#include "E2eSupport.h"

#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

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

std::map<std::string, std::string> ProcessStatus(pid_t pid) {
    std::map<std::string, std::string> fields;
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);) {
        const std::size_t colon = line.find(':');
        const std::size_t value = line.find_first_not_of(" \t", colon + 1);
        if (colon != std::string::npos && value != std::string::npos) {
            fields[line.substr(0, colon)] = line.substr(value);
        }
    }
    return fields;
}

int64_t CpuTicks(pid_t pid) {
    const std::string stat = testing::ReadBytes("/proc/" + std::to_string(pid) + "/stat");
    // After the command's ")" come the fields from the third on; utime and stime are the
    // 14th and 15th.
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    int64_t ticks = 0;
    for (int number = 3; number <= 15 && fields >> field; ++number) {
        if (number >= 14) {
            ticks += std::stoll(field);
        }
    }
    return ticks;
}

int OpenDescriptors(pid_t pid) {
    std::error_code error;
    int count = 0;
    for (std::filesystem::directory_iterator it("/proc/" + std::to_string(pid) + "/fd", error), end;
         !error && it != end; it.increment(error)) {
        ++count;
    }
    return count;
}

NotifySocket::NotifySocket(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        return;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_fd >= 0 &&
        (::bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
         ::chmod(path.c_str(), 0777) != 0)) {
        ::close(m_fd);
        m_fd = -1;
    }
}

NotifySocket::~NotifySocket() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

bool NotifySocket::WaitFor(const std::string& text, TestClock::time_point deadline, bool prefix) {
    for (;;) {
        for (; m_seen < m_received.size(); ++m_seen) {
            const std::string& line = m_received[m_seen];
            if (line == text || (prefix && line.starts_with(text))) {
                ++m_seen;
                return true;
            }
        }
        if (m_fd < 0 || !testing::WaitReadable(m_fd, deadline)) {
            return false;
        }
        char datagram[4096];
        for (ssize_t n; (n = ::recv(m_fd, datagram, sizeof datagram, 0)) > 0;) {
            std::istringstream lines(std::string(datagram, static_cast<std::size_t>(n)));
            for (std::string line; std::getline(lines, line);) {
                m_received.push_back(line);
            }
        }
    }
}

std::string Masked(const std::string& line) {
    static const std::regex withInterval(R"(^\(\d\d:\d\d:\d\d\.\d\) : \(-?\d+\.\d\ds\))");
    static const std::regex prefix(R"(^\(\d\d:\d\d:\d\d\.\d\) : )");
    static const std::regex fenster(R"((Fenster (High|Low)) -?\d+\.\d\d s$)");
    std::string masked = std::regex_replace(line, withInterval, "(hh:mm:ss.t) : (*s)");
    masked = std::regex_replace(masked, prefix, "(hh:mm:ss.t) : ");
    return std::regex_replace(masked, fenster, "$1 * s");
}

std::string SandboxMissing() {
    if (std::string(TAVROLIN_SECCOMP_EXEC).empty()) {
        return "built without libseccomp";
    }
    ChildProcess probe(TAVROLIN_SANDBOX_RUN, {"--probe"});
    if (probe.Exit(In(std::chrono::seconds(10))) == 0) {
        return "";
    }
    return probe.Stderr().empty() ? "the sandbox probe failed" : probe.Stderr();
}

bool NobodyReachesThePrograms() {
    if (::geteuid() != 0) {
        return false;
    }
    ChildProcess check("/usr/bin/setpriv",
                       {"--reuid=65534", "--regid=65534", "--clear-groups", "--", "/bin/sh", "-c",
                        "test -x \"$0\" && test -x \"$1\" && test -x \"$2\" && test -r \"$3\"",
                        TAVROLIN_LOG_PROGRAM, TAVROLIN_HISTORY_PROGRAM, TAVROLIN_SECCOMP_EXEC,
                        std::string(TAVROLIN_UNIT_DIR) + "/tavrolin-log.service"});
    return check.Exit(In(std::chrono::seconds(10))) == 0;
}

namespace {

constexpr std::string_view kStartCaption = "Start: ";

template <typename Keep>
void ForEachLine(const std::string& text, Keep keep) {
    std::size_t begin = 0;
    while (begin < text.size()) {
        const std::size_t end = std::min(text.find('\n', begin), text.size());
        keep(std::string_view(text).substr(begin, end - begin), end < text.size());
        begin = end + 1;
    }
}

}  // namespace

std::string AfterStart(const std::string& stderrText) {
    std::string rest;
    ForEachLine(stderrText, [&rest](std::string_view line, bool ended) {
        if (!line.starts_with(kStartCaption)) {
            rest.append(line);
            rest.append(ended ? "\n" : "");
        }
    });
    return rest;
}

std::vector<std::string> StartLines(const std::string& stderrText) {
    std::vector<std::string> lines;
    ForEachLine(stderrText, [&lines](std::string_view line, bool) {
        if (line.starts_with(kStartCaption)) {
            lines.emplace_back(line);
        }
    });
    return lines;
}

}  // namespace tavrolin::e2e
