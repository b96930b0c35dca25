#pragma once

#include <QString>
#include <QStringList>

#include <vector>

#include "app/lap_csv_logger.h"
#include "app/rider_lanes.h"
#include "app/run_journal.h"
#include "laps/lap_data.h"

namespace draftwell {

// The file of one more rider heard during a run, beside the run's own file
// and written the same way, with its own recovery journal. Each step returns
// the log lines of what went wrong (empty when all went well).
class RiderRunFile {
  public:
    RiderRunFile(RiderKey rider, QString fileName) : rider_(rider), fileName_(std::move(fileName)) {}

    QStringList open(const QString& folder, const QString& delimiter, const QString& description,
                     const std::vector<LapDataRef>& laps);
    QStringList record(const QString& delimiter, const QString& description,
                       const std::vector<LapDataRef>& laps);
    // Writes and closes the file; the journal goes once the file is complete.
    QStringList finish(const QString& delimiter, const QString& description,
                       const std::vector<LapDataRef>& laps);

    RiderKey rider() const { return rider_; }
    const QString& fileName() const { return fileName_; }
    bool isOpen() const { return logger_.isOpen(); }

  private:
    QStringList journalFailure() const;

    RiderKey rider_;
    QString fileName_;
    LapCSVLogger logger_;
    RunJournal journal_;
};

} // namespace draftwell
