// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

namespace tavrolin {

// A file of the browser view's own (src/web/assets), built into the program.
struct WebAsset {
    std::string_view name;  // "app.js"
    std::string_view type;  // "text/javascript; charset=utf-8"
    std::string_view body;
};

// The file of that name; nothing for any other name.
const WebAsset* FindAsset(std::string_view name);

}  // namespace tavrolin
