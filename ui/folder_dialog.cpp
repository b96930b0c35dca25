#include "ui/folder_dialog.h"

#include <QFileDialog>

namespace draftwell {

std::optional<QString> FolderDialog::choose(QWidget* parent, const QString& startFolder) {
    QFileDialog dialog(parent, QStringLiteral("Select Output Folder"), startFolder);
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
