#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringList>

#include <optional>

namespace draftwell {

// One line of a run's recovery journal: text fields separated by tabs, with
// backslash, tab, line feed and carriage return escaped as \\ \t \n \r, then
// a tab and the CRC-32 of everything before it in eight lower-case hex
// digits, then a line feed. The checksum tells a whole record from one torn
// or scrambled by a power cut.
struct RunJournalRecord {
    QStringList fields; // fields[0] is the record's kind

    QByteArray encode() const;
    // `line` without its line feed; empty when the line is not a whole,
    // intact record.
    static std::optional<RunJournalRecord> decode(QByteArrayView line);
};

} // namespace draftwell
