#include "serial/CommDevice.h"

namespace tavrolin {

CommDevice::~CommDevice() = default;

}  // namespace tavrolin
