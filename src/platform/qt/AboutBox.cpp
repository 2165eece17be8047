// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/AboutBox.h"

#include <QLabel>
#include <QPushButton>

#include "platform/qt/DialogUnits.h"
#include "platform/qt/ProgramIcon.h"

namespace tavrolin {

AboutBox::AboutBox(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setFont(DialogFont());
    const DialogUnits du(font());
    setWindowTitle(QStringLiteral("Info über Tavrolin"));
    setFixedSize(du.Size(235, 55));

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("icon"));
    icon->setPixmap(ProgramIcon().pixmap(32, 32));
    icon->setGeometry(du.X(11), du.Y(17), 32, 32);

    // Shown as it is: no mnemonic, no markup.
    auto* text = new QLabel(QStringLiteral("Tavrolin Version 1.0"), this);
    text->setTextFormat(Qt::PlainText);
    text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    text->setGeometry(du.Rect(40, 10, 119, 8));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    ok->setGeometry(du.Rect(178, 7, 50, 14));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace tavrolin
