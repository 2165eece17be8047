// SPDX-License-Identifier: GPL-3.0-or-later
#include "mux/MultiplexerView.h"

namespace tavrolin {

MultiplexerView::~MultiplexerView() = default;

}  // namespace tavrolin
