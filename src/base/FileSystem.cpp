#include "base/FileSystem.h"

namespace tavrolin {

OutputFile::~OutputFile() = default;
FileSystem::~FileSystem() = default;

}  // namespace tavrolin
