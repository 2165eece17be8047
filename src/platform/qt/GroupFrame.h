// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QGroupBox>

namespace tavrolin {

// A group box as the dialog layouts assume it: the caption at the box's top edge and the
// frame's top line through the middle of the caption, broken where the caption stands. Qt's
// styles draw the frame below the caption instead, a caption's height lower than the layouts
// were measured for, so that the controls placed in dialog units sat on the frame line.
class GroupFrame : public QGroupBox {
public:
    GroupFrame(const QString& title, QWidget* parent);

    // Where the frame's lines run and where the caption stands, in the box's coordinates.
    QRect FrameRect() const;
    QRect CaptionRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace tavrolin
