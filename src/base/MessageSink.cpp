// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/MessageSink.h"

namespace tavrolin {

MessageSink::~MessageSink() = default;

}  // namespace tavrolin
