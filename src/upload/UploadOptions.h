// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tavrolin {

// The command line of tavrolin-upload; empty strings where the profile or the default decides.
struct UploadOptions {
    std::string profilePath;
    std::string archivePath;
    std::string stateFolder;
    std::string caFile;  // --ca: trust this authority's certificates instead of the system's
    std::string test;    // --test NAME
    bool status = false;
    bool help = false;
    bool version = false;
};

struct ParsedUploadOptions {
    std::optional<UploadOptions> options;
    std::string error;  // German
};
ParsedUploadOptions ParseUploadOptions(std::span<const std::string_view> args);
std::string UploadUsage();

}  // namespace tavrolin
