// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/QtMessageSink.h"

#include <QMessageBox>

#include "platform/qt/Utf8Text.h"

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

void QtMessageSink::ShowNotice(std::string_view caption, std::string_view text, MessageIcon icon) {
    // Not modal and not waited for. The notices come from the receive timer's handler, and
    // Qt does not fire a timer again while its own handler is still running: a modal box
    // there would stop the polls until the user comes back to click it.
    auto* box = new QMessageBox(BoxIcon(icon), FromUtf8(caption), FromUtf8(text), QMessageBox::Ok,
                                VisibleOwner(m_owner));
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
}

}  // namespace tavrolin
