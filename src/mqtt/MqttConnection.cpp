// SPDX-License-Identifier: GPL-3.0-or-later
#include "mqtt/MqttConnection.h"

namespace tavrolin {

MqttConnection::~MqttConnection() = default;

}  // namespace tavrolin
