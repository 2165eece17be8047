// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/IniFile.h"

#include <algorithm>

#include "base/Win1252.h"

namespace tavrolin {

namespace {

constexpr std::string_view kBlanks = " \t\v\f";

std::string_view TrimLeft(std::string_view text) {
    const std::size_t first = text.find_first_not_of(kBlanks);
    return first == std::string_view::npos ? std::string_view() : text.substr(first);
}

std::string_view TrimRight(std::string_view text) {
    const std::size_t last = text.find_last_not_of(kBlanks);
    return last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
}

std::string_view Trim(std::string_view text) {
    return TrimRight(TrimLeft(text));
}

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return LowerAscii(x) == LowerAscii(y);
           });
}

bool HoldsLineBreakOrZero(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

bool IsEnclosedInQuotes(std::string_view value) {
    return value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
           value.back() == value.front();
}

struct LineInfo {
    enum class Kind { Other, Section, Key };
    Kind kind = Kind::Other;
    std::string_view name;   // section or key name, trimmed
    std::string_view value;  // Key: the text after the first '=' (ValueOf gives the value)
};

LineInfo Classify(std::string_view line, bool firstLine) {
    if (firstLine) {
        line = WithoutByteOrderMark(line);
    }
    const std::string_view text = TrimLeft(line);
    if (text.empty()) {
        return {};
    }
    if (text.front() == '[') {
        // "[name]", anything after the bracket ignored; a header without its closing
        // bracket still starts a section, so the keys below it do not slip into the
        // section before.
        const std::string_view inside = text.substr(1);
        return {LineInfo::Kind::Section, Trim(inside.substr(0, inside.find(']'))), {}};
    }
    // A zero byte cuts a value short in every C string that reads it later (a file name),
    // so such a line is not taken as a setting.
    if (text.front() == ';' || text.find('\0') != std::string_view::npos) {
        return {};
    }
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos) {
        return {};
    }
    const std::string_view key = TrimRight(text.substr(0, equals));
    if (key.empty()) {
        return {};
    }
    return {LineInfo::Kind::Key, key, text.substr(equals + 1)};
}

// Calls visit(index, line) for every line of the text, split at LF, CR LF and a lone CR,
// until visit gives false.
template <typename Visit>
void ForEachLine(std::string_view text, Visit visit) {
    std::size_t start = 0;
    for (std::size_t index = 0; start < text.size(); ++index) {
        const std::size_t end = std::min(text.find_first_of("\r\n", start), text.size());
        if (!visit(index, text.substr(start, end - start)) || end == text.size()) {
            return;
        }
        start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
}

// Where a key and its section are. Repeated sections read as one, in file order; keys are
// added to the first of them.
struct Location {
    std::optional<std::size_t> keyLine;
    std::string_view value;  // of the key line, as Classify gives it
    std::optional<std::size_t> sectionHeader;
    std::size_t lastKeyOfSection = 0;  // the header when the section has no keys
};

// lineAt(i) gives the line i of count lines.
template <typename LineAt>
Location Locate(std::size_t count, LineAt lineAt, std::string_view section, std::string_view key) {
    Location location;
    bool inSection = false;
    bool inFirstSection = false;
    for (std::size_t i = 0; i < count; ++i) {
        const LineInfo info = Classify(lineAt(i), i == 0);
        if (info.kind == LineInfo::Kind::Section) {
            inSection = EqualsIgnoringCase(info.name, section);
            inFirstSection = inSection && !location.sectionHeader;
            if (inFirstSection) {
                location.sectionHeader = i;
                location.lastKeyOfSection = i;
            }
        } else if (info.kind == LineInfo::Kind::Key && inSection) {
            if (!location.keyLine && EqualsIgnoringCase(info.name, key)) {
                location.keyLine = i;
                location.value = info.value;
            }
            if (inFirstSection) {
                location.lastKeyOfSection = i;
            }
        }
    }
    return location;
}

// Calls visit(key, value as Classify gives it) for the keys of the section (of every section
// of that name) in file order, until visit gives false.
template <typename Visit>
void ForEachKeyOf(std::string_view text, std::string_view section, Visit visit) {
    bool inSection = false;
    ForEachLine(text, [&](std::size_t i, std::string_view line) {
        const LineInfo info = Classify(line, i == 0);
        if (info.kind == LineInfo::Kind::Section) {
            inSection = EqualsIgnoringCase(info.name, section);
        } else if (info.kind == LineInfo::Kind::Key && inSection) {
            return visit(info.name, info.value);
        }
        return true;
    });
}

// A key's value as it reads from the text after its '=': blanks around it and enclosing
// quotes removed, cut to the longest value. Only wanted of the key looked for, so not done
// for every line a reader passes.
std::string_view ValueOf(std::string_view afterEquals) {
    std::string_view value = Trim(afterEquals);
    if (IsEnclosedInQuotes(value)) {
        value = value.substr(1, value.size() - 2);
    }
    return value.substr(0, IniFile::MaxValueLength);
}

bool IsValidSectionName(std::string_view section) {
    return !section.empty() && Trim(section).size() == section.size() &&
           section.find(']') == std::string_view::npos && !HoldsLineBreakOrZero(section);
}

bool IsValidKeyName(std::string_view key) {
    return !key.empty() && Trim(key).size() == key.size() && key.front() != ';' &&
           key.front() != '[' && key.find('=') == std::string_view::npos &&
           !HoldsLineBreakOrZero(key);
}

// Appends the value as it has to stand in the file to be read back unchanged: blanks around
// it would be trimmed and enclosing quotes removed, so such a value gets a pair of quotes of
// its own.
void AppendEncodedValue(std::string& text, std::string_view value) {
    const bool quoted = Trim(value).size() != value.size() || IsEnclosedInQuotes(value);
    if (quoted) {
        text += '"';
    }
    text += value;
    if (quoted) {
        text += '"';
    }
}

}  // namespace

