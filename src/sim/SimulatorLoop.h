// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/FileSystem.h"
#include "sim/PseudoTerminal.h"
#include "sim/ReceiverSimulator.h"

namespace tavrolin::sim {

// The receiver simulator on its pseudo-terminal: everything it decides is the
// ReceiverSimulator's; this loop does the I/O. It waits in poll(2) for the program's command
// frames, for programs opening and closing the line, and for the next telegram that falls due,
// and writes what the line takes.
class SimulatorLoop {
public:
    SimulatorLoop(const SimOptions& options, std::string replay, std::unique_ptr<OutputFile> record)
        : m_options(options),
          m_sim(options, std::move(replay)),
          m_record(std::move(record)),
          m_start(std::chrono::steady_clock::now()) {}

    bool Open(std::string& error) { return m_pty.Open(error); }
    const std::string& SlavePath() const { return m_pty.SlavePath(); }
    // Runs until stopFd becomes readable.
    void Run(int stopFd);
    const SimCounters& Counters() const { return m_sim.Counters(); }

private:
    SimTime Now() const {
        return std::chrono::duration_cast<SimTime>(std::chrono::steady_clock::now() - m_start);
    }
    void Log(const std::string& text) const;
    void WriteOutput();
    bool FlushPending();
    void ReadCommands();
    void ClientsChanged();
    void HungUp();

    SimOptions m_options;
    ReceiverSimulator m_sim;
    std::unique_ptr<OutputFile> m_record;
    PseudoTerminal m_pty;
    std::chrono::steady_clock::time_point m_start;
    std::vector<uint8_t> m_pending;  // written only in part: the line was full
    bool m_masterUsable = true;
    SimTime m_retryAt{0};
};

}  // namespace tavrolin::sim
