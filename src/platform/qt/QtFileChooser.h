// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include "decode/FileChooser.h"

namespace tavrolin {

// The name filters of a file dialog for the given filters: the label alone where it already
// names the pattern ("*.dat"), else "label (pattern)" unless the label ends with it.
QStringList NameFilters(const std::vector<FileFilter>& filters);

// The file dialog of ". . .": Qt's own dialog (the same on every desktop) in open mode that
// also accepts a name that does not exist yet, since choosing a protocol file creates it.
class QtFileChooser : public FileChooser {
public:
    std::optional<std::string> ChooseFile(const std::vector<FileFilter>& filters) override;
    void SetOwner(QWidget* owner) { m_owner = owner; }

private:
    QPointer<QWidget> m_owner;
};

}  // namespace tavrolin
