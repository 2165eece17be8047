// SPDX-License-Identifier: GPL-3.0-or-later
#include "serial/SerialLine.h"

namespace tavrolin {

SerialLine::~SerialLine() = default;

}  // namespace tavrolin
