// SPDX-License-Identifier: GPL-3.0-or-later
#include "serial/CommDevice.h"

namespace tavrolin {

CommDevice::~CommDevice() = default;

}  // namespace tavrolin
