// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/QtFileChooser.h"

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>

#include "platform/qt/QtMessageSink.h"

namespace tavrolin {

QStringList NameFilters(const std::vector<FileFilter>& filters) {
    QStringList names;
    for (const FileFilter& filter : filters) {
        const QString label = QString::fromStdString(filter.label);
        const QString pattern = QString::fromStdString(filter.pattern);
        if (label == pattern ||
            label.endsWith(QStringLiteral("(") + pattern + QStringLiteral(")"))) {
            names << label;
        } else {
            names << QStringLiteral("%1 (%2)").arg(label, pattern);
        }
    }
    return names;
}

namespace {

// "*.*" means every file where the filters come from, but to Qt's wildcards it is a name
// with a dot, so "Alle Dateien (*.*)" would hide "protokoll" or "README". When such a filter
// is chosen, the dialog's file list is given "*" instead, after the dialog has applied the
// filter itself (hence the queued connection). The file-type box is found by the name Qt's
// own dialog gives it; without it the filter stays as Qt reads it.
void ShowEveryFileForStarDotStar(QFileDialog& dialog, const std::vector<FileFilter>& filters) {
    auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    auto* model = dialog.findChild<QFileSystemModel*>();
    if (types == nullptr || model == nullptr) {
        return;
    }
    QObject::connect(
        types, &QComboBox::currentIndexChanged, &dialog,
        [&filters, model](int index) {
            if (index >= 0 && index < static_cast<int>(filters.size()) &&
                filters[static_cast<std::size_t>(index)].pattern == "*.*") {
                model->setNameFilters({QStringLiteral("*")});
            }
        },
        Qt::QueuedConnection);
}

}  // namespace

std::optional<std::string> QtFileChooser::ChooseFile(const std::vector<FileFilter>& filters) {
    QFileDialog dialog(VisibleOwner(m_owner));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(NameFilters(filters));
    ShowEveryFileForStarDotStar(dialog, filters);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    // The path in the file system's own encoding, which the protocol file is opened with.
    return QFile::encodeName(dialog.selectedFiles().front()).toStdString();
}

}  // namespace tavrolin
