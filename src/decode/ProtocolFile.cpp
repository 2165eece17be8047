// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/ProtocolFile.h"

#include <utility>

#include "base/Win1252.h"

namespace tavrolin {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

}  // namespace

std::string FileFailureText(const FileFailure& failure) {
    return failure.error == FileError::NoSpace
               ? "Beim Zugriff auf " + failure.path + " wurde ein voller Datenträger gemeldet."
               : "Beim Schreiben von " + failure.path + " ist ein Fehler aufgetreten.";
}

ProtocolFile::ProtocolFile(FileSystem& fileSystem) : m_fileSystem(fileSystem) {
    m_queued.reserve(1024);
}

ProtocolFile::~ProtocolFile() {
    if (m_file) {
        WriteQueued();
    }
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
    m_path = ShownFilePath(name);
    // Nothing is written now: a run that presents no record leaves the file as it was.
    const std::optional<char> last = m_file->InitialLastByte();
    m_startOnNewLine = m_file->InitialSize() > 0 && last.has_value() && *last != '\n';
    return true;
}

void ProtocolFile::QueueRecordLine(std::string_view line) {
    if (!m_file) {
        return;
    }
    if (m_startOnNewLine && m_queued.empty()) {
        m_queued += kLineEnd;
    }
    // The file's line end is CR LF whatever the system's is; its bytes are Windows-1252 (°
    // is 0xB0, ß 0xDF), as every protocol file has held them.
    AppendWin1252(line, m_queued);
    m_queued += kLineEnd;
}

bool ProtocolFile::WriteQueued() {
    if (!m_file || m_queued.empty()) {
        m_queued.clear();
        return true;
    }
    const FileError error = m_file->Write(m_queued);
    m_queued.clear();
    if (error != FileError::None) {
        // Closed at once: while the message waits for the user, the window's timer keeps
        // decoding, and those records must not fail (and ask) again.
        m_file->Close();
        m_file.reset();
        Fail(error);
        return false;
    }
    m_startOnNewLine = false;
    return true;
}

void ProtocolFile::AppendRecordLine(std::string_view line) {
    QueueRecordLine(line);
    WriteQueued();
}

void ProtocolFile::CloseFile() {
    if (!m_file || !WriteQueued()) {
        return;
    }
    const std::unique_ptr<OutputFile> closing = std::move(m_file);
    if (const FileError error = closing->Close(); error != FileError::None) {
        Fail(error);
    }
}

bool ProtocolFile::IsOpen() const {
    return m_file != nullptr;
}

std::optional<FileFailure> ProtocolFile::TakeFailure() {
    return std::exchange(m_failure, std::nullopt);
}

void ProtocolFile::Fail(FileError error) {
    // The first failure is the one to tell; the file is closed after it.
    if (!m_failure) {
        m_failure = FileFailure{m_path, error};
    }
}

}  // namespace tavrolin
