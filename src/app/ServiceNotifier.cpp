// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ServiceNotifier.h"

namespace tavrolin {

ServiceNotifier::~ServiceNotifier() = default;

}  // namespace tavrolin
