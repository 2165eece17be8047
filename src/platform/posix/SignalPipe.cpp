// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/SignalPipe.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <utility>
#include <vector>

namespace tavrolin {

namespace {

int g_pipe[2] = {-1, -1};
// The signals caught and what they did before, to be set back.
std::vector<std::pair<int, struct sigaction>> g_previous;

void OnSignal(int signal) {
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(signal);
    // A full pipe loses nothing that matters: a signal is already waiting in it.
    [[maybe_unused]] const ssize_t ignored = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

SignalPipe::~SignalPipe() {
    if (g_pipe[0] < 0) {
        return;
    }
    // The handlers go before the pipe: one that wrote to a closed descriptor might write
    // into whatever file gets its number next.
    for (const auto& [signal, previous] : g_previous) {
        ::sigaction(signal, &previous, nullptr);
    }
    g_previous.clear();
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

bool SignalPipe::Install(std::initializer_list<int> signals) {
    if (g_pipe[0] >= 0) {
        errno = EBUSY;
        return false;
    }
    if (::pipe2(g_pipe, O_NONBLOCK | O_CLOEXEC) != 0) {
        return false;
    }
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted system calls go on by themselves; the loop sees the signal at its poll.
    action.sa_flags = SA_RESTART;
    for (const int signal : signals) {
        struct sigaction previous {};
        if (::sigaction(signal, &action, &previous) != 0) {
            return false;
        }
        g_previous.emplace_back(signal, previous);
    }
    return true;
}

int SignalPipe::Fd() const {
    return g_pipe[0];
}

int SignalPipe::Take() {
    unsigned char byte = 0;
    for (;;) {
        const ssize_t n = ::read(g_pipe[0], &byte, 1);
        if (n == 1) {
            return byte;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return 0;
    }
}

}  // namespace tavrolin
