// SPDX-License-Identifier: GPL-3.0-or-later
#include "MemoryFileSystem.h"

#include <utility>

namespace tavrolin::testing {

class MemoryOutputFile : public OutputFile {
public:
    MemoryOutputFile(MemoryFileSystem& fileSystem, std::string path)
        : m_fileSystem(fileSystem), m_path(std::move(path)) {
        const std::string& content = m_fileSystem.files[m_path];
        m_initialSize = content.size();
        if (!content.empty()) {
            m_initialLastByte = content.back();
        }
    }
    ~MemoryOutputFile() override { Close(); }

    std::size_t InitialSize() const override { return m_initialSize; }
    std::optional<char> InitialLastByte() const override { return m_initialLastByte; }

    FileError Write(std::string_view bytes) override {
        ++m_fileSystem.writeCount;
        if (!m_open) {
            return FileError::Other;
        }
        if (m_fileSystem.writeError != FileError::None) {
            return m_fileSystem.writeError;
        }
        m_fileSystem.files[m_path].append(bytes);
        return FileError::None;
    }

    FileError Close() override {
        if (!m_open) {
            return FileError::None;
        }
        m_fileSystem.m_openForWriting.erase(m_path);
        m_open = false;
        return m_fileSystem.closeError;
    }

private:
    MemoryFileSystem& m_fileSystem;
    std::string m_path;
    std::size_t m_initialSize = 0;
    std::optional<char> m_initialLastByte;
    bool m_open = true;
};

std::unique_ptr<OutputFile> MemoryFileSystem::OpenForWriting(const std::string& path, OpenMode mode,
                                                             FileError& error) {
    error = path.empty() ? FileError::NotFound : openError;  // as the system refuses ""
    if (error == FileError::None && m_openForWriting.count(path) != 0) {
        error = FileError::Busy;
    }
    if (error != FileError::None) {
        return nullptr;
    }
    if (mode == OpenMode::Truncate) {
        files[path].clear();
    }
    m_openForWriting.insert(path);
    return std::make_unique<MemoryOutputFile>(*this, path);
}

std::optional<std::string> MemoryFileSystem::ReadFile(const std::string& path, std::size_t maxBytes,
                                                      FileError& error) {
    const auto file = files.find(path);
    if (file == files.end()) {
        error = FileError::NotFound;
    } else if (readError != FileError::None) {
        error = readError;
    } else if (file->second.size() > maxBytes) {
        error = FileError::TooBig;
    } else {
        error = FileError::None;
        return file->second;
    }
    return std::nullopt;
}

FileError MemoryFileSystem::ReplaceFile(const std::string& path, std::string_view content) {
    ++replaceCount;
    if (replaceError != FileError::None) {
        return replaceError;
    }
    files[path].assign(content);
    return FileError::None;
}

}  // namespace tavrolin::testing
