// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace tavrolin::sim {

// The simulator's end of the line: a pseudo-terminal pair (POSIX, Linux). The program
// under test opens the slave like a serial port; the simulator reads and writes the master.
//
// On Linux a master whose slave has been opened and closed again reports POLLHUP (and
// read() fails with EIO) for as long as nobody has the slave open: a poll loop would spin.
// Bytes written meanwhile stay queued and greet the next program as stale input, and a
// TIOCEXCL that the last program set stays on the tty, so that the next program that does
// not run as root is refused with EBUSY. Hence the simulator keeps one descriptor of the
// slave open itself (the master never hangs up), watches the slave's device node with
// inotify to learn when programs open and close it, and, when the last one has gone,
// clears the exclusive flag, drops the unread input and sets the line back to raw
// 19200 8O2. It writes nothing while no program has the line open.
class PseudoTerminal {
public:
    PseudoTerminal() = default;
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // False with a message when the pair cannot be made.
    bool Open(std::string& error);

    int MasterFd() const { return m_master; }
    // The inotify descriptor, or -1 when the slave cannot be watched; then a program is
    // taken to be always there.
    int WatchFd() const { return m_watch; }
    const std::string& SlavePath() const { return m_slavePath; }

    bool ClientPresent() const { return m_watch < 0 || m_clients > 0; }

    // Takes the watch's events. True when a program came to a line that had none or the
    // last one went.
    bool ReadWatch();

    // After a hangup of the slave (a program called vhangup) every descriptor of it is
    // dead, the simulator's own too: open a fresh one. False when that fails.
    bool RecoverFromHangup();

private:
    void SetLine(int fd);
    bool OpenKeeper();
    void ReopenKeeper();
    void ResetLine();

    int m_master = -1;
    int m_keeper = -1;  // the simulator's own descriptor of the slave
    int m_watch = -1;
    int m_clients = 0;  // opens minus closes seen on the slave since the watch began
    std::string m_slavePath;
};

// Makes `link` a symbolic link to `target`. An existing symbolic link is replaced; any other
// file there is left alone and the call fails with a message.
bool CreateLink(const std::string& link, const std::string& target, std::string& error);

// Removes `link` if it is still a symbolic link to `target`.
void RemoveLink(const std::string& link, const std::string& target);

}  // namespace tavrolin::sim
