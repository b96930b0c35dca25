#pragma once

#include <QString>

#include <optional>

class QWidget;

namespace draftwell {

// The modal "Select Output Folder" chooser: folders only, one of them, new
// folders may be created. Empty when the user cancels.
struct FolderDialog {
    static std::optional<QString> choose(QWidget* parent, const QString& startFolder);
    // The path itself when it is a folder, else its closest ancestor that is.
    static QString nearestExistingFolder(const QString& path);
};

} // namespace draftwell
