#include "app/run_journal.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/description_text.h"
#include "app/durable_io.h"
#include "app/lap_csv_logger.h"
#include "app/run_journal_record.h"

namespace draftwell {

namespace {

QByteArray encodeRecord(QStringList fields) {
    return RunJournalRecord{std::move(fields)}.encode();
}

// Some network file systems have no locks; a journal there still protects
// the run, it only cannot tell a second instance that the run is live.
bool lockOrUnsupported(int fd) {
    return ::flock(fd, LOCK_EX | LOCK_NB) == 0 || errno == ENOLCK || errno == EOPNOTSUPP || errno == EINVAL;
}

QByteArray lapRecord(std::size_t index, const QStringList& fields) {
    return encodeRecord(QStringList{QStringLiteral("lap"), QString::number(index)} + fields);
}

} // namespace

RunJournal::~RunJournal() {
    closeFile();
}

QString RunJournal::fileNameFor(const QString& runFileName) {
    return u'.' + runFileName + QStringLiteral(".journal");
}

QString RunJournal::filePath() const {
    return QDir(folder_).filePath(fileNameFor(runFileName_));
}

RunJournal::State RunJournal::stateOf(const QString& delimiter, const QString& description,
                                      const std::vector<LapDataRef>& laps) {
    State state{delimiter, csvDescriptionText(description), {}};
    state.laps.reserve(laps.size());
    for (auto it = laps.rbegin(); it != laps.rend(); ++it) {
        if (*it) {
            state.laps.push_back({(*it)->id, LapCSVLogger::rowFields(**it)});
        }
    }
    return state;
}

bool RunJournal::begin(const QString& folder, const QString& runFileName, const QString& startLine,
                       const QString& delimiter, const QString& description,
                       const std::vector<LapDataRef>& laps) {
    closeFile();
    folder_ = folder;
    runFileName_ = runFileName;
    startLine_ = startLine;
    written_ = stateOf(delimiter, description, laps);
    active_ = true;
    failed_ = false;
    errorText_.clear();
    return rewrite();
}

QByteArray RunJournal::changesTo(const State& next) const {
    QByteArray out;
    if (next.delimiter != written_.delimiter) {
        out += encodeRecord({QStringLiteral("delimiter"), next.delimiter});
    }
    if (next.description != written_.description) {
        out += encodeRecord({QStringLiteral("description"), next.description});
    }
    const std::size_t shared = std::min(written_.laps.size(), next.laps.size());
    std::size_t same = 0;
    while (same < shared && written_.laps[same].id == next.laps[same].id) {
        ++same;
    }
    if (same < written_.laps.size()) {
        out += encodeRecord({QStringLiteral("laps"), QString::number(same)});
    }
    for (std::size_t i = 0; i < next.laps.size(); ++i) {
        if (i >= same || next.laps[i].fields != written_.laps[i].fields) {
            out += lapRecord(i, next.laps[i].fields);
        }
    }
    return out;
}

bool RunJournal::record(const QString& delimiter, const QString& description,
                        const std::vector<LapDataRef>& laps) {
    if (!active_) {
        return true;
    }
    State next = stateOf(delimiter, description, laps);
    if (failed_ || fd_ < 0) {
        written_ = std::move(next);
        return rewrite();
    }
    const QByteArray changes = changesTo(next);
    // Whatever happens to the write, the next attempt starts from this state.
    written_ = std::move(next);
    if (changes.isEmpty()) {
        return true;
    }
    // A long run with many changes starts over from its current state, so
    // the journal stays far below what recovery is willing to read.
    if (size_ + changes.size() > kRewriteAbove) {
        return rewrite();
    }
    if (!writeAll(fd_, changes) || ::fdatasync(fd_) != 0) {
        return fail(errno);
    }
    size_ += changes.size();
    // Writes into a removed folder succeed and keep nothing.
    struct stat st {};
    if (::fstat(fd_, &st) == 0 && st.st_nlink == 0) {
        return failWith(QStringLiteral("the file was removed"));
    }
    return true;
}

bool RunJournal::rewrite() {
    // The whole journal goes to a temporary name and is renamed into place,
    // so the name always holds a complete journal.
    const QString tmpPath = filePath() + QStringLiteral(".tmp");
    const QByteArray tmp = QFile::encodeName(tmpPath);
    ::unlink(tmp.constData());
    const int fd = ::open(tmp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        return fail(errno);
    }
    QByteArray bytes = encodeRecord({QStringLiteral("journal"), QStringLiteral("1")});
    bytes += encodeRecord({QStringLiteral("start"), startLine_});
    bytes += encodeRecord({QStringLiteral("delimiter"), written_.delimiter});
    bytes += encodeRecord({QStringLiteral("description"), written_.description});
    for (std::size_t i = 0; i < written_.laps.size(); ++i) {
        bytes += lapRecord(i, written_.laps[i].fields);
    }
    // The lock travels with the file through the rename.
    const bool ok = lockOrUnsupported(fd) && writeAll(fd, bytes) && ::fsync(fd) == 0 &&
                    ::rename(tmp.constData(), QFile::encodeName(filePath()).constData()) == 0;
    if (!ok) {
        const int error = errno;
        ::close(fd);
        ::unlink(tmp.constData());
        return fail(error);
    }
    closeFile();
    fd_ = fd;
    size_ = bytes.size();
    if (!syncFolder(folder_)) {
        return fail(errno);
    }
    failed_ = false;
    errorText_.clear();
    return true;
}

bool RunJournal::remove() {
    if (!active_) {
        return true;
    }
    active_ = false;
    const bool removed = ::unlink(QFile::encodeName(filePath()).constData()) == 0 || errno == ENOENT;
    const int error = errno;
    closeFile();
    if (!removed) {
        errorText_ = systemErrorText(error);
        return false;
    }
    syncFolder(folder_);
    return true;
}

void RunJournal::close() {
    active_ = false;
    closeFile();
}

void RunJournal::closeFile() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

bool RunJournal::fail(int error) {
    return failWith(systemErrorText(error));
}

bool RunJournal::failWith(const QString& reason) {
    failed_ = true;
    errorText_ = reason;
    return false;
}

} // namespace draftwell
