#pragma once

#include <QString>

#include <optional>

namespace draftwell {

// Number text in the current locale (QLocale()): the locale's decimal
// separator, minus sign and digits, no grouping, exactly fractionDigits digits
// after the separator (a negative count counts as 0), rounded half to even on
// the exact binary value. Infinities and NaN come out as "inf", "-inf", "nan".
QString formatNumber(double value, int fractionDigits);
// A figure that does not exist (a lap's speed without a lap time) reads "–".
QString formatNumber(const std::optional<double>& value, int fractionDigits);

} // namespace draftwell
