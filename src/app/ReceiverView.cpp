#include "app/ReceiverView.h"

namespace tavrolin {

ReceiverView::~ReceiverView() = default;

}  // namespace tavrolin
