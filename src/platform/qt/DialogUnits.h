// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

class QWidget;

namespace tavrolin {

// The font of the program's windows: a narrow sans serif at 8 point whose metrics match those
// of the dialog font the layouts were drawn for (6 x 13 pixels of base units at 96 dpi), so
// that the German captions fit the boxes they were measured for.
QFont DialogFont();

// Dialog units to pixels, as the dialog manager converts a resource's layout: a horizontal
// unit is a quarter of the font's average character width, a vertical unit an eighth of its
// height.
class DialogUnits {
public:
    // Base units from the font's metrics: the average width is taken over the 52 letters of
    // the alphabet, rounded, like the dialog manager measures it.
    explicit DialogUnits(const QFont& font);
    DialogUnits(int baseX, int baseY) : m_baseX(baseX), m_baseY(baseY) {}

    int BaseX() const { return m_baseX; }
    int BaseY() const { return m_baseY; }
    int X(int units) const;
    int Y(int units) const;
    // Each value is converted on its own, as the dialog manager does when it creates a
    // control (so a control's width does not depend on its position).
    QRect Rect(int x, int y, int width, int height) const;
    QSize Size(int width, int height) const;

private:
    int m_baseX = 6;
    int m_baseY = 13;
};

// Widens a static text, check box or radio button whose caption would be cut by a few pixels:
// the layout's boxes were measured for a font whose letters differ from this one's by a pixel
// here and there. Push buttons and group boxes keep their size.
void WidenToCaption(QWidget* widget);

// The average character width of a font as the dialog manager measures it.
int AverageCharWidth(int widthOfAlphabet);

}  // namespace tavrolin
