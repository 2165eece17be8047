#include "serial/MultiplexerSignaller.h"

namespace tavrolin {

MultiplexerSignaller::~MultiplexerSignaller() = default;

}  // namespace tavrolin
