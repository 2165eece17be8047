// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tavrolin {

// Lines on a descriptor that must never hold up its writer: the logger's stdout, while the
// receiver's bytes pile up at 1600 a second. A line goes out only when the descriptor takes
// it at once (a reader that lags loses lines, the protocol file has them all); once the
// reader has gone (EPIPE, with SIGPIPE ignored) nothing more is tried. Each line is one
// write, so it is out before the next record.
class LineWriter {
public:
    explicit LineWriter(int fd) : m_fd(fd) {}

    // Writes the line and "\n".
    void WriteLine(std::string_view line);

    uint64_t Dropped() const { return m_dropped; }
    bool Gone() const { return m_gone; }

private:
    int m_fd;
    bool m_gone = false;
    uint64_t m_dropped = 0;
    std::string m_buffer;
};

}  // namespace tavrolin
