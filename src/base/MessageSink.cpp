#include "base/MessageSink.h"

namespace tavrolin {

MessageSink::~MessageSink() = default;

}  // namespace tavrolin
