// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/FileSystem.h"

namespace tavrolin {

// Why writing or closing the protocol file failed, and which file that was.
struct FileFailure {
    std::string path;  // absolute, UTF-8
    FileError error = FileError::Other;
};

// The message for a failure, as the window shows it.
std::string FileFailureText(const FileFailure& failure);

// The text log of presented records: one line per record, CR LF line ends, Windows-1252
// bytes (the lines come in UTF-8, as the program makes them). Only one writer may hold it. The
// lines of one receive poll are queued and reach the operating system together, in one write,
// before the poll returns. A failed write leaves the file as it was before it and closes the file;
// the failure is kept for whoever tells the user (never told from inside a poll), and records then
// go elsewhere only until another file is opened.
class ProtocolFile {
public:
    explicit ProtocolFile(FileSystem& fileSystem);
    // Writes what is queued and closes, silently: the window that would show a message may
    // already be gone.
    ~ProtocolFile();
    ProtocolFile(const ProtocolFile&) = delete;
    ProtocolFile& operator=(const ProtocolFile&) = delete;

    // Creates the file if missing and appends after the existing content. When that content
    // does not end in a line end, the first appended line starts on a new line. Returns
    // whether the file is open; a failure shows no message.
    bool OpenForAppend(const std::string& name);
    // Creates the file, or empties it.
    bool OpenTruncated(const std::string& name);
    // Queues the line and a CR LF for the next WriteQueued; nothing while the file is closed.
    void QueueRecordLine(std::string_view line);
    // Hands the queued lines to the file in one write. False when that write failed: the
    // file is then closed and the failure kept (TakeFailure).
    bool WriteQueued();
    // QueueRecordLine and WriteQueued.
    void AppendRecordLine(std::string_view line);
    // Writes what is queued, then closes; a failure is kept (TakeFailure).
    void CloseFile();
    bool IsOpen() const;
    // Why the last open failed (None after a successful one).
    FileError LastOpenError() const { return m_openError; }
    // The failed write or close that nobody has told the user of yet.
    std::optional<FileFailure> TakeFailure();

private:
    bool Open(const std::string& name, OpenMode mode);
    void Fail(FileError error);

    FileSystem& m_fileSystem;
    std::unique_ptr<OutputFile> m_file;
    std::string m_path;  // as shown in the messages
    // The file was opened with content that does not end in a line end: the first line of
    // this run starts on a line of its own.
    bool m_startOnNewLine = false;
    std::string m_queued;  // reused for every poll, so queueing allocates nothing once warm
    FileError m_openError = FileError::None;
    std::optional<FileFailure> m_failure;
};

}  // namespace tavrolin
