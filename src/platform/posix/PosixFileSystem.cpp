// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/PosixFileSystem.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace tavrolin {

FileError FileErrorFromErrno(int error) {
    switch (error) {
        case 0:
            return FileError::None;
        case ENOENT:
        case ENOTDIR:
            return FileError::NotFound;
        case EACCES:
        case EPERM:
        case EROFS:
            return FileError::AccessDenied;
        case EISDIR:
            return FileError::Folder;
        // A pipe opened without blocking when nobody reads it, or a device without driver.
        case ENXIO:
            return FileError::NotAFile;
        case EWOULDBLOCK:
        case EBUSY:
        case ETXTBSY:
            return FileError::Busy;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return FileError::NoSpace;
        default:
            return FileError::Other;
    }
}

namespace {

// Writes all bytes, resuming after signals and short writes; `written` counts what went out.
int WriteAll(int fd, std::string_view bytes, std::size_t& written) {
    written = 0;
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
        written += static_cast<std::size_t>(n);
    }
    return 0;
}

int WriteAll(int fd, std::string_view bytes) {
    std::size_t written = 0;
    return WriteAll(fd, bytes, written);
}

class PosixOutputFile : public OutputFile {
public:
    PosixOutputFile(int fd, std::size_t size, std::optional<char> lastByte)
        : m_fd(fd), m_size(size), m_lastByte(lastByte) {}
    ~PosixOutputFile() override { Close(); }

    std::size_t InitialSize() const override { return m_size; }
    std::optional<char> InitialLastByte() const override { return m_lastByte; }

    FileError Write(std::string_view bytes) override {
        if (m_fd < 0) {
            return FileError::Other;
        }
        std::size_t written = 0;
        const int error = WriteAll(m_fd, bytes, written);
        // A disk that fills up takes the first part of the bytes (a short write) and refuses
        // the rest. Cut that part off again, so that the file never ends in a torn line that
        // the next lines would follow for good.
        struct stat st {};
        if (error != 0 && written > 0 && ::fstat(m_fd, &st) == 0 &&
            static_cast<std::size_t>(st.st_size) >= written) {
            ::ftruncate(m_fd, st.st_size - static_cast<off_t>(written));
        }
        return FileErrorFromErrno(error);
    }

    FileError Close() override {
        if (m_fd < 0) {
            return FileError::None;
        }
        // Closing releases the flock too.
        const int result = ::close(m_fd);
        m_fd = -1;
        return result == 0 || errno == EINTR ? FileError::None : FileErrorFromErrno(errno);
    }

private:
    int m_fd;
    std::size_t m_size;
    std::optional<char> m_lastByte;
};

}  // namespace

std::unique_ptr<OutputFile> PosixFileSystem::OpenForWriting(const std::string& path, OpenMode mode,
                                                            FileError& error) {
    // O_APPEND: every line lands at the end, whatever else happened to the file. The file is
    // not truncated by open() because the lock must be held before the content is touched.
    // O_NONBLOCK: opening a pipe that nobody reads would wait for a reader for ever (and a
    // signal would not end the program meanwhile); this way it fails with ENXIO at once.
    // For a regular file the flag changes nothing.
    const int fd = ::open(path.c_str(),
                          O_WRONLY | O_CREAT | O_CLOEXEC | O_APPEND | O_NOCTTY | O_NONBLOCK, 0644);
    if (fd < 0) {
        error = FileErrorFromErrno(errno);
        return nullptr;
    }
    const auto fail = [fd, &error](FileError why) -> std::unique_ptr<OutputFile> {
        error = why;
        ::close(fd);
        return nullptr;
    };
    // A protocol file is a file: a pipe with a reader, a terminal or /dev/null would take
    // the records somewhere no one keeps them, or block the writes. (A folder was refused by
    // open() already, with EISDIR.)
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return fail(FileErrorFromErrno(errno));
    }
    if (!S_ISREG(st.st_mode)) {
        return fail(FileError::NotAFile);
    }
    // A second writer, in this process or another, is refused: one log, one writer.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        return fail(FileErrorFromErrno(errno));
    }
    std::size_t size = 0;
    std::optional<char> lastByte;
    if (mode == OpenMode::Truncate) {
        if (::ftruncate(fd, 0) != 0) {
            return fail(FileErrorFromErrno(errno));
        }
    } else if (st.st_size > 0) {
        size = static_cast<std::size_t>(st.st_size);
        // The descriptor is write-only; look at the last byte through a second one.
        const int reader = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        char c = 0;
        if (reader >= 0 && ::pread(reader, &c, 1, st.st_size - 1) == 1) {
            lastByte = c;
        }
        if (reader >= 0) {
            ::close(reader);
        }
    }
    error = FileError::None;
    return std::make_unique<PosixOutputFile>(fd, size, lastByte);
}

namespace {

// What stands at the path, as far as reading it is concerned.
FileError ReadableKind(const struct stat& st, std::size_t maxBytes) {
    if (S_ISDIR(st.st_mode)) {
        return FileError::Folder;
    }
    if (!S_ISREG(st.st_mode)) {
        return FileError::NotAFile;
    }
    return static_cast<std::size_t>(st.st_size) > maxBytes ? FileError::TooBig : FileError::None;
}

}  // namespace

std::optional<std::string> PosixFileSystem::ReadFile(const std::string& path, std::size_t maxBytes,
                                                     FileError& error) {
    // Looked at before it is opened: opening a serial port raises its modem lines, and a
    // FIFO may block.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        error = FileErrorFromErrno(errno);
        return std::nullopt;
    }
    error = ReadableKind(st, maxBytes);
    if (error != FileError::None) {
        return std::nullopt;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        error = FileErrorFromErrno(errno);
        return std::nullopt;
    }
    // Replaced by something else between the two looks: judge what was opened.
    if (::fstat(fd, &st) != 0) {
        error = FileErrorFromErrno(errno);
    } else {
        error = ReadableKind(st, maxBytes);
    }
    std::string content;
    if (error == FileError::None) {
        content.reserve(static_cast<std::size_t>(st.st_size));
    }
    char buffer[65536];
    while (error == FileError::None) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            error = FileErrorFromErrno(errno);
            break;
        }
        if (n == 0) {
            break;
        }
        // A file that grows while it is read is cut off at the limit, not read without end.
        if (static_cast<std::size_t>(n) > maxBytes - content.size()) {
            error = FileError::TooBig;
            break;
        }
        content.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (error != FileError::None) {
        return std::nullopt;
    }
    return content;
}

FileError PosixFileSystem::ReplaceFile(const std::string& path, std::string_view content) {
    // The temporary file must be in the same folder, or rename() would not be atomic.
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        return FileErrorFromErrno(errno);
    }
    // Keep the permissions of the file being replaced, if there is one.
    struct stat st {};
    ::fchmod(fd, ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644);
    int error = WriteAll(fd, content);
    // Data on disk before the rename, so a power cut leaves the old or the new file.
    if (error == 0 && ::fsync(fd) != 0) {
        error = errno;
    }
    if (::close(fd) != 0 && error == 0 && errno != EINTR) {
        error = errno;
    }
    if (error == 0 && ::rename(temp.c_str(), path.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(temp.c_str());
        return FileErrorFromErrno(error);
    }
    return FileError::None;
}

}  // namespace tavrolin
