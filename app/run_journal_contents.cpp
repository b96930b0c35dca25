#include "app/run_journal_contents.h"

#include <QStringList>

#include "app/csv_delimiter_option.h"
#include "app/run_journal_record.h"

namespace draftwell {

namespace {

constexpr qsizetype kLapFieldCount = 11;

// A count or index in canonical decimal, at most `limit`.
std::optional<std::size_t> parseCount(const QString& text, std::size_t limit) {
    bool ok = false;
    const qulonglong n = text.toULongLong(&ok);
    if (!ok || QString::number(n) != text || n > limit) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(n);
}

// Applies one record after the header and start; false when it makes no sense.
bool apply(const QStringList& f, RunSnapshot& run) {
    const QString& kind = f.front();
    if (kind == QLatin1StringView("lap") && f.size() == 2 + kLapFieldCount) {
        const auto index = parseCount(f.at(1), run.rows.size());
        if (!index) {
            return false;
        }
        const QStringList fields = f.mid(2);
        if (*index == run.rows.size()) {
            run.rows.push_back(fields);
        } else {
            run.rows[*index] = fields;
        }
        return true;
    }
    if (kind == QLatin1StringView("laps") && f.size() == 2) {
        const auto count = parseCount(f.at(1), run.rows.size());
        if (!count) {
            return false;
        }
        run.rows.resize(*count);
        return true;
    }
    if (kind == QLatin1StringView("description") && f.size() == 2) {
        run.descriptionText = f.at(1);
        return true;
    }
    if (kind == QLatin1StringView("delimiter") && f.size() == 2 && csvDelimiterOptionFromRawValue(f.at(1))) {
        run.delimiter = f.at(1);
        return true;
    }
    return false;
}

} // namespace

RunJournalContents RunJournalContents::parse(const QByteArray& bytes) {
    RunJournalContents result;
    const QByteArray header = RunJournalRecord{{QStringLiteral("journal"), QStringLiteral("1")}}.encode();
    if (header.startsWith(bytes)) {
        return result; // empty, or the first record torn
    }

    QList<QByteArrayView> lines;
    qsizetype start = 0;
    for (qsizetype end = bytes.indexOf('\n'); end >= 0; end = bytes.indexOf('\n', start)) {
        lines.append(QByteArrayView(bytes).sliced(start, end - start));
        start = end + 1;
    }
    const bool tornTail = start < bytes.size();

    const auto first = lines.isEmpty() ? std::nullopt : RunJournalRecord::decode(lines.front());
    if (!first || first->fields != QStringList{QStringLiteral("journal"), QStringLiteral("1")}) {
        result.status = Status::unreadable;
        return result;
    }

    bool started = false;
    qsizetype i = 1;
    for (; i < lines.size(); ++i) {
        const auto rec = RunJournalRecord::decode(lines.at(i));
        if (!rec || rec->fields.isEmpty()) {
            break;
        }
        if (!started) {
            if (rec->fields.size() != 2 || rec->fields.front() != QLatin1StringView("start")) {
                break;
            }
            result.snapshot.startLine = rec->fields.at(1);
            started = true;
            continue;
        }
        if (!apply(rec->fields, result.snapshot)) {
            break;
        }
    }
    result.ignoredLines = static_cast<int>(lines.size() - i) + (tornTail ? 1 : 0);
    if (!started) {
        result.status = Status::noRun;
        result.snapshot = RunSnapshot{};
    } else {
        result.status = result.ignoredLines > 0 ? Status::damagedEnd : Status::complete;
    }
    return result;
}

} // namespace draftwell
