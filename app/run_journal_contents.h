#pragma once

#include <QByteArray>

#include "app/run_snapshot.h"

namespace draftwell {

// What a recovery journal read from disk holds. The bytes are input: every
// record is checked, and reading stops at the first one that is torn,
// scrambled or makes no sense, keeping every whole record before it.
struct RunJournalContents {
    enum class Status {
        complete,   // every record read
        damagedEnd, // the records before a damaged one (a torn write at a power cut)
        noRun,      // nothing of a run yet: empty, or cut inside its first records
        unreadable, // not a journal of a version this program knows
    };

    Status status = Status::noRun;
    RunSnapshot snapshot;
    int ignoredLines = 0; // damaged record and what followed it

    static RunJournalContents parse(const QByteArray& bytes);
};

} // namespace draftwell
