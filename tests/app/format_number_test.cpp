#include "app/format_number.h"

#include <QLocale>

#include <gtest/gtest.h>

#include <limits>

#include "tests/support/qstring_printer.h"

namespace draftwell {
namespace {

TEST(FormatNumberTest, LocaleSeparatorFixedDigitsNoGroupingTiesToEven) {
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    const QLocale de(QLocale::German, QLocale::Germany);
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        QLocale locale;
        double value;
        int digits;
        const char* text;
    } cases[] = {
        {us, 0.3088, 6, "0.308800"},
        {us, 1234567.891, 2, "1234567.89"},
        {us, -14.58, 3, "-14.580"},
        {us, 250, 0, "250"},
        {us, 2.7, -1, "3"},
        {de, 0.312345, 6, "0,312345"},
        {de, 1234567.5, 1, "1234567,5"},
        // Exact binary ties go to the even digit; 0.3135 is stored just above
        // its tie (0.31350000000000000088...), 1.005 just below (1.00499999999999989...).
        {us, 0.3125, 3, "0.312"},
        {us, 0.375, 2, "0.38"},
        {us, 2.5, 0, "2"},
        {us, 3.5, 0, "4"},
        {us, 0.3135, 3, "0.314"},
        {us, 1.005, 2, "1.00"},
        // Not finite: plain text in every locale.
        {de, inf, 6, "inf"},
        {de, -inf, 6, "-inf"},
        {de, std::numeric_limits<double>::quiet_NaN(), 2, "nan"},
    };
    for (const auto& c : cases) {
        QLocale::setDefault(c.locale);
        EXPECT_EQ(formatNumber(c.value, c.digits), QString::fromLatin1(c.text)) << c.text;
    }
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(formatNumber(std::optional<double>(), 2), QStringLiteral("\u2013"));
}

} // namespace
} // namespace draftwell
