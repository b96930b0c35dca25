#include "app/lap_csv_logger.h"

#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QStringEncoder>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <limits>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

#include "app/description_text.h"
#include "app/format_number.h"

namespace draftwell {

namespace {

constexpr char kRunPrefix[] = "Run_";
// "Run_007_rider-12345.csv": another rider's file of run 7.
constexpr char kRiderInfix[] = "_rider-";

// "+" or "-" then one or more ASCII digits, nothing else, within 64 bits.
std::optional<std::int64_t> parseRunNumber(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    const char* first = bytes.constData();
    const char* last = first + bytes.size();
    bool negative = false;
    if (first != last && (*first == '+' || *first == '-')) {
        negative = *first == '-';
        ++first;
    }
    if (first == last) {
        return std::nullopt;
    }
    for (const char* p = first; p != last; ++p) {
        if (*p < '0' || *p > '9') {
            return std::nullopt;
        }
    }
    // Parse as unsigned magnitude so that the most negative value fits too.
    std::uint64_t magnitude = 0;
    const auto res = std::from_chars(first, last, magnitude);
    if (res.ec != std::errc() || res.ptr != last) {
        return std::nullopt;
    }
    constexpr auto maxPositive = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (negative) {
        if (magnitude > maxPositive + 1) {
            return std::nullopt;
        }
        return magnitude == maxPositive + 1 ? std::numeric_limits<std::int64_t>::min()
                                            : -static_cast<std::int64_t>(magnitude);
    }
    if (magnitude > maxPositive) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(magnitude);
}

QString localStartTime() {
    return QLocale().toString(QDateTime::currentDateTime(), QStringLiteral("dd/MM/yy HH:mm:ss"));
}

} // namespace

LapCSVLogger::~LapCSVLogger() {
    close();
}

std::optional<std::int64_t> LapCSVLogger::nextRunNumber(const QString& folder) {
    std::error_code ec;
    std::filesystem::directory_iterator it(std::filesystem::path(QFile::encodeName(folder).toStdString()),
                                           ec);
    if (ec) {
        return std::nullopt;
    }
    std::int64_t highest = 0;
    for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
        const QString name = QFile::decodeName(QByteArray::fromStdString(it->path().filename().native()));
        if (!name.startsWith(QLatin1StringView(kRunPrefix)) ||
            !name.toLower().endsWith(QLatin1StringView(".csv"))) {
            continue;
        }
        const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
        QString stem = name.left(dot).mid(4);
        const qsizetype rider = stem.indexOf(QLatin1StringView(kRiderInfix));
        if (rider >= 0 && stem.size() > rider + qsizetype{sizeof kRiderInfix - 1}) {
            stem.truncate(rider);
        }
        const auto number = parseRunNumber(stem);
        // The largest number has no successor; counting it would wrap around.
        if (!number || *number == std::numeric_limits<std::int64_t>::max()) {
            continue;
        }
        if (*number >= highest) {
            highest = *number;
        }
    }
    if (ec) {
        return std::nullopt;
    }
    return highest + 1;
}

QString LapCSVLogger::fileNameForRun(std::int64_t runNumber) {
    return QString::asprintf("Run_%03lld.csv", static_cast<long long>(runNumber));
}

QString LapCSVLogger::fileNameForRider(std::int64_t runNumber, std::optional<std::uint16_t> deviceNumber) {
    const QString rider = deviceNumber ? QString::number(*deviceNumber) : QStringLiteral("unnumbered");
    return QString::asprintf("Run_%03lld", static_cast<long long>(runNumber)) +
           QLatin1StringView(kRiderInfix) + rider + QStringLiteral(".csv");
}

LapCSVLogger::Result LapCSVLogger::open(const QString& filePath) {
    errorText_.clear();
    if (auto err = close()) {
        return err;
    }
    const QByteArray path = QFile::encodeName(filePath);
    // O_EXCL also refuses a dangling symlink, so nothing is ever written
    // through a name that someone else created in the meantime.
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        return fail(errno == EEXIST ? LoggerError::fileAlreadyExists : LoggerError::failedToCreateFile);
    }
    fd_ = fd;
    startLine_ = localStartTime();
    if (auto err = writeLine(startLine_)) {
        // Nothing more will be written to a run that failed to start.
        ::close(fd_);
        fd_ = -1;
        return err;
    }
    return std::nullopt;
}

