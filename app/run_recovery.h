#pragma once

#include <QString>
#include <QStringList>

namespace draftwell {

// Turns the recovery journals that runs which never stopped left in a folder
// into those runs' files, each exactly as its stop would have written it,
// and removes the journals. A journal whose run is still being logged (by
// this or another instance) is locked and left alone; one that cannot be
// read or written out is kept for a later attempt.
class RunRecovery {
  public:
    // Journals bigger than this are not read: no run comes near it.
    static constexpr qint64 kMaxJournalBytes = qint64{64} * 1024 * 1024;

    // The log lines saying what was recovered or why not; empty when the
    // folder holds no journal (or does not exist).
    static QStringList recoverFolder(const QString& folder);

  private:
    static QStringList recoverJournal(const QString& folder, const QString& journalName);
};

} // namespace draftwell
