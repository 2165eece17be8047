// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string_view>

namespace tavrolin {

// Lines on a descriptor that must never hold up its writer: the logger's stdout, while the
// receiver's bytes pile up at 1600 a second. The lines of one poll go out together, in one
// write, and only when the descriptor takes bytes at once (a reader that lags loses lines,
// the protocol file has them all); once the reader has gone (EPIPE, with SIGPIPE ignored)
// nothing more is tried.
class NonBlockingWriter {
public:
    explicit NonBlockingWriter(int fd);

    // Writes the lines, each of which ends in "\n".
    void WriteLines(std::string_view lines);

    // Lines lost to a reader that lagged or went away.
    uint64_t Dropped() const { return m_dropped; }
    bool Gone() const { return m_gone; }

private:
    void Drop(std::string_view lines);
    // One write of what the descriptor takes now, as write(2) says it.
    ssize_t WriteNow(std::string_view bytes) const;

    // How a write is kept from waiting: a regular file or /dev/null never makes it wait, a
    // socket (the journal's) is told not to, and for a pipe or a terminal the writer asks
    // first.
    enum class Kind { NeverWaits, Socket, AskFirst };

    int m_fd;
    Kind m_kind;
    bool m_gone = false;
    uint64_t m_dropped = 0;
};

// Opens /dev/null on whichever of stdin, stdout and stderr is not open: a service started
// without them would hand their numbers to the port or the protocol file, and the lines
// printed for stdout would land in them.
void KeepStandardDescriptors();

}  // namespace tavrolin
