#include "app/rider_run_file.h"

#include <QDir>

namespace draftwell {

QStringList RiderRunFile::journalFailure() const {
    return {QStringLiteral("Could not write the journal of %1: %2. The laps stay in the lap list "
                           "until logging stops.")
                .arg(fileName_, journal_.errorText())};
}

QStringList RiderRunFile::open(const QString& folder, const QString& delimiter, const QString& description,
                               const std::vector<LapDataRef>& laps) {
    if (logger_.open(QDir(folder).filePath(fileName_))) {
        return {QStringLiteral("Could not create %1 in %2: %3.").arg(fileName_, folder, logger_.errorText())};
    }
    QStringList lines{QStringLiteral("Opened %1.").arg(fileName_)};
    if (!journal_.begin(folder, fileName_, logger_.startLine(), delimiter, description, laps)) {
        lines += journalFailure();
    }
    return lines;
}

QStringList RiderRunFile::record(const QString& delimiter, const QString& description,
                                 const std::vector<LapDataRef>& laps) {
    if (!logger_.isOpen() || !journal_.isActive()) {
        return {};
    }
    const bool wasUpToDate = journal_.isUpToDate();
    if (journal_.record(delimiter, description, laps)) {
        return wasUpToDate
                   ? QStringList{}
                   : QStringList{QStringLiteral("The journal of %1 is written again.").arg(fileName_)};
    }
    return wasUpToDate ? journalFailure() : QStringList{};
}

QStringList RiderRunFile::finish(const QString& delimiter, const QString& description,
                                 const std::vector<LapDataRef>& laps) {
    if (!logger_.isOpen()) {
        return {};
    }
    record(delimiter, description, laps);
    const LapCSVLogger::Result finished = logger_.finish(description, laps, delimiter);
    if (!finished) {
        if (journal_.isActive() && !journal_.remove()) {
            return {QStringLiteral("Closed %1.").arg(fileName_),
                    QStringLiteral("Could not remove the journal of %1: %2.")
                        .arg(fileName_, journal_.errorText())};
        }
        return {QStringLiteral("Closed %1.").arg(fileName_)};
    }
    const bool recoverable = *finished != LoggerError::fileRemoved && journal_.isUpToDate();
    journal_.close();
    return {recoverable
                ? QStringLiteral("%1 is incomplete (%2); its journal completes it when logging next "
                                 "starts in this folder.")
                      .arg(fileName_, logger_.errorText())
                : QStringLiteral("%1 could not be written (%2).").arg(fileName_, logger_.errorText())};
}

} // namespace draftwell
