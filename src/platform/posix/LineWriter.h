// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string_view>

namespace tavrolin {

// Lines on a descriptor that must never hold up its writer: the logger's stdout, while the
// receiver's bytes pile up at 1600 a second. The lines of one poll go out together, in one
// write, and only when the descriptor takes bytes at once (a reader that lags loses lines,
// the protocol file has them all); once the reader has gone (EPIPE, with SIGPIPE ignored)
// nothing more is tried.
class LineWriter {
public:
    explicit LineWriter(int fd) : m_fd(fd) {}

    // Writes the lines, each of which ends in "\n".
    void WriteLines(std::string_view lines);

    // Lines lost to a reader that lagged or went away.
    uint64_t Dropped() const { return m_dropped; }
    bool Gone() const { return m_gone; }

private:
    void Drop(std::string_view lines);

    int m_fd;
    bool m_gone = false;
    uint64_t m_dropped = 0;
};

}  // namespace tavrolin
