// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavrolin {

// A profile text in the INI format, held line by line so that setting a value rewrites only
// the line of that key and keeps everything else as it was: comments, other sections, keys
// of other programs and lines that are neither "[section]" nor "key=value".
//
// Reading follows the rules of the Windows profile functions: section and key names match
// without regard to ASCII case, blanks around names and values do not count, the first of
// repeated keys wins (a section that appears twice is searched in file order), lines whose
// first character is ';' are comments, and quotes enclosing the whole value are removed.
// The text is bytes (Windows-1252 or whatever the file system holds) and is never recoded.
class IniFile {
public:
    // The profile functions read into a buffer of 4096 bytes, one of them the terminating
    // zero; longer values are cut to this length.
    static constexpr std::size_t MaxValueLength = 4095;

    // Accepts LF, CR LF and a lone CR as line ends. Any bytes are accepted; what cannot be
    // understood is kept as an unknown line.
    static IniFile Parse(std::string_view text);

    // The value of the key in the section, or nothing when either is missing.
    std::optional<std::string> Value(std::string_view section, std::string_view key) const;

    // What Parse(text).Value(section, key) gives, read straight from the text: a program
    // reads its settings one by one from a profile it does not change.
    static std::optional<std::string_view> ValueIn(std::string_view text, std::string_view section,
                                                   std::string_view key);
    // Every key of the section, in file order, with its value as Value gives it (repeated
    // keys and sections included: the first of a key is the one Value gives).
    static void ForEachValue(
        std::string_view text, std::string_view section,
        const std::function<void(std::string_view key, std::string_view value)>& visit);

    // Rewrites the key's line in place, or adds "key=value" after the last key of the
    // section, or adds the section at the end. The value is quoted where needed so that
    // Value gives it back exactly (leading or trailing blanks, enclosing quotes). Refused,
    // with nothing changed, for a name or value that a line cannot hold: a line end or a
    // zero byte anywhere, an empty name, blanks around a name, '=' in a key, ']' in a
    // section, a key that would read as a comment or a section.
    bool SetValue(std::string_view section, std::string_view key, std::string_view value);

    // Every line followed by CR LF.
    std::string Serialize() const;

private:
    // Where a line's bytes are in m_text. The lines of the parsed text stay where they were
    // in it (the line ends between them are skipped), and a line that is set anew is added
    // at its end: parsing copies the text once instead of every line on its own.
    struct Line {
        std::size_t offset = 0;
        std::size_t size = 0;
    };

    std::string_view LineAt(std::size_t index) const;

    std::string m_text;
    std::vector<Line> m_lines;
};

}  // namespace tavrolin
