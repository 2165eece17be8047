// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/SimulatorLoop.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <span>
#include <string_view>

namespace tavrolin::sim {

namespace {

// While the master is hung up and cannot be revived, try again this often.
constexpr SimTime kHangupRetry{250000};

std::string Hex(std::span<const uint8_t> bytes) {
    std::string text;
    char b[4];
    for (const uint8_t byte : bytes) {
        std::snprintf(b, sizeof b, "%s%02X", text.empty() ? "" : " ", byte);
        text += b;
    }
    return text;
}

const char* CommandName(Command command) {
    switch (command) {
        case Command::Start:
            return "Startbefehl";
        case Command::Stop:
            return "Stoppbefehl";
        case Command::Other:
            break;
    }
    return "unbekannter Befehl";
}

const char* AnswerName(Answer answer) {
    switch (answer) {
        case Answer::Ack:
            return "mit ACK beantwortet";
        case Answer::Nak:
            return "mit NAK beantwortet";
        case Answer::None:
            break;
    }
    return "unbeantwortet";
}

}  // namespace

void SimulatorLoop::Log(const std::string& text) const {
    if (m_options.verbose) {
        std::fprintf(stderr, "tavrolin-sim: [%10.3f] %s\n", Now().count() / 1e6, text.c_str());
    }
}

// Writes what is left of the last output; false while the line takes no more.
bool SimulatorLoop::FlushPending() {
    while (!m_pending.empty()) {
        const ssize_t n = ::write(m_pty.MasterFd(), m_pending.data(), m_pending.size());
        if (n > 0) {
            m_pending.erase(m_pending.begin(), m_pending.begin() + n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno == EIO) {
            HungUp();
        }
        return false;
    }
    return true;
}

void SimulatorLoop::WriteOutput() {
    if (!m_masterUsable || !FlushPending()) {
        return;
    }
    const SimTime now = Now();
    while (std::optional<Output> out = m_sim.TakeOutput(now)) {
        if (m_options.verbose) {
            Log(std::string(out->answer ? "Antwort " : "Gesendet ") + Hex(out->bytes));
        }
        if (m_record) {
            const std::string_view bytes(reinterpret_cast<const char*>(out->bytes.data()),
                                         out->bytes.size());
            if (const FileError error = m_record->Write(bytes); error != FileError::None) {
                std::fprintf(stderr,
                             "tavrolin-sim: In die Datei %s (--record) läßt sich nicht "
                             "schreiben%s Der Mitschnitt endet hier.\n",
                             ShownFilePath(m_options.recordFile).c_str(),
                             std::string(FileErrorReason(error, FileAccess::Write)).c_str());
                m_record.reset();
            }
        }
        m_pending = std::move(out->bytes);
        if (!FlushPending()) {
            return;
        }
    }
}

void SimulatorLoop::ReadCommands() {
    uint8_t buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_pty.MasterFd(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno == EIO) {
            HungUp();
            return;
        }
        if (n <= 0) {
            return;
        }
        const auto bytes = std::span<const uint8_t>(buffer, static_cast<std::size_t>(n));
        for (const CommandEvent& event : m_sim.Receive(bytes, Now())) {
            if (!m_options.verbose) {
                continue;
            }
            if (!event.command) {
                Log("Übergangener Rahmen (" + std::string(FrameStatusName(event.frame.status)) +
                    "): " + Hex(event.frame.raw));
            } else {
                Log(std::string(CommandName(*event.command)) + " " + Hex(event.frame.raw) + ", " +
                    AnswerName(event.answer));
            }
        }
    }
}

void SimulatorLoop::ClientsChanged() {
    const bool present = m_pty.ClientPresent();
    Log(present ? "Ein Programm hat die Leitung geöffnet"
                : "Das letzte Programm hat die Leitung geschlossen");
    if (!present) {
        m_pending.clear();
    }
    m_sim.SetListening(present, Now());
}

// Only after a hangup of the slave: see PseudoTerminal.
void SimulatorLoop::HungUp() {
    m_pending.clear();
    const bool recovered = m_pty.RecoverFromHangup();
    pollfd check{m_pty.MasterFd(), POLLIN, 0};
    m_masterUsable = recovered && ::poll(&check, 1, 0) >= 0 && (check.revents & POLLHUP) == 0;
    Log(m_masterUsable ? "Die Leitung wurde aufgelegt (Hangup) und ist wieder bereit"
                       : "Die Leitung wurde aufgelegt (Hangup), der Simulator wartet");
    m_sim.SetListening(m_masterUsable && m_pty.ClientPresent(), Now());
    m_retryAt = Now() + kHangupRetry;
}

void SimulatorLoop::Run(int stopFd) {
    m_sim.SetListening(m_pty.ClientPresent(), Now());
    for (;;) {
        WriteOutput();

        std::optional<SimTime> wake = m_pending.empty() ? m_sim.NextWakeup() : std::nullopt;
        if (!m_masterUsable && (!wake || m_retryAt < *wake)) {
            wake = m_retryAt;
        }
        int timeoutMs = -1;
        if (wake) {
            // Rounded up: waking a little late costs nothing (the line runs ahead), waking
            // early would spin.
            const int64_t us = (*wake - Now()).count();
            timeoutMs = us <= 0 ? 0 : static_cast<int>(std::min<int64_t>((us + 999) / 1000, 60000));
        }

        pollfd fds[3] = {
            {stopFd, POLLIN, 0},
            {m_pty.WatchFd(), POLLIN, 0},
            {m_masterUsable ? m_pty.MasterFd() : -1,
             static_cast<short>(POLLIN | (m_pending.empty() ? 0 : POLLOUT)), 0},
        };
        if (::poll(fds, 3, timeoutMs) < 0 && errno != EINTR) {
            std::fprintf(stderr,
                         "tavrolin-sim: Das Warten auf die Leitung ist fehlgeschlagen: %s\n",
                         std::strerror(errno));
            return;
        }
        if (fds[0].revents != 0) {
            return;
        }
        // Opens and closes first: a program's first command must find the line listening.
        if ((fds[1].revents & POLLIN) && m_pty.ReadWatch()) {
            ClientsChanged();
        }
        if (fds[2].revents & POLLIN) {
            ReadCommands();
        }
        if (m_masterUsable && (fds[2].revents & (POLLHUP | POLLERR))) {
            HungUp();
        }
        if (!m_masterUsable && Now() >= m_retryAt) {
            HungUp();
        }
    }
}

}  // namespace tavrolin::sim
