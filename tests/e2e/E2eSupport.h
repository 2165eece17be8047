// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the end-to-end tests share: the two programs as children, a profile pointing at the
// simulator's line, and the protocol file read back.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "TempDir.h"

namespace tavrolin::e2e {

using testing::ChildProcess;
using testing::ChildSetup;
using testing::In;
using testing::TempDir;
using testing::TestClock;

// tavrolin-sim on a pseudo-terminal behind `link`, ready when constructed (check Ready()).
class Simulator : public ChildProcess {
public:
    Simulator(const std::string& link, std::vector<std::string> args);
    bool Ready() const { return m_ready; }

private:
    bool m_ready = false;
};

// A folder of its own for XDG_DATA_HOME and XDG_RUNTIME_DIR, so that a child's default
// archive stays out of the tester's home and its live feed is its own.
struct DataHome {
    TempDir dataHome;
    ChildSetup With(ChildSetup setup) const {
        setup.environment.push_back("XDG_DATA_HOME=" + dataHome.Path().string());
        setup.environment.push_back("XDG_RUNTIME_DIR=" + dataHome.Path().string());
        return setup;
    }
    // Where the child offers its live feed.
    std::string LivePath() const { return dataHome.File("tavrolin/live.sock"); }
};

class Logger : private DataHome, public ChildProcess {
public:
    explicit Logger(std::vector<std::string> args, const ChildSetup& setup = {})
        : ChildProcess(TAVROLIN_LOG_PROGRAM, std::move(args), With(setup)) {}
    // Where it keeps the archive when the profile names none.
    std::string DefaultArchive() const { return dataHome.File("tavrolin/archiv.sqlite"); }
    using DataHome::LivePath;
};

// tavrolin-history with the given arguments.
class History : public ChildProcess {
public:
    explicit History(std::vector<std::string> args, const ChildSetup& setup = {})
        : ChildProcess(TAVROLIN_HISTORY_PROGRAM, std::move(args), setup) {}
};

// What a program said on stderr besides its start messages (the lines "Start: ..."), and
// those alone, each without its "\n".
std::string AfterStart(const std::string& stderrText);
std::vector<std::string> StartLines(const std::string& stderrText);

// Writes a profile: the [SYSTEM] lines given, and [Ports] COM1 = link when link is set.
void WriteProfile(const std::string& path, const std::string& systemLines, const std::string& link);

// The protocol file's lines without their CR LF; a last line without one is kept as is, so
// that a torn line shows.
std::vector<std::string> FileLines(const std::string& bytes);

// Waits (inotify on the file's folder, with a deadline) until the file holds `count`
// complete lines.
bool WaitForFileLines(const std::string& path, std::size_t count, TestClock::time_point deadline);

// The fields of /proc/<pid>/status ("VmRSS" -> "1234 kB", "Uid" -> "0\t0\t0\t0").
std::map<std::string, std::string> ProcessStatus(pid_t pid);
// The CPU time a process has used, user and system, in clock ticks (1/100 s).
int64_t CpuTicks(pid_t pid);
// How many file descriptors a process has open.
int OpenDescriptors(pid_t pid);

// A socket where systemd would listen for a service's notices (sd_notify): bound at path,
// a Unix datagram socket as systemd's own, open to every user.
class NotifySocket {
public:
    explicit NotifySocket(const std::string& path);
    ~NotifySocket();
    NotifySocket(const NotifySocket&) = delete;
    NotifySocket& operator=(const NotifySocket&) = delete;
    bool Bound() const { return m_fd >= 0; }
    // Waits for a datagram that holds the line `text` (a prefix of it, with prefix set),
    // taking all that came before it; what came is in Received().
    bool WaitFor(const std::string& text, TestClock::time_point deadline, bool prefix = false);
    const std::vector<std::string>& Received() const { return m_received; }

private:
    int m_fd = -1;
    std::size_t m_seen = 0;
    std::vector<std::string> m_received;  // one line of each datagram each
};

// Why tests/e2e/sandbox-run cannot build a unit's sandbox here; empty when it can.
std::string SandboxMissing();
// Whether the services' kind of user, nobody, can run the programs from where they were
// built (a build below /root cannot): only then may a root's test run them as nobody.
bool NobodyReachesThePrograms();

// A record line with its time prefix and its interval masked: "(hh:mm:ss.t) : (*s)  ...",
// "... Fenster High * s".
std::string Masked(const std::string& line);

}  // namespace tavrolin::e2e