IniFile IniFile::Parse(std::string_view text) {
    IniFile file;
    file.m_text = text;
    ForEachLine(text, [&file, &text](std::size_t, std::string_view line) {
        file.m_lines.push_back({static_cast<std::size_t>(line.data() - text.data()), line.size()});
        return true;
    });
    return file;
}

std::string_view IniFile::LineAt(std::size_t index) const {
    return std::string_view(m_text).substr(m_lines[index].offset, m_lines[index].size);
}

std::optional<std::string> IniFile::Value(std::string_view section, std::string_view key) const {
    const auto lineAt = [this](std::size_t i) { return LineAt(i); };
    const Location location = Locate(m_lines.size(), lineAt, section, key);
    if (!location.keyLine) {
        return std::nullopt;
    }
    return std::string(ValueOf(location.value));
}

std::optional<std::string_view> IniFile::ValueIn(std::string_view text, std::string_view section,
                                                 std::string_view key) {
    // The first of the key counts, so the lines after it need not be read.
    std::optional<std::string_view> value;
    ForEachKeyOf(text, section, [&](std::string_view name, std::string_view raw) {
        if (!EqualsIgnoringCase(name, key)) {
            return true;
        }
        value = ValueOf(raw);
        return false;
    });
    return value;
}

void IniFile::ForEachValue(std::string_view text, std::string_view section,
                           const std::function<void(std::string_view, std::string_view)>& visit) {
    ForEachKeyOf(text, section, [&visit](std::string_view name, std::string_view raw) {
        visit(name, ValueOf(raw));
        return true;
    });
}

bool IniFile::SetValue(std::string_view section, std::string_view key, std::string_view value) {
    if (!IsValidSectionName(section) || !IsValidKeyName(key) || HoldsLineBreakOrZero(value)) {
        return false;
    }
    const auto lineAt = [this](std::size_t i) { return LineAt(i); };
    const Location location = Locate(m_lines.size(), lineAt, section, key);
    Line line{m_text.size(), 0};
    if (location.keyLine) {
        // The key keeps the spelling it has in the file (copied from within the text, which
        // the append may move).
        const std::string_view name = Classify(LineAt(*location.keyLine), false).name;
        m_text.append(m_text, static_cast<std::size_t>(name.data() - m_text.data()), name.size());
    } else {
        if (!location.sectionHeader) {
            m_lines.push_back({m_text.size(), section.size() + 2});
            m_text += '[';
            m_text += section;
            m_text += ']';
            line.offset = m_text.size();
        }
        m_text += key;
    }
    m_text += '=';
    AppendEncodedValue(m_text, value);
    line.size = m_text.size() - line.offset;
    if (location.keyLine) {
        m_lines[*location.keyLine] = line;
    } else if (location.sectionHeader) {
        // After the section's last key, so that blank lines and comments that lead over to
        // the next section stay where they are.
        m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(location.lastKeyOfSection + 1),
                       line);
    } else {
        m_lines.push_back(line);
    }
    return true;
}

std::string IniFile::Serialize() const {
    std::size_t size = 0;
    for (const Line& line : m_lines) {
        size += line.size + 2;
    }
    std::string text;
    text.reserve(size);
    for (const Line& line : m_lines) {
        text.append(m_text, line.offset, line.size);
        text += "\r\n";
    }
    return text;
}

}  // namespace tavrolin
