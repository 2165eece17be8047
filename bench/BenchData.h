// SPDX-License-Identifier: GPL-3.0-or-later
// What the benchmarks share: the telegrams they decode and the ten-year archive they read.
#pragma once

#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/Archive.h"

namespace tavrolin::bench {

using Telegram = std::array<uint8_t, 7>;

// One of every kind, both wordings, the three special subtypes, and bit 7 set in places.
inline const std::vector<Telegram> kMixed = {
    {0x01, 0x00, 0xD5, 0x00, 0x00, 0x00, 0x03},
    {0x11, 0x00, 123, 67, 0, 0, 0x03},
    {0x1C, 0x7F, 0x4E, 0x55, 0, 0, 0x03},
    {0x20, 0x35, 0x3C, 0, 0, 0, 0x03},
    {0x33, 0x00, 125, 2, 2, 14, 0x03},
    {0x4A, 1, 87, 45, 7, 117, 0x03},
    {0x55, 0x10, 0x22, 3, 0, 0, 0x03},
    {0x6E, 0x3F, 0x7F, 0, 0, 0, 0x03},
    {0x70, 0, 0, 0, 0, 0, 0x03},
    {0xF1, 0x80, 0x80, 0x80, 0x80, 0x80, 0x03},
    {0x7F, 'H', 'a', 'l', 'l', 'o', 0x03},
    {0x42, 0x80, 0xC4, 0xB2, 0x87, 0xF5, 0x03},
};

// The ten-year archive of a 20-sensor station: $TAVROLIN_BENCH_ARCHIVE, else
// archive-10y.sqlite beside the benchmark program (archive_bench builds it there).
inline std::string TenYearArchivePath() {
    if (const char* path = std::getenv("TAVROLIN_BENCH_ARCHIVE")) {
        return path;
    }
    char self[4096] = {};
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    const std::string folder =
        n > 0 ? std::filesystem::path(self).parent_path().string() : std::string(".");
    return folder + "/archive-10y.sqlite";
}

// Whether the archive at path is there to be read, brought up to the current format first
// (once per program, as a writer opening it does) if an older version built it; else why not.
inline std::string TenYearArchiveProblem(const std::string& path) {
    if (!std::filesystem::exists(path)) {
        return "no archive " + path + ": run archive_bench first";
    }
    static const std::string problem = [&] {
        Archive archive;
        const ArchiveStatus status = archive.Open(path, Archive::Access::Write, 1000);
        return status.Ok() ? std::string() : "cannot open " + path + status.Describe();
    }();
    return problem;
}

}  // namespace tavrolin::bench
