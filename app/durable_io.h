#pragma once

#include <QByteArray>
#include <QString>

namespace draftwell {

// Writes every byte, retrying after signals; false (errno set) on failure.
bool writeAll(int fd, const QByteArray& bytes);
// Makes the folder's entries (new, renamed or removed names) durable.
bool syncFolder(const QString& folder);
// Reads a whole file of at most maxBytes; false (errno set) on failure or when
// the file is larger.
bool readWholeFile(int fd, qint64 maxBytes, QByteArray& out);
// "No space left on device" for ENOSPC and so on.
QString systemErrorText(int error);

} // namespace draftwell
