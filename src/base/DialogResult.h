// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace tavrolin {

// How a modal window's run ended.
enum class DialogResult { Ok = 1, Cancel = 2 };

}  // namespace tavrolin
