#include "app/format_number.h"

#include <QLocale>

#include <charconv>
#include <cmath>

namespace draftwell {

QString formatNumber(double value, int fractionDigits) {
    if (std::isnan(value)) {
        return QStringLiteral("nan");
    }
    if (std::isinf(value)) {
        return value < 0 ? QStringLiteral("-inf") : QStringLiteral("inf");
    }
    // std::to_chars is exact and rounds ties to even, unlike QLocale::toString,
    // which rounds them away from zero. The locale only supplies the symbols.
    char buf[512];
    const int digits = fractionDigits < 0 ? 0 : (fractionDigits > 100 ? 100 : fractionDigits);
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, digits);
    if (res.ec != std::errc()) {
        return QString::number(value);
    }

    const QLocale locale;
    const QString decimalPoint = locale.decimalPoint();
    const QString minus = locale.negativeSign();
    const QList<uint> zero = locale.zeroDigit().toUcs4();
    const char32_t zeroDigit = zero.isEmpty() ? U'0' : zero.front();

    QString out;
    out.reserve(static_cast<qsizetype>(res.ptr - buf) + 2);
    for (const char* p = buf; p != res.ptr; ++p) {
        const char c = *p;
        if (c == '-') {
            out += minus;
        } else if (c == '.') {
            out += decimalPoint;
        } else if (c >= '0' && c <= '9' && zeroDigit != U'0') {
            const char32_t digit = zeroDigit + static_cast<char32_t>(c - '0');
            out += QString::fromUcs4(&digit, 1);
        } else {
            out += QLatin1Char(c);
        }
    }
    return out;
}

QString formatNumber(const std::optional<double>& value, int fractionDigits) {
    return value ? formatNumber(*value, fractionDigits) : QStringLiteral("\u2013");
}

} // namespace draftwell
