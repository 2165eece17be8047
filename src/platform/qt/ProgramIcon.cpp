// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/ProgramIcon.h"

namespace tavrolin {

QIcon ProgramIcon() {
    QIcon icon;
    for (const int size : {16, 32, 48}) {
        icon.addFile(QStringLiteral(":/tavrolin/icons/tavrolin-%1.png").arg(size),
                     QSize(size, size));
    }
    return icon;
}

}  // namespace tavrolin
