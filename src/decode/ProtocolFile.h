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
    void CloseFile();
    bool IsOpen() const;

private:
    // ... (implementation)
};

}  // namespace tavrolin
