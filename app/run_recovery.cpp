#include "app/run_recovery.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/durable_io.h"
#include "app/run_journal_contents.h"

namespace draftwell {

namespace {

const QLatin1StringView kJournalPrefix(".Run_");
const QLatin1StringView kJournalSuffix(".csv.journal");

QString keptLine(const QString& runFile, const QString& reason) {
    return QStringLiteral("Could not recover %1: %2. Its journal is kept.").arg(runFile, reason);
}

// Writes the file under a temporary name and renames it over the run file,
// so the run file is always either what it was or complete.
bool writeRunFile(const QString& folder, const QString& runFile, const QByteArray& bytes, int& error) {
    const QByteArray tmp =
        QFile::encodeName(QDir(folder).filePath(u'.' + runFile + QStringLiteral(".recovering")));
    ::unlink(tmp.constData());
    const int fd = ::open(tmp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = errno;
        return false;
    }
    bool ok = writeAll(fd, bytes) && ::fsync(fd) == 0;
    error = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && ::rename(tmp.constData(), QFile::encodeName(QDir(folder).filePath(runFile)).constData()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(tmp.constData());
        return false;
    }
    if (!syncFolder(folder)) {
        error = errno;
        return false;
    }
    return true;
}

bool fileHolds(const QString& path, const QByteArray& bytes) {
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    QByteArray existing;
    const bool read = readWholeFile(fd, bytes.size(), existing);
    ::close(fd);
    return read && existing == bytes;
}

} // namespace

QStringList RunRecovery::recoverFolder(const QString& folder) {
    if (folder.isEmpty()) {
        return {};
    }
    QStringList names;
    const QStringList entries =
        QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : entries) {
        if (name.startsWith(kJournalPrefix) && name.endsWith(kJournalSuffix) &&
            name.size() > kJournalPrefix.size() + kJournalSuffix.size()) {
            names.append(name);
        }
    }
    QStringList lines;
    for (const QString& name : names) {
        lines += recoverJournal(folder, name);
    }
    return lines;
}

QStringList RunRecovery::recoverJournal(const QString& folder, const QString& journalName) {
    // ".Run_007.csv.journal" belongs to "Run_007.csv"; the name comes from the
    // folder listing, never from the journal's contents.
    const QString runFile = journalName.mid(1, journalName.size() - 1 - QLatin1StringView(".journal").size());
    const QByteArray journalPath = QFile::encodeName(QDir(folder).filePath(journalName));

    const int fd = ::open(journalPath.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        return errno == ENOENT ? QStringList{} : QStringList{keptLine(runFile, systemErrorText(errno))};
    }
    struct FdCloser {
        int fd;
        ~FdCloser() { ::close(fd); }
    } closer{fd};

    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        return {};
    }
    // Locked: its run is still being logged. A file system without locks
    // cannot say so, and its journals are recovered like any other.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno != ENOLCK && errno != EOPNOTSUPP && errno != EINVAL) {
        return {};
    }
    // Replaced or removed while we waited for the lock: not ours to recover.
    struct stat named {};
    if (::stat(journalPath.constData(), &named) != 0 || named.st_dev != opened.st_dev ||
        named.st_ino != opened.st_ino) {
        return {};
    }

    QByteArray bytes;
    if (!readWholeFile(fd, kMaxJournalBytes, bytes)) {
        return {keptLine(runFile, systemErrorText(errno))};
    }
    const RunJournalContents contents = RunJournalContents::parse(bytes);
    switch (contents.status) {
    case RunJournalContents::Status::unreadable:
        return {keptLine(runFile,
                         QStringLiteral("its journal %1 is not one this program can read").arg(journalName))};
    case RunJournalContents::Status::noRun:
        if (::unlink(journalPath.constData()) != 0) {
            return {keptLine(runFile, systemErrorText(errno))};
        }
        syncFolder(folder);
        return {QStringLiteral("Removed the journal of %1, which held no run yet.").arg(runFile)};
    case RunJournalContents::Status::complete:
    case RunJournalContents::Status::damagedEnd:
        break;
    }

    const QByteArray rendered = contents.snapshot.render();
    // The run was stopped and written, only the journal's removal failed:
    // nothing to recover, and no reason to tell of a crash that never was.
    if (contents.status == RunJournalContents::Status::complete &&
        fileHolds(QDir(folder).filePath(runFile), rendered)) {
        if (::unlink(journalPath.constData()) != 0) {
            return {QStringLiteral("Could not remove the journal of %1: %2.")
                        .arg(runFile, systemErrorText(errno))};
        }
        syncFolder(folder);
        return {};
    }
    int error = 0;
    if (!writeRunFile(folder, runFile, rendered, error)) {
        return {keptLine(runFile, systemErrorText(error))};
    }
    QStringList lines;
    const auto laps = static_cast<qsizetype>(contents.snapshot.rows.size());
    lines.append(laps == 1
                     ? QStringLiteral("Recovered %1 with 1 lap.").arg(runFile)
                     : QStringLiteral("Recovered %1 with %2 laps.").arg(runFile, QString::number(laps)));
    if (contents.status == RunJournalContents::Status::damagedEnd) {
        lines.append(QStringLiteral("The journal of %1 ended in a damaged record (a write cut short); "
                                    "everything before it was recovered.")
                         .arg(runFile));
    }
    if (::unlink(journalPath.constData()) != 0) {
        lines.append(
            QStringLiteral("Could not remove the journal of %1: %2.").arg(runFile, systemErrorText(errno)));
    } else {
        syncFolder(folder);
    }
    return lines;
}

} // namespace draftwell
