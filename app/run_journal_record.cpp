#include "app/run_journal_record.h"

#include <array>
#include <cstdint>

namespace draftwell {

namespace {

constexpr std::array<std::uint32_t, 256> makeCrcTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k) {
            c = (c & 1U) ? 0xEDB88320U ^ (c >> 1) : c >> 1;
        }
        table[i] = c;
    }
    return table;
}

constexpr auto kCrcTable = makeCrcTable();

std::uint32_t crc32(QByteArrayView bytes) {
    std::uint32_t c = 0xFFFFFFFFU;
    for (const char ch : bytes) {
        c = kCrcTable[(c ^ static_cast<std::uint8_t>(ch)) & 0xFFU] ^ (c >> 8);
    }
    return c ^ 0xFFFFFFFFU;
}

QByteArray crcText(QByteArrayView bytes) {
    return QByteArray::number(crc32(bytes), 16).rightJustified(8, '0');
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