LapCSVLogger::Result LapCSVLogger::fail(LoggerError error) {
    errorText_ = QString::fromLocal8Bit(std::strerror(errno));
    return error;
}

LapCSVLogger::Result LapCSVLogger::writeLine(const QString& text) {
    if (fd_ < 0) {
        return std::nullopt;
    }
    QStringEncoder encoder(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless);
    QByteArray bytes = encoder.encode(text);
    if (encoder.hasError()) {
        errorText_ = QStringLiteral("text that cannot be written as UTF-8");
        return LoggerError::failedToEncode;
    }
    bytes.append('\n');
    return writeBytes(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

LapCSVLogger::Result LapCSVLogger::writeBytes(const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd_, data, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return fail(LoggerError::writeFailed);
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return std::nullopt;
}

QString LapCSVLogger::headerRow(const QString& delimiter) {
    static const QStringList columns{"Flag", "Lap",   "CdACal", "Cal",  "CdARaw", "Time",
                                     "Dist", "Speed", "Power",  "Head", "Chest"};
    return columns.join(delimiter);
}

QString LapCSVLogger::row(const LapData& lap, const QString& delimiter) {
    return joinFields(rowFields(lap), delimiter);
}

QString LapCSVLogger::joinFields(const QStringList& fields, const QString& delimiter) {
    QString out;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0) {
            out += delimiter;
        }
        const QString& field = fields[i];
        if (!delimiter.isEmpty() && field.contains(delimiter)) {
            QString escaped = field;
            escaped.replace(u'"', QStringLiteral("\"\""));
            out += u'"' + escaped + u'"';
        } else {
            out += field;
        }
    }
    return out;
}

QStringList LapCSVLogger::rowFields(const LapData& lap) {
    return QStringList{
        lap.use ? QStringLiteral("X") : QString(),
        QString::number(lap.lap),
        formatNumber(lap.cdACal, 6),
        formatNumber(lap.cal, 6),
        formatNumber(lap.cdA, 6),
        formatNumber(lap.lapTime, 3),
        formatNumber(lap.dist, 3),
        lap.speed ? formatNumber(*lap.speed, 3) : QString(), // an empty cell reads as missing
        formatNumber(lap.riderPwr, 2),
        formatNumber(lap.head, 1),
        formatNumber(lap.chest, 1),
    };
}

LapCSVLogger::Result LapCSVLogger::finish(const QString& description, const std::vector<LapDataRef>& laps,
                                          const QString& delimiter) {
    if (fd_ < 0) {
        return std::nullopt;
    }
    errorText_.clear();
    // Written into a file whose folder is gone, the laps would be lost while
    // the stop looked successful.
    struct stat st {};
    if (::fstat(fd_, &st) == 0 && st.st_nlink == 0) {
        errorText_ = QStringLiteral("the file was removed");
        close();
        return LoggerError::fileRemoved;
    }
    Result result = writeLine(QStringLiteral("Description: ") + csvDescriptionText(description));
    if (!result) {
        result = writeLine(headerRow(delimiter));
    }
    for (auto it = laps.rbegin(); !result && it != laps.rend(); ++it) {
        if (*it) {
            result = writeLine(row(**it, delimiter));
        }
    }
    // A lap log that only lives in the page cache is not yet safe; a failure
    // to flush it is a failure to write it.
    if (!result && ::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS) {
        result = fail(LoggerError::writeFailed);
    }
    const Result closed = close();
    return result ? result : closed;
}

LapCSVLogger::Result LapCSVLogger::close() {
    if (fd_ < 0) {
        return std::nullopt;
    }
    // The descriptor is released even when close reports an error; closing it
    // again could close a descriptor that another part of the process now owns.
    const int rc = ::close(fd_);
    fd_ = -1;
    if (rc != 0 && errno != EINTR) {
        return fail(LoggerError::closeFailed);
    }
    return std::nullopt;
}

} // namespace draftwell
