// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "upload/Transport.h"
#include "upload/UploadSettings.h"

namespace tavrolin {

// What an answer means for the sending: the observation arrived; the network refuses the
// credentials (sending again cannot help until the owner changes the profile); it failed and
// a later try may work; or it came too soon.
enum class Verdict { Sent, Refused, Failed, TooSoon };

struct Outcome {
    Verdict verdict = Verdict::Failed;
    std::string text;  // the network's own words (or why there was no answer), one line
    std::optional<int64_t> retryAfterMs;  // TooSoon: how long the network asks to wait
};

// Reads each network's answers as its servers give them: Weather Underground's "success"
// and 401 or "invalid"; PWSweather's line starting ERROR; WOW's 403 and 429; Windy's 400
// (its message says whether the password), 401, 409 (that observation is there already) and
// 429 with retry_after; openSenseMap's 201 and 401.
Outcome Judge(Network network, const HttpAnswer& answer, int64_t nowMs);
Outcome Judge(const AprsAnswer& answer);

}  // namespace tavrolin
