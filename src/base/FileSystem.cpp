// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/FileSystem.h"

namespace tavrolin {

OutputFile::~OutputFile() = default;
FileSystem::~FileSystem() = default;

}  // namespace tavrolin
