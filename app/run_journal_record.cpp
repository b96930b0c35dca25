#include "app/run_journal_record.h"

#include <zlib.h>

namespace draftwell {

namespace {

// zlib's CRC-32 (the ISO-HDLC one: check value cbf43926).
QByteArray crcText(QByteArrayView bytes) {
    const auto crc = ::crc32(::crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(bytes.data()),
                             static_cast<uInt>(bytes.size()));
    return QByteArray::number(static_cast<quint32>(crc), 16).rightJustified(8, '0');
}

void appendEscaped(QByteArray& out, const QString& field) {
    for (const char c : field.toUtf8()) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
}

std::optional<QString> unescaped(QByteArrayView field) {
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c == '\n' || c == '\r') {
            return std::nullopt;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i == field.size()) {
            return std::nullopt;
        }
        switch (field[i]) {
        case '\\':
            out += '\\';
            break;
        case 't':
            out += '\t';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        default:
            return std::nullopt;
        }
    }
    return QString::fromUtf8(out);
}

} // namespace

QByteArray RunJournalRecord::encode() const {
    QByteArray body;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0) {
            body += '\t';
        }
        appendEscaped(body, fields.at(i));
    }
    const QByteArray crc = crcText(body);
    return body + '\t' + crc + '\n';
}

std::optional<RunJournalRecord> RunJournalRecord::decode(QByteArrayView line) {
    const qsizetype tab = line.lastIndexOf('\t');
    if (tab < 0 || line.size() - tab - 1 != 8) {
        return std::nullopt;
    }
    const QByteArrayView body = line.first(tab);
    if (line.sliced(tab + 1) != QByteArrayView(crcText(body))) {
        return std::nullopt;
    }
    RunJournalRecord record;
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = body.indexOf('\t', start);
        const auto field = unescaped(body.sliced(start, (end < 0 ? body.size() : end) - start));
        if (!field) {
            return std::nullopt;
        }
        record.fields.append(*field);
        if (end < 0) {
            break;
        }
        start = end + 1;
    }
    return record;
}

} // namespace draftwell
