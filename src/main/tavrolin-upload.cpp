// SPDX-License-Identifier: GPL-3.0-or-later
// tavrolin-upload: the station's observations to the weather networks. The sending is
// src/upload's; this file reads the command line.

#include <cstdio>
#include <string_view>
#include <vector>

#include "base/Version.h"
#include "upload/UploadProgram.h"

using namespace tavrolin;

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const ParsedUploadOptions parsed = ParseUploadOptions(args);
    if (!parsed.options) {
        std::fprintf(stderr, "tavrolin-upload: %s\n", parsed.error.c_str());
        return 2;
    }
    if (parsed.options->help) {
        std::fputs(UploadUsage().c_str(), stdout);
        return 0;
    }
    if (parsed.options->version) {
        std::fputs(VersionText("tavrolin-upload").c_str(), stdout);
        return 0;
    }
    return RunUpload(*parsed.options);
}
