// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "upload/UploadOptions.h"

namespace tavrolin {

// tavrolin-upload after its command line: the profile, the state folder, the archive, and
// the loop that sends each network its observations until SIGTERM or SIGINT (SIGHUP reads
// the profile anew, as each wake-up does). Returns the exit status.
int RunUpload(const UploadOptions& options);

}  // namespace tavrolin
