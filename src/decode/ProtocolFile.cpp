// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/ProtocolFile.h"

#include <filesystem>
#include <system_error>

#include "base/Win1252.h"

namespace tavrolin {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

// The path as the user knows it: relative names are taken from the current folder, which is
// where the file was opened.
std::string AbsolutePath(const std::string& name) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(name, error);
    return error ? name : absolute.lexically_normal().string();
}

}  // namespace

std::string ShownFilePath(const std::string& name) {
    return FileNameToUtf8(AbsolutePath(name));
}

ProtocolFile::ProtocolFile(FileSystem& fileSystem, MessageSink& messages)
    : m_fileSystem(fileSystem), m_messages(messages) {
    m_bytes.reserve(256);
}

ProtocolFile::~ProtocolFile() {
    // Silent: the window that would show a message may already be gone. Every line has
    // reached the system already, so closing loses nothing.
    if (m_file) {
        m_file->Close();
    }
}

bool ProtocolFile::OpenForAppend(const std::string& name) {
    return Open(name, OpenMode::Append);
}

bool ProtocolFile::OpenTruncated(const std::string& name) {
    return Open(name, OpenMode::Truncate);
}

bool ProtocolFile::Open(const std::string& name, OpenMode mode) {
    CloseFile();
    m_openError = FileError::None;
    m_file = m_fileSystem.OpenForWriting(name, mode, m_openError);
    if (!m_file) {
        if (m_openError == FileError::None) {
            m_openError = FileError::Other;
        }
        return false;
    }
    m_path = AbsolutePath(name);
    // Nothing is written now: a run that presents no record leaves the file as it was.
    const std::optional<char> last = m_file->InitialLastByte();
    m_startOnNewLine = m_file->InitialSize() > 0 && last.has_value() && *last != '\n';
    return true;
}

void ProtocolFile::AppendLine(std::string_view text) {
    Write(text, false);
}

void ProtocolFile::AppendRecordLine(std::string_view line) {
    Write(line, true);
}

void ProtocolFile::Write(std::string_view text, bool addLineEnd) {
    if (!m_file) {
        return;
    }
    m_bytes.clear();
    if (m_startOnNewLine) {
        m_bytes += kLineEnd;
    }
    // The file's line end is CR LF whatever the system's is.
    for (const char c : text) {
        if (c == '\n') {
            m_bytes += kLineEnd;
        } else {
            m_bytes += c;
        }
    }
    if (addLineEnd) {
        m_bytes += kLineEnd;
    }
    const FileError error = m_file->Write(m_bytes);
    if (error != FileError::None) {
        // Closed before the message: while the message waits for the user, the window's
        // timer keeps decoding, and those records must not fail (and ask) again.
        const std::unique_ptr<OutputFile> failed = std::move(m_file);
        failed->Close();
        ReportFailure(error);
        return;
    }
    m_startOnNewLine = false;
}

void ProtocolFile::CloseFile() {
    if (!m_file) {
        return;
    }
    const std::unique_ptr<OutputFile> closing = std::move(m_file);
    const FileError error = closing->Close();
    if (error != FileError::None) {
        ReportFailure(error);
    }
}

bool ProtocolFile::IsOpen() const {
    return m_file != nullptr;
}

void ProtocolFile::ReportFailure(FileError error) {
    const std::string path = FileNameToUtf8(m_path);
    const std::string text =
        error == FileError::NoSpace
            ? "Beim Zugriff auf " + path + " wurde ein voller Datenträger gemeldet."
            : "Beim Schreiben von " + path + " ist ein Fehler aufgetreten.";
    m_messages.ShowMessage("Tavrolin", text, MessageIcon::Exclamation);
}

}  // namespace tavrolin
