#include "ui/folder_dialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace draftwell {

QString FolderDialog::nearestExistingFolder(const QString& path) {
    QString folder = QDir::cleanPath(QDir(path).absolutePath());
    while (!QFileInfo(folder).isDir()) {
        const QString parent = QFileInfo(folder).path();
        if (parent == folder) {
            break;
        }
        folder = parent;
    }
    return folder;
}

std::optional<QString> FolderDialog::choose(QWidget* parent, const QString& startFolder) {
    // A folder that does not exist yet would open the dialog in the working directory.
    QFileDialog dialog(parent, QStringLiteral("Select Output Folder"), nearestExistingFolder(startFolder));
    dialog.setObjectName(QStringLiteral("folderDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setOption(QFileDialog::ReadOnly, false);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.front().isEmpty()) {
        return std::nullopt;
    }
    return chosen.front();
}

} // namespace draftwell
