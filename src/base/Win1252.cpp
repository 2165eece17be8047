// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/Win1252.h"

#include <array>
#include <cstdint>

namespace tavrolin {

namespace {

// Code points of the bytes 0x80..0x9F; 0 where Windows-1252 leaves the byte undefined
// (those are passed through as the C1 control of the same value).
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

char32_t CodePointOf(unsigned char byte) {
    if (byte >= 0x80 && byte <= 0x9F && kHighControls[byte - 0x80] != 0) {
        return kHighControls[byte - 0x80];
    }
    return byte;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

char ByteOf(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
        return static_cast<char>(cp);
    }
    for (std::size_t i = 0; i < kHighControls.size(); ++i) {
        if (kHighControls[i] == cp) {
            return static_cast<char>(0x80 + i);
        }
    }
    if (cp >= 0x80 && cp <= 0x9F && kHighControls[cp - 0x80] == 0) {
        return static_cast<char>(cp);
    }
    return '?';
}

}  // namespace

std::string Win1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    for (const char c : bytes) {
        AppendUtf8(out, CodePointOf(static_cast<unsigned char>(c)));
    }
    return out;
}

std::string Utf8ToWin1252(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    AppendWin1252(utf8, out);
    return out;
}

void AppendWin1252(std::string_view utf8, std::string& out) {
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        int length = lead < 0x80           ? 1
                     : (lead >> 5) == 0x6  ? 2
                     : (lead >> 4) == 0xE  ? 3
                     : (lead >> 3) == 0x1E ? 4
                                           : 0;
        char32_t cp = length == 1   ? lead
                      : length == 2 ? (lead & 0x1F)
                      : length == 3 ? (lead & 0x0F)
                                    : (lead & 0x07);
        bool valid = length > 0 && i + static_cast<std::size_t>(length) <= utf8.size();
        for (int k = 1; valid && k < length; ++k) {
            const auto cont = static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]);
            valid = (cont & 0xC0) == 0x80;
            cp = (cp << 6) | (cont & 0x3F);
        }
        if (!valid) {
            out += static_cast<char>(lead);  // not UTF-8: take the byte as it is
            ++i;
            continue;
        }
        out += ByteOf(cp);
        i += static_cast<std::size_t>(length);
    }
}

bool IsUtf8(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const std::size_t length = lead < 0x80           ? 1
                                   : (lead >> 5) == 0x6  ? 2
                                   : (lead >> 4) == 0xE  ? 3
                                   : (lead >> 3) == 0x1E ? 4
                                                         : 0;
        if (length == 0 || i + length > bytes.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

std::string ProfileTextToUtf8(std::string_view text) {
    return IsUtf8(text) ? std::string(text) : Win1252ToUtf8(text);
}

std::string FileNameToUtf8(std::string_view name) {
    return ProfileTextToUtf8(name);
}

}  // namespace tavrolin
