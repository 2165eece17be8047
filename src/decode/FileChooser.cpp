// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/FileChooser.h"

namespace tavrolin {

FileChooser::~FileChooser() = default;

}  // namespace tavrolin
