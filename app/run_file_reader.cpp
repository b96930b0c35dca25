#include "app/run_file_reader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>
#include <cmath>

namespace draftwell {

namespace {

constexpr int kColumns = 11;
// Fraction digits of the nine number columns after Flag and Lap.
constexpr int kFractionDigits[] = {6, 6, 6, 3, 3, 3, 2, 1, 1};
constexpr int kCdACalColumn = 2;
constexpr int kTimeColumn = 5;

const QString kDescriptionPrefix = QStringLiteral("Description: ");
const QStringList kHeader{"Flag", "Lap",   "CdACal", "Cal",  "CdARaw", "Time",
                          "Dist", "Speed", "Power",  "Head", "Chest"};

bool isInteger(const QString& text) {
    static const QRegularExpression pattern(QStringLiteral("^[-+]?[0-9]+$"));
    return pattern.match(text).hasMatch();
}

bool isDigits(const QString& text, int count) {
    return text.size() == count &&
           std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// A number in either decimal separator; empty text is a missing value.
std::optional<std::optional<double>> parseNumber(const QString& text) {
    if (text.isEmpty()) {
        return std::optional<double>();
    }
    if (text == QLatin1StringView("nan")) {
        return std::optional<double>(std::nan(""));
    }
    if (text == QLatin1StringView("inf") || text == QLatin1StringView("-inf")) {
        return std::optional<double>(text.startsWith(u'-') ? -INFINITY : INFINITY);
    }
    static const QRegularExpression pattern(QStringLiteral("^[-+]?[0-9]+([.,][0-9]+)?$"));
    if (!pattern.match(text).hasMatch()) {
        return std::nullopt;
    }
    QString plain = text;
    plain.replace(u',', u'.');
    bool ok = false;
    const double value = plain.toDouble(&ok);
    if (!ok) {
        return std::nullopt;
    }
    return std::optional<double>(value);
}

// RFC 4180 fields of one line; empty when a quote is not closed properly.
std::optional<QStringList> splitQuoted(const QString& row, QChar delimiter) {
    QStringList fields;
    qsizetype i = 0;
    while (true) {
        QString field;
        if (i < row.size() && row[i] == u'"') {
            ++i;
            while (true) {
                if (i >= row.size()) {
                    return std::nullopt;
                }
                if (row[i] == u'"') {
                    if (i + 1 < row.size() && row[i + 1] == u'"') {
                        field += u'"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += row[i++];
            }
            if (i < row.size() && row[i] != delimiter) {
                return std::nullopt;
            }
        } else {
            while (i < row.size() && row[i] != delimiter) {
                if (row[i] == u'"') {
                    return std::nullopt;
                }
                field += row[i++];
            }
        }
        fields.append(field);
        if (i >= row.size()) {
            return fields;
        }
        ++i; // the delimiter
    }
}

// An unquoted row whose decimal commas were also the separator: each number
// column had a fixed count of fraction digits, so an integer part followed by
// exactly that many digits is one number.
std::optional<QStringList> rebuildDecimalCommas(const QStringList& tokens) {
    if (tokens.size() < 2) {
        return std::nullopt;
    }
    QStringList fields{tokens[0], tokens[1]};
    qsizetype i = 2;
    for (const int digits : kFractionDigits) {
        if (i >= tokens.size()) {
            return std::nullopt;
        }
        if (isInteger(tokens[i]) && i + 1 < tokens.size() && isDigits(tokens[i + 1], digits)) {
            fields.append(tokens[i] + u',' + tokens[i + 1]);
            i += 2;
        } else {
            fields.append(tokens[i]);
            ++i;
        }
    }
    if (i != tokens.size()) {
        return std::nullopt;
    }
    return fields;
}

std::optional<std::int64_t> runNumberOf(const QString& name) {
    if (!name.startsWith(QLatin1StringView("Run_")) || !name.toLower().endsWith(QLatin1StringView(".csv"))) {
        return std::nullopt;
    }
    const QString digits = name.left(name.lastIndexOf(u'.')).mid(4);
    if (!isDigits(digits, static_cast<int>(digits.size())) || digits.isEmpty()) {
        return std::nullopt;
    }
    bool ok = false;
    const qint64 number = digits.toLongLong(&ok);
    return ok ? std::optional<std::int64_t>(number) : std::nullopt;
}

} // namespace

std::optional<QDateTime> RunFileReader::parseStartLine(const QString& line) {
    static const QRegularExpression pattern(
        QStringLiteral("^([0-9]{2})/([0-9]{2})/([0-9]{2}) ([0-9]{2}):([0-9]{2}):([0-9]{2})$"));
    const QRegularExpressionMatch m = pattern.match(line);
    if (!m.hasMatch()) {
        return std::nullopt;
    }
    const QDate date(2000 + m.captured(3).toInt(), m.captured(2).toInt(), m.captured(1).toInt());
    const QTime time(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt());
    const QDateTime start(date, time);
    if (!date.isValid() || !time.isValid() || !start.isValid()) {
        return std::nullopt;
    }
    return start;
}

std::optional<QStringList> RunFileReader::splitRow(const QString& row, const QString& delimiter) {
    if (delimiter.size() != 1) {
        return std::nullopt;
    }
    const QChar sep = delimiter[0];
    if (row.contains(u'"')) {
        auto fields = splitQuoted(row, sep);
        return fields && fields->size() == kColumns ? fields : std::nullopt;
    }
    const QStringList tokens = row.split(sep);
    if (tokens.size() == kColumns) {
        return tokens;
    }
    if (sep == u',' && tokens.size() > kColumns) {
        return rebuildDecimalCommas(tokens);
    }
    return std::nullopt;
}

std::optional<RunFile> RunFileReader::parse(const QByteArray& bytes, QString& reason) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError() || text.contains(QChar(0))) {
        reason = QStringLiteral("not a run file (not text)");
        return std::nullopt;
    }
    if (text.isEmpty()) {
        reason = QStringLiteral("empty");
        return std::nullopt;
    }
    QStringList lines = text.split(u'\n');
    const bool complete = lines.last().isEmpty();
    lines.removeLast(); // after the last line feed, or an unfinished line
    for (QString& line : lines) {
        if (line.endsWith(u'\r')) {
            line.chop(1);
        }
    }

    RunFile run;
    run.start = lines.isEmpty() ? std::nullopt : parseStartLine(lines[0]);
    if (!run.start) {
        reason = QStringLiteral("not a run file (no start time on line 1)");
        return std::nullopt;
    }
    if (lines.size() < 3) {
        reason = lines.size() < 2 ? QStringLiteral("truncated (the run has no description or laps yet)")
                                  : QStringLiteral("truncated (no header row)");
        return std::nullopt;
    }
    if (!lines[1].startsWith(kDescriptionPrefix)) {
        reason = QStringLiteral("not a run file (no description on line 2)");
        return std::nullopt;
    }
    run.configuration = lines[1].mid(kDescriptionPrefix.size()).trimmed();
    if (lines[2] == kHeader.join(u',')) {
        run.delimiter = QStringLiteral(",");
    } else if (lines[2] == kHeader.join(u';')) {
        run.delimiter = QStringLiteral(";");
    } else {
        reason = QStringLiteral("not a run file (unknown header row)");
        return std::nullopt;
    }
    for (qsizetype i = 3; i < lines.size(); ++i) {
        const auto fields = splitRow(lines[i], run.delimiter);
        const QString where = QStringLiteral("line %1").arg(i + 1);
        if (!fields) {
            reason = QStringLiteral("malformed (%1 does not have the eleven columns)").arg(where);
            return std::nullopt;
        }
        RunFileLap lap;
        bool ok = false;
        lap.lap = (*fields)[1].toLongLong(&ok);
        const QString& flag = (*fields)[0];
        bool numbers = true;
        std::optional<double> values[kColumns];
        for (int c = 2; c < kColumns; ++c) {
            const auto value = parseNumber((*fields)[c]);
            numbers = numbers && value.has_value();
            if (value) {
                values[c] = *value;
            }
        }
        if (!ok || (!flag.isEmpty() && flag != QLatin1StringView("X")) || !numbers) {
            reason = QStringLiteral("malformed (%1 has a field that is not a lap's)").arg(where);
            return std::nullopt;
        }
        lap.use = flag == QLatin1StringView("X");
        lap.cdACal = values[kCdACalColumn].value_or(std::nan(""));
        lap.lapTime = values[kTimeColumn].value_or(0.0);
        run.laps.push_back(lap);
    }
    if (!complete) {
        reason = QStringLiteral("truncated (the last line is unfinished)");
        return std::nullopt;
    }
    return run;
}

RunFolderContents RunFileReader::readFolder(const QString& folder, const QString& ignoredName) {
    RunFolderContents contents;
    const QDir dir(folder);
    std::vector<std::pair<std::int64_t, QString>> names;
    for (const QString& name :
         dir.entryList(QDir::Files | QDir::Dirs | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot)) {
        if (const auto number = runNumberOf(name); number && name != ignoredName) {
            names.emplace_back(*number, name);
        }
    }
    std::sort(names.begin(), names.end());
    for (const auto& [number, name] : names) {
        const QString path = dir.filePath(name);
        QFile file(path);
        QString reason;
        if (!QFileInfo(path).isFile()) {
            reason = QStringLiteral("not a regular file");
        } else if (QFileInfo(path).size() > kMaxFileBytes) {
            reason = QStringLiteral("too large for a run file");
        } else if (!file.open(QIODevice::ReadOnly)) {
            reason = QStringLiteral("cannot be read (%1)").arg(file.errorString());
        } else {
            // Asking for the cap itself would allocate all of it for every file.
            const QByteArray bytes = file.read(std::min(file.size(), kMaxFileBytes));
            if (auto run = parse(bytes, reason)) {
                run->fileName = name;
                contents.runs.push_back(std::move(*run));
                continue;
            }
        }
        contents.skipped.push_back(SkippedRunFile{name, reason});
    }
    return contents;
}

} // namespace draftwell
