// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "base/Clock.h"
#include "base/FileSystem.h"
#include "upload/UploadSettings.h"

namespace tavrolin {

// What tavrolin-upload last achieved with each network the profile sets up, for the front
// page's "Uploads" lines and /metrics: read from its state files (each a few lines, replaced
// by tavrolin-upload in one step) whenever asked, and never written. tavrolin-web holds no
// credentials of the networks: it keeps only which are set up.
class UploadWatch {
public:
    // The networks set up in `settings`; none: nothing shown.
    UploadWatch(FileSystem& files, std::string folder, const UploadSettings& settings);

    // "uploads":[{"network", "text", "failing"}] (text as tavrolin-upload --status, in
    // local times), or nothing when no network is set up.
    std::string Json(Instant now, const TimeZone& zone) const;
    // Per network: the last success, the newest observation taken, the last error (0: none),
    // and whether it waits for the profile after refused credentials.
    std::string Metrics() const;

private:
    FileSystem& m_files;
    std::string m_folder;
    std::vector<NetworkSettings> m_networks;  // only those set up, their secrets left out
};

}  // namespace tavrolin
