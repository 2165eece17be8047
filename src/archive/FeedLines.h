// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "decode/Reading.h"

namespace tavrolin {

// The live feed's lines: JSON Lines, UTF-8, each ending in "\n", from the receiving program
// to a reader, never the other way. Keys are the archive's (RecentKey, ArchiveSchema.h).
//
//   {"feed":"tavrolin","version":1,"committed":K}    first: the archive's last commit
//   {"key":K,"reading":{...}}                       a reading, as tavrolin-log --json writes it
//   {"committed":K}                                 a commit: the archive holds every reading
//                                                   up to K
//
// After the first line come the readings after K that the archive has not committed yet,
// then each new one, in the order they were received, and a mark at each commit; so the
// archive up to a mark and the feed after it are every reading, each once.
inline constexpr int kFeedVersion = 1;
// No line is longer: a reader drops a feed that sends one (a reading's line is some 300 bytes).
inline constexpr std::size_t kLongestFeedLine = 4096;

void AppendFeedGreeting(int64_t committedKey, std::string& out);
// json: the reading's JSON as AppendReadingJson writes it.
void AppendFeedReading(int64_t key, std::string_view json, std::string& out);
void AppendFeedCommit(int64_t committedKey, std::string& out);

// One line as a reader takes it, without its "\n".
struct FeedLine {
    enum class Kind { Invalid, Greeting, Reading, Commit };
    Kind kind = Kind::Invalid;
    int64_t key = 0;  // the reading's, or the committed one
    std::optional<Reading> reading;
    std::string error;  // German, with Invalid: what is wrong with the line
};
FeedLine ParseFeedLine(std::string_view line);

// Cuts what a reader receives into lines, however the bytes come, and parses each: the
// reader's side of the feed in one place, without the socket. A feed that breaks the form
// (a line too long, one that is no feed line, a first line that is no greeting, a greeting
// later) is not read on: the reader closes it and connects again.
class FeedReader {
public:
    // Hands each whole line to `each`, in order; false, with Problem(), at the first line
    // that breaks the form (the bytes after it are not looked at).
    template <class Each>
    bool Take(std::string_view bytes, Each&& each) {
        while (!bytes.empty()) {
            const std::size_t end = bytes.find('\n');
            const std::string_view piece = bytes.substr(0, end);
            if (m_partial.size() + piece.size() > kLongestFeedLine) {
                return Fail("eine Zeile ist länger als " + std::to_string(kLongestFeedLine) +
                            " Bytes");
            }
            if (end == std::string_view::npos) {
                m_partial.append(piece);
                return true;
            }
            bytes.remove_prefix(end + 1);
            FeedLine line;
            if (m_partial.empty()) {
                line = ParseFeedLine(piece);
            } else {
                m_partial.append(piece);
                line = ParseFeedLine(m_partial);
                m_partial.clear();
            }
            if (!Check(line)) {
                return false;
            }
            each(line);
        }
        return true;
    }
    // Starts afresh, for a new connection.
    void Reset();
    const std::string& Problem() const { return m_problem; }

private:
    bool Check(const FeedLine& line);
    bool Fail(std::string problem);

    std::string m_partial;
    bool m_greeted = false;
    std::string m_problem;
};

}  // namespace tavrolin
