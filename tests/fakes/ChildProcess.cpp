// SPDX-License-Identifier: GPL-3.0-or-later
#include "ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace tavrolin::testing {

namespace {

int MsUntil(TestClock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TestClock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), -1));
}

// Appends what fd has now; false once it has reached end of file.
bool Drain(int fd, std::string& into) {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            into.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        return n < 0 && (errno == EAGAIN || errno == EINTR);
    }
}

}  // namespace

bool WaitReadable(int fd, TestClock::time_point deadline) {
    for (;;) {
        const int left = MsUntil(deadline);
        if (left < 0) {
            return false;
        }
        pollfd p{fd, POLLIN, 0};
        const int r = ::poll(&p, 1, left + 1);
        if (r > 0) {
            return true;
        }
        if (r < 0 && errno != EINTR) {
            return false;
        }
    }
}

ChildProcess::ChildProcess(const std::string& program, std::vector<std::string> args,
                           const ChildSetup& setup) {
    int out[2];
    int err[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        return;
    }
    if (::pipe2(err, O_CLOEXEC) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        return;
    }
    std::vector<char*> argv;
    std::string programCopy = program;
    argv.push_back(programCopy.data());
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    std::vector<std::string> environment = setup.environment;

    m_pid = ::fork();
    if (m_pid == 0) {
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        for (std::string& variable : environment) {
            ::putenv(variable.data());
        }
        if (!setup.workingDirectory.empty() && ::chdir(setup.workingDirectory.c_str()) != 0) {
            ::_exit(126);
        }
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    m_out = out[0];
    m_err = err[0];
    ::fcntl(m_out, F_SETFL, O_NONBLOCK);
    ::fcntl(m_err, F_SETFL, O_NONBLOCK);
}

ChildProcess::~ChildProcess() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    if (m_out >= 0) {
        ::close(m_out);
    }
    if (m_err >= 0) {
        ::close(m_err);
    }
}

bool ChildProcess::Pump(const std::function<bool()>& done, TestClock::time_point deadline) {
    for (;;) {
        if (done()) {
            return true;
        }
        if (m_out < 0 && m_err < 0) {
            return false;
        }
        const int left = MsUntil(deadline);
        if (left < 0) {
            return false;
        }
        pollfd fds[2] = {{m_out, POLLIN, 0}, {m_err, POLLIN, 0}};
        const int r = ::poll(fds, 2, left + 1);
        if (r < 0 && errno != EINTR) {
            return false;
        }
        if (fds[0].revents != 0 && !Drain(m_out, m_stdout)) {
            ::close(m_out);
            m_out = -1;
        }
        if (fds[1].revents != 0 && !Drain(m_err, m_stderr)) {
            ::close(m_err);
            m_err = -1;
        }
    }
}

std::string ChildProcess::ReadyLine(TestClock::time_point deadline) {
    Pump([this] { return m_stdout.find('\n') != std::string::npos; }, deadline);
    return m_stdout.substr(0, m_stdout.find('\n'));
}

bool ChildProcess::WaitForStderr(const std::string& text, TestClock::time_point deadline) {
    std::size_t at = std::string::npos;
    const bool found = Pump(
        [&] {
            at = m_stderr.find(text, m_seen);
            return at != std::string::npos;
        },
        deadline);
    if (found) {
        m_seen = at + text.size();
    }
    return found;
}

bool ChildProcess::WaitForStdoutLines(std::size_t count, TestClock::time_point deadline) {
    return Pump(
        [&] {
            return static_cast<std::size_t>(std::count(m_stdout.begin(), m_stdout.end(), '\n')) >=
                   count;
        },
        deadline);
}

void ChildProcess::Signal(int signal) {
    if (m_pid > 0) {
        ::kill(m_pid, signal);
    }
}

std::optional<int> ChildProcess::Terminate(TestClock::time_point deadline) {
    Signal(SIGTERM);
    return Exit(deadline);
}

std::optional<int> ChildProcess::Exit(TestClock::time_point deadline) {
    if (m_pid <= 0) {
        return std::nullopt;
    }
    // Both pipes close when the child ends (it starts no children of its own).
    if (!Pump([this] { return m_out < 0 && m_err < 0; }, deadline)) {
        return std::nullopt;
    }
    int status = 0;
    if (::waitpid(m_pid, &status, 0) != m_pid) {
        return std::nullopt;
    }
    m_pid = -1;
    return WIFEXITED(status) ? std::optional<int>(WEXITSTATUS(status)) : std::nullopt;
}

void ChildProcess::CloseStdout() {
    if (m_out >= 0) {
        ::close(m_out);
        m_out = -1;
    }
}

std::vector<std::string> ChildProcess::StdoutLines() const {
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (std::size_t end; (end = m_stdout.find('\n', from)) != std::string::npos; from = end + 1) {
        lines.push_back(m_stdout.substr(from, end - from));
    }
    return lines;
}

}  // namespace tavrolin::testing
