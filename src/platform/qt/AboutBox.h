// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

namespace tavrolin {

// The about box: the program's icon, name and version and an "OK" button. It has no state;
// "OK", Esc and the close box end it.
class AboutBox : public QDialog {
public:
    explicit AboutBox(QWidget* owner);
};

}  // namespace tavrolin
