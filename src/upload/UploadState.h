// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavrolin {

class FileSystem;

// What one network has been sent, in its own small file in tavrolin-upload's state folder
// ("wunderground.state"), replaced in one step after each answer. Lines of key=value, times in
// milliseconds since 1970 UTC, the text in UTF-8 on one line:
//   sent_up_to_ms=1796731500000     the newest observation the network took
//   last_success_ms=1796731502345   when it last took one (wall clock)
//   last_error_ms=…                 when it last failed, and in its own words:
//   last_error=HTTP 401: unauthorized
//   refused=3f2a…                   the credentials were refused with this section: the
//                                   network waits until the profile's section changes
// tavrolin-web reads the same files for its "Uploads" line.
struct UploadState {
    int64_t sentUpToMs = 0;
    int64_t lastSuccessMs = 0;
    int64_t lastErrorMs = 0;
    std::string lastError;
    std::string refused;

    friend bool operator==(const UploadState&, const UploadState&) = default;
};

std::string StateText(const UploadState& state);
// Unknown lines are passed over (a later version may add some); a bad number reads as 0.
UploadState ParseState(std::string_view text);

// The state file's path in the folder, by the network's name.
std::string StatePath(const std::string& folder, std::string_view network);
UploadState LoadState(FileSystem& files, const std::string& path);
bool SaveState(FileSystem& files, const std::string& path, const UploadState& state);

// A digest of a profile section's text (SHA-256, hex): the state keeps it instead of the
// credentials themselves.
std::string SectionDigest(std::string_view text);

}  // namespace tavrolin
