// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/QtMessageSink.h"

#include <QMessageBox>

namespace tavrolin {

namespace {

QMessageBox::Icon BoxIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Stop:
            return QMessageBox::Critical;
        case MessageIcon::Exclamation:
            return QMessageBox::Warning;
        case MessageIcon::Information:
            return QMessageBox::Information;
    }
    return QMessageBox::NoIcon;
}

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

QWidget* VisibleOwner(QWidget* owner) {
    return owner != nullptr && owner->isVisible() ? owner : nullptr;
}

void QtMessageSink::ShowMessage(std::string_view caption, std::string_view text, MessageIcon icon) {
    QMessageBox box(BoxIcon(icon), FromUtf8(caption), FromUtf8(text), QMessageBox::Ok,
                    VisibleOwner(m_owner));
    // Plain text: a file name with "<" in it is not markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

}  // namespace tavrolin
