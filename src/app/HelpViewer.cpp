// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/HelpViewer.h"

namespace tavrolin {

HelpViewer::~HelpViewer() = default;

}  // namespace tavrolin
