// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>

namespace tavrolin {

// The program's icon, in the sizes shipped with it (16, 32 and 48 pixels).
QIcon ProgramIcon();

}  // namespace tavrolin
