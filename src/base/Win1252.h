// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace tavrolin {

// The program's texts are UTF-8; the protocol file and the profile's file name hold
// Windows-1252 bytes, as they always have.
std::string Win1252ToUtf8(std::string_view bytes);

// Whether the bytes are well-formed UTF-8.
bool IsUtf8(std::string_view bytes);

// The text without the UTF-8 byte order mark that Windows editors put before its first line.
inline std::string_view WithoutByteOrderMark(std::string_view text) {
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    return text.starts_with(kByteOrderMark) ? text.substr(kByteOrderMark.size()) : text;
}

// A text of the profile in UTF-8: profiles written by the window hold Windows-1252, those
// written in an editor mostly UTF-8; well-formed UTF-8 is taken as such.
std::string ProfileTextToUtf8(std::string_view text);

// A file name for the user's eyes. Names are bytes; those the system hands over are UTF-8,
// a name that is not came from the profile, which holds Windows-1252.
std::string FileNameToUtf8(std::string_view name);

// Characters without a Windows-1252 byte become '?'. Invalid UTF-8 bytes are taken as
// Windows-1252 already. The second appends to out, allocating nothing once it is warm.
std::string Utf8ToWin1252(std::string_view utf8);
void AppendWin1252(std::string_view utf8, std::string& out);

}  // namespace tavrolin
