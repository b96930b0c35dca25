#include "app/format_number.h"

#include <QLocale>

#include <gtest/gtest.h>

#include <limits>

#include "tests/support/qstring_printer.h"

namespace draftwell {
namespace {

class FormatNumberTest : public ::testing::Test {
  protected:
    void TearDown() override { QLocale::setDefault(QLocale::c()); }
};

TEST_F(FormatNumberTest, LocaleSeparatorFixedDigitsNoGrouping) {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(formatNumber(0.3088, 6), "0.308800");
    EXPECT_EQ(formatNumber(1234567.891, 2), "1234567.89");
    EXPECT_EQ(formatNumber(-14.58, 3), "-14.580");
    EXPECT_EQ(formatNumber(250, 0), "250");
    EXPECT_EQ(formatNumber(2.7, -1), "3");
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(formatNumber(0.312345, 6), "0,312345");
    EXPECT_EQ(formatNumber(1234567.5, 1), "1234567,5");
}

TEST_F(FormatNumberTest, RoundsTiesToEvenOnTheExactBinaryValue) {
    // Exact binary ties go to the even digit.
    EXPECT_EQ(formatNumber(0.3125, 3), "0.312");
    EXPECT_EQ(formatNumber(0.375, 2), "0.38");
    EXPECT_EQ(formatNumber(2.5, 0), "2");
    EXPECT_EQ(formatNumber(3.5, 0), "4");
    // 0.3135 is stored as 0.313500000000000000888..., just above the tie;
    // 1.005 as 1.00499999999999989..., just below it.
    EXPECT_EQ(formatNumber(0.3135, 3), "0.314");
    EXPECT_EQ(formatNumber(1.005, 2), "1.00");
}

TEST_F(FormatNumberTest, NonFiniteValuesArePlainText) {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(formatNumber(std::numeric_limits<double>::infinity(), 6), "inf");
    EXPECT_EQ(formatNumber(-std::numeric_limits<double>::infinity(), 6), "-inf");
    EXPECT_EQ(formatNumber(std::numeric_limits<double>::quiet_NaN(), 2), "nan");
}

} // namespace
} // namespace draftwell
