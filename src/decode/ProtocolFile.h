// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "base/FileSystem.h"
#include "base/MessageSink.h"

namespace tavrolin {

// The text log of presented records: one line per record, CR LF line ends, Windows-1252
// bytes. Only one writer may hold it. Every line reaches the operating system when it is
// appended. A failed write is reported once, and the file is closed; records then go to the
// list only until another file is opened.
class ProtocolFile {
public:
    ProtocolFile(FileSystem& fileSystem, MessageSink& messages);
    ~ProtocolFile();
    ProtocolFile(const ProtocolFile&) = delete;
    ProtocolFile& operator=(const ProtocolFile&) = delete;

    // Creates the file if missing and appends after the existing content. When that content
    // does not end in a line end, the first appended line starts on a new line. Returns
    // whether the file is open; a failure shows no message.
    bool OpenForAppend(const std::string& name);
    // Creates the file, or empties it.
    bool OpenTruncated(const std::string& name);
    // Writes the text; each "\n" in it becomes CR LF.
    void AppendLine(std::string_view text);
    // Writes the line followed by a line end: AppendLine(line + "\n") without building that
    // string first.
    void AppendRecordLine(std::string_view line);
    void CloseFile();
    bool IsOpen() const;
    // Why the last open failed (None after a successful one).
    FileError LastOpenError() const { return m_openError; }

private:
    bool Open(const std::string& name, OpenMode mode);
    // Converts the line ends and hands the bytes to the file in one write.
    void Write(std::string_view text, bool addLineEnd);
    // Tells the user once that the file failed; the file is already closed by then.
    void ReportFailure(FileError error);

    FileSystem& m_fileSystem;
    MessageSink& m_messages;
    std::unique_ptr<OutputFile> m_file;
    std::string m_path;  // absolute, for the message
    // The file was opened with content that does not end in a line end: the first line of
    // this run starts on a line of its own.
    bool m_startOnNewLine = false;
    std::string m_bytes;  // reused for every line, so appending allocates nothing once warm
    FileError m_openError = FileError::None;
};

// A file name as the user knows it, for messages: absolute (a relative name is taken from
// the current folder, where the file is opened) and in UTF-8 (a name that is not UTF-8 came
// from the settings, which hold Windows-1252).
std::string ShownFilePath(const std::string& name);

}  // namespace tavrolin
