// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/GroupFrame.h"

#include <qdrawutil.h>
#include <QPainter>
#include <QStyle>
#include <algorithm>

namespace tavrolin {

namespace {

// The caption stands this far from the box's left edge, as the dialog manager draws it, with
// a pixel of gap in the line on either side of it. A caption that would then run into the
// right line (the layouts' boxes were measured for another font) moves left, down to
// kTightIndent.
constexpr int kCaptionIndent = 7;
constexpr int kTightIndent = 3;
constexpr int kCaptionGap = 1;
constexpr int kLineWidth = 2;

}  // namespace

GroupFrame::GroupFrame(const QString& title, QWidget* parent) : QGroupBox(title, parent) {
    setFocusPolicy(Qt::NoFocus);
}

QRect GroupFrame::FrameRect() const {
    // The line runs through the middle of the caption.
    const int top = fontMetrics().height() / 2 - 1;
    return QRect(0, top, width(), height() - top);
}

QRect GroupFrame::CaptionRect() const {
    if (title().isEmpty()) {
        return {};
    }
    const int wanted = fontMetrics().horizontalAdvance(title());
    const int end = width() - kLineWidth - kCaptionGap;
    const int x = std::clamp(end - wanted, kTightIndent, kCaptionIndent);
    return QRect(x, 0, wanted, fontMetrics().height());
}

void GroupFrame::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const QRect caption = CaptionRect();
    painter.save();
    if (!caption.isEmpty()) {
        painter.setClipRegion(QRegion(rect()) - caption.adjusted(-kCaptionGap, 0, kCaptionGap, 0));
    }
    // Etched: a dark line, and a light one beside it.
    qDrawShadeRect(&painter, FrameRect(), palette(), true, 1, 0);
    painter.restore();
    style()->drawItemText(&painter, caption, Qt::AlignLeft | Qt::AlignTop | Qt::TextHideMnemonic,
                          palette(), isEnabled(), title(), QPalette::WindowText);
}

}  // namespace tavrolin
