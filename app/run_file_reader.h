#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace draftwell {

// A lap as read back from a run file.
struct RunFileLap {
    bool use = false;
    qint64 lap = 0;
    double cdACal = 0.0;
    double lapTime = 0.0; // 0 when the field is empty
};

struct RunFile {
    QString fileName;
    QString configuration; // the description, trimmed
    std::optional<QDateTime> start;
    QString delimiter;
    std::vector<RunFileLap> laps; // oldest first, as in the file
};

struct SkippedRunFile {
    QString fileName;
    QString reason;
};

struct RunFolderContents {
    std::vector<RunFile> runs; // by run number
    std::vector<SkippedRunFile> skipped;
};

// Reads the run files a folder holds, whatever separator and locale they
// were written in, quoted or from before fields were quoted. Files are only
// ever opened for reading.
class RunFileReader {
  public:
    // No run file comes near this; a bigger file is not one.
    static constexpr qint64 kMaxFileBytes = qint64{16} * 1024 * 1024;

    // Every Run_NNN.csv directly in the folder except `ignoredName` (the run
    // being logged, whose file is not finished).
    static RunFolderContents readFolder(const QString& folder, const QString& ignoredName = QString());

    // One file's bytes; on failure `reason` says why it is not a run.
    static std::optional<RunFile> parse(const QByteArray& bytes, QString& reason);

    // Line 1, "dd/MM/yy HH:mm:ss" in local time.
    static std::optional<QDateTime> parseStartLine(const QString& line);

    // The fields of one row: RFC 4180 quoting, or, for an older unquoted row
    // with "," between fields that also hold decimal commas, the fields
    // rebuilt from their fixed fraction digits. Empty when the row cannot be
    // decoded into the eleven columns.
    static std::optional<QStringList> splitRow(const QString& row, const QString& delimiter);
};

} // namespace draftwell
