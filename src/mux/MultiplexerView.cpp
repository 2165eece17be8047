#include "mux/MultiplexerView.h"

namespace tavrolin {

MultiplexerView::~MultiplexerView() = default;

}  // namespace tavrolin
