#include "tests/fuzz/variant_maker.h"

#include <QByteArray>
#include <QChar>
#include <QDateTime>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariantList>
#include <QVariantMap>

#include <array>
#include <cstdint>
#include <cstring>

namespace draftwell::fuzz {

namespace {

template <typename T> T takeValue(ByteReader& input) {
    std::array<std::uint8_t, sizeof(T)> bytes{};
    for (auto& byte : bytes) {
        byte = input.next();
    }
    T value;
    std::memcpy(&value, bytes.data(), sizeof value);
    return value;
}

QString takeUtf8(ByteReader& input) {
    const auto bytes = input.take(input.next() % 40);
    return QString::fromUtf8(reinterpret_cast<const char*>(bytes.data()),
                             static_cast<qsizetype>(bytes.size()));
}

// Any UTF-16 units, lone surrogates included.
QString takeUtf16(ByteReader& input) {
    QString text;
    const int count = input.next() % 20;
    for (int i = 0; i < count; ++i) {
        text.append(QChar(takeValue<char16_t>(input)));
    }
    return text;
}

// Text that a hand-edited settings file might hold.
QString takeWord(ByteReader& input) {
    static const std::array<const char*, 24> words = {"true",
                                                      "false",
                                                      "TRUE",
                                                      "1",
                                                      "0",
                                                      "-3",
                                                      "5",
                                                      "  7 ",
                                                      "+12",
                                                      "99",
                                                      "1e3",
                                                      "0x10",
                                                      "9223372036854775807",
                                                      "9223372036854775808",
                                                      "-9223372036854775808",
                                                      ",",
                                                      ";",
                                                      "\t",
                                                      " , ",
                                                      ";;",
                                                      "",
                                                      " ",
                                                      "/tmp/run s",
                                                      "~/Documents"};
    return QString::fromUtf8(words[input.next() % words.size()]) + takeUtf8(input).left(input.next() % 3);
}

} // namespace

std::optional<QVariant> makeVariant(ByteReader& input, int depth) {
    const int kind = input.next() % 22;
    switch (kind) {
    case 0:
        return std::nullopt;
    case 1:
        return QVariant();
    case 2:
        return QVariant((input.next() & 1) != 0);
    case 3:
        return QVariant(takeValue<qint32>(input));
    case 4:
        return QVariant(takeValue<quint32>(input));
    case 5:
        return QVariant(takeValue<qint64>(input));
    case 6:
        return QVariant(takeValue<quint64>(input));
    case 7:
        return QVariant(takeValue<double>(input));
    case 8:
        return QVariant(takeValue<float>(input));
    case 9:
        return QVariant(takeUtf8(input));
    case 10:
        return QVariant(takeUtf16(input));
    case 11: {
        const auto bytes = input.take(input.next() % 40);
        return QVariant(
            QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())));
    }
    case 12: {
        QStringList list;
        const int count = input.next() % 4;
        for (int i = 0; i < count; ++i) {
            list.append(takeWord(input));
        }
        return QVariant(list);
    }
    case 13:
    case 14: {
        if (depth >= 2) {
            return QVariant(takeWord(input));
        }
        QVariantList list;
        QVariantMap map;
        const int count = input.next() % 4;
        for (int i = 0; i < count; ++i) {
            const QVariant element = makeVariant(input, depth + 1).value_or(QVariant());
            list.append(element);
            map.insert(takeWord(input), element);
        }
        return kind == 13 ? QVariant(list) : QVariant(map);
    }
    case 15:
        return QVariant(QChar(takeValue<char16_t>(input)));
    case 16:
        return QVariant(QDateTime::fromMSecsSinceEpoch(takeValue<qint64>(input) % 400'000'000'000'000LL));
    case 17:
        return QVariant::fromValue(takeValue<qint16>(input));
    case 18:
        return QVariant::fromValue(takeValue<signed char>(input));
    case 19: {
        const bool size = input.next() % 2 == 0;
        const int first = takeValue<int>(input);
        const int second = takeValue<int>(input);
        return size ? QVariant(QSize(first, second)) : QVariant(QPoint(first, second));
    }
    case 20:
        return QVariant(QUrl(takeUtf8(input)));
    default:
        return QVariant(takeWord(input));
    }
}

} // namespace draftwell::fuzz
