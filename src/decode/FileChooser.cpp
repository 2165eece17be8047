#include "decode/FileChooser.h"

namespace tavrolin {

FileChooser::~FileChooser() = default;

}  // namespace tavrolin
