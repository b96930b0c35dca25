#pragma once

#include <QString>
#include <QStringList>

#include <string>
#include <vector>

#include "laps/lap_data.h"

namespace draftwell {

// The recovery journal of the run being logged: a hidden file beside the run
// file (".Run_007.csv.journal") that holds, record by record, everything the
// stop will write: line 1, the separator, the description and every lap's
// fields. Each change is appended and flushed to disk before record()
// returns, so a crash, a kill or a power cut loses nothing that completed.
//
// Format, version 1, one RunJournalRecord per line:
//   journal 1                 first line
//   start <line 1>            second line
//   delimiter <"," or ";">
//   description <text>        as the run file will show it
//   lap <index> <11 fields>   sets the lap at index (oldest is 0); index ==
//                             count appends
//   laps <count>              drops the laps from count on
// Later records override earlier ones. While the journal is open its file is
// locked (flock), so another instance never takes a live run for a dead one.
//
// Main thread only; writes are synchronous.
class RunJournal {
  public:
    RunJournal() = default;
    ~RunJournal();
    RunJournal(const RunJournal&) = delete;
    RunJournal& operator=(const RunJournal&) = delete;

    // Beyond this size the next change rewrites the journal from the current
    // state instead of appending to it.
    static constexpr qint64 kRewriteAbove = qint64{8} * 1024 * 1024;

    static QString fileNameFor(const QString& runFileName);

    // Starts the journal of a run just opened, holding the whole current
    // state. On failure it stays active and record() tries again.
    bool begin(const QString& folder, const QString& runFileName, const QString& startLine,
               const QString& delimiter, const QString& description, const std::vector<LapDataRef>& laps);
    // Appends what changed since the last call and flushes it; after a failed
    // write it rewrites the whole journal instead. False when the journal on
    // disk is not up to date; errorText() says why.
    bool record(const QString& delimiter, const QString& description, const std::vector<LapDataRef>& laps);
    // The run file is complete: the journal goes.
    bool remove();
    // The run ends without a complete file: the journal stays for recovery.
    void close();

    bool isActive() const { return active_; }
    bool isUpToDate() const { return active_ && !failed_; }
    const QString& errorText() const { return errorText_; }
    QString filePath() const;

  private:
    struct JournaledLap {
        std::string id;
        QStringList fields;
    };
    struct State {
        QString delimiter;
        QString description;
        std::vector<JournaledLap> laps;
    };

    static State stateOf(const QString& delimiter, const QString& description,
                         const std::vector<LapDataRef>& laps);
    QByteArray changesTo(const State& next) const;
    bool rewrite();
    bool fail(int error);
    bool failWith(const QString& reason);
    void closeFile();

    QString folder_;
    QString runFileName_;
    QString startLine_;
    State written_;
    int fd_ = -1;
    qint64 size_ = 0;
    bool active_ = false;
    bool failed_ = false;
    QString errorText_;
};

} // namespace draftwell
