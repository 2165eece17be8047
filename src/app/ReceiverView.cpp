// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ReceiverView.h"

namespace tavrolin {

ReceiverView::~ReceiverView() = default;

}  // namespace tavrolin
