#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace draftwell {

// What a run's file holds once logging stops, in its parts: line 1, the
// separator, the description as written, and each lap's eleven fields, oldest
// lap first. Built from the live run by the journal and from the journal on
// recovery, so both render the same bytes.
struct RunSnapshot {
    QString startLine;
    QString delimiter = QStringLiteral(",");
    QString descriptionText; // already made safe for the file
    std::vector<QStringList> rows;

    // The whole file, exactly as a successful stop writes it.
    QByteArray render() const;
};

} // namespace draftwell
