// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/DialogUnits.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>

namespace tavrolin {

namespace {

// a * b / c rounded half away from zero, the rounding of the dialog manager's conversions.
int MulDiv(int a, int b, int c) {
    const long long product = static_cast<long long>(a) * b;
    const long long half = c / 2;
    return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

}  // namespace

QFont DialogFont() {
    // DejaVu Sans Condensed (fonts-dejavu-extra) measures 6 x 13 pixels of base units at 8
    // point and 96 dpi, as the original dialog font did. The wider fonts of a Debian system
    // (DejaVu Sans: 7 x 13) would still lay out right, since the units follow the font, but
    // the layout's narrow boxes were measured for this width. Nimbus Sans, the other
    // candidate, is 16 pixels high and makes the window a fifth taller than drawn.
    QFont font(QStringLiteral("DejaVu Sans Condensed"), 8);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

void WidenToCaption(QWidget* widget) {
    QString caption;
    int room = 0;
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        caption = label->text();
        room = label->contentsRect().width();
    } else if (qobject_cast<QCheckBox*>(widget) != nullptr ||
               qobject_cast<QRadioButton*>(widget) != nullptr) {
        caption = static_cast<QAbstractButton*>(widget)->text().remove(QLatin1Char('&'));
        QStyleOptionButton option;
        option.initFrom(widget);
        const auto element = qobject_cast<QCheckBox*>(widget) != nullptr
                                 ? QStyle::SE_CheckBoxContents
                                 : QStyle::SE_RadioButtonContents;
        room = widget->style()->subElementRect(element, &option, widget).width();
    }
    if (caption.isEmpty()) {
        return;
    }
    const int needed = widget->fontMetrics().boundingRect(caption).width();
    if (needed > room) {
        widget->resize(widget->width() + needed - room, widget->height());
    }
}

int AverageCharWidth(int widthOfAlphabet) {
    return (widthOfAlphabet / 26 + 1) / 2;
}

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    m_baseX = AverageCharWidth(metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")));
    m_baseY = metrics.height();
}

int DialogUnits::X(int units) const {
    return MulDiv(units, m_baseX, 4);
}

int DialogUnits::Y(int units) const {
    return MulDiv(units, m_baseY, 8);
}

QRect DialogUnits::Rect(int x, int y, int width, int height) const {
    return QRect(X(x), Y(y), X(width), Y(height));
}

QSize DialogUnits::Size(int width, int height) const {
    return QSize(X(width), Y(height));
}

}  // namespace tavrolin
