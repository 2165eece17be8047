#include "app/HelpViewer.h"

namespace tavrolin {

HelpViewer::~HelpViewer() = default;

}  // namespace tavrolin
