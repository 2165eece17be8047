// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tavrolin {

// Why a file operation failed, mapped once from the system's error codes.
enum class FileError {
    None,
    NotFound,      // a folder on the path does not exist
    AccessDenied,  // no permission, or a read-only file system
    Busy,          // another writer holds the file
    NoSpace,       // the disk (or quota) is full
    Folder,        // a folder stands where a file was expected
    NotAFile,      // a device, a pipe or a socket stands where a file was expected
    TooBig,        // beyond the size the caller accepts
    Other,
};

// Why a file could not be read or written, in German, as the messages append it to their
// first sentence (": Keine Berechtigung."); "." where there is nothing more to say. The one
// place of these words for every file the programs name: protocol file, profile, password
// and certificate files. A missing file is told apart from a missing folder by whether the
// file was to be read or written.
enum class FileAccess { Read, Write };
std::string_view FileErrorReason(FileError error, FileAccess access);

// A file opened for writing by one writer only. Every Write reaches the operating system
// before it returns, so a crash of the program loses nothing that was written, and a Write
// that fails leaves the file as it was before it: never a part of the bytes.
class OutputFile {
public:
    virtual ~OutputFile();
    // Size of the file when it was opened, and its last byte then (if it had one).
    virtual std::size_t InitialSize() const = 0;
    virtual std::optional<char> InitialLastByte() const = 0;
    virtual FileError Write(std::string_view bytes) = 0;
    virtual FileError Close() = 0;
};

enum class OpenMode {
    Append,    // create if missing, keep the content, write at the end
    Truncate,  // create if missing, empty it
};

// The few file operations the core needs; the real one is POSIX, tests may use it on a
// temporary folder.
class FileSystem {
public:
    virtual ~FileSystem();

    // Opens a regular file for exclusive writing; a second opener (this process or another)
    // gets Busy. Never waits: a name that is not a regular file (a pipe without reader would
    // block the open) is refused.
    virtual std::unique_ptr<OutputFile> OpenForWriting(const std::string& path, OpenMode mode,
                                                       FileError& error) = 0;

    // The whole content of a regular file of at most maxBytes. Nothing when it cannot be
    // read, and then error says why: NotFound when nothing is there, so that a caller can
    // tell a missing file from one that is there but unreadable (AccessDenied, Folder,
    // NotAFile, TooBig, Other). Something that is not a regular file is not even opened: a
    // serial port would see its modem lines change.
    virtual std::optional<std::string> ReadFile(const std::string& path, std::size_t maxBytes,
                                                FileError& error) = 0;

    // Replaces the file's content in one step: readers see either the old or the new
    // content, never a torn one, also after a crash or power cut.
    virtual FileError ReplaceFile(const std::string& path, std::string_view content) = 0;
};

// A file name as the user knows it, for messages: absolute (a relative name is taken from
// the current folder, where the file is opened) and in UTF-8 (a name that is not UTF-8 came
// from the settings, which hold Windows-1252).
std::string ShownFilePath(const std::string& name);

}  // namespace tavrolin
