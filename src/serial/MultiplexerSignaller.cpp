// SPDX-License-Identifier: GPL-3.0-or-later
#include "serial/MultiplexerSignaller.h"

namespace tavrolin {

MultiplexerSignaller::~MultiplexerSignaller() = default;

}  // namespace tavrolin
