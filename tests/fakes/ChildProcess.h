// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tavrolin::testing {

using TestClock = std::chrono::steady_clock;

// Now plus the given time: the deadline of a bounded wait.
inline TestClock::time_point In(std::chrono::milliseconds time) {
    return TestClock::now() + time;
}

// Waits for fd to become readable until the deadline; false on time-out or error.
bool WaitReadable(int fd, TestClock::time_point deadline);

// How a child starts besides its arguments.
struct ChildSetup {
    std::vector<std::string> environment;  // "NAME=value", set on top of the test's own
    std::string workingDirectory;          // empty: the test's
};

// A program (tavrolin-sim, tavrolin-log) run as a child process with its stdout and stderr
// on pipes. Every wait is a poll(2) with a deadline that keeps both pipes drained; a child
// still running when the object goes is killed.
class ChildProcess {
public:
    ChildProcess(const std::string& program, std::vector<std::string> args,
                 const ChildSetup& setup = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return m_pid > 0; }
    pid_t Pid() const { return m_pid; }

    // The first line on stdout (without its end), or what came of it by the deadline.
    std::string ReadyLine(TestClock::time_point deadline);
    // Waits until stderr holds `text` after what an earlier wait found there.
    bool WaitForStderr(const std::string& text, TestClock::time_point deadline);
    // Waits until stdout holds at least `count` complete lines.
    bool WaitForStdoutLines(std::size_t count, TestClock::time_point deadline);

    void Signal(int signal);
    // SIGTERM, then the exit status once the child has ended; nothing when it does not end
    // in time or ends by a signal.
    std::optional<int> Terminate(TestClock::time_point deadline);
    // The exit status of a child that ends by itself.
    std::optional<int> Exit(TestClock::time_point deadline);

    // Closes the test's end of the child's stdout: its next writes there fail with EPIPE.
    void CloseStdout();

    const std::string& Stdout() const { return m_stdout; }
    const std::string& Stderr() const { return m_stderr; }
    std::vector<std::string> StdoutLines() const;

private:
    // Drains both pipes until `done` holds, both have closed, or the deadline passes.
    bool Pump(const std::function<bool()>& done, TestClock::time_point deadline);

    pid_t m_pid = -1;
    int m_out = -1;
    int m_err = -1;
    std::string m_stdout;
    std::string m_stderr;
    std::size_t m_seen = 0;
};

}  // namespace tavrolin::testing
