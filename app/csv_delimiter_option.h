#pragma once

#include <QMetaType>
#include <QString>

#include <array>
#include <optional>

namespace draftwell {

// Field separator of the CSV lap log. The raw value is the separator text.
enum class CSVDelimiterOption { comma, semicolon };

// Declaration order; the first case is the fallback for unknown raw values.
inline constexpr std::array<CSVDelimiterOption, 2> allCSVDelimiterOptions{CSVDelimiterOption::comma,
                                                                          CSVDelimiterOption::semicolon};

inline QString rawValue(CSVDelimiterOption option) {
    switch (option) {
    case CSVDelimiterOption::comma:
        return QStringLiteral(",");
    case CSVDelimiterOption::semicolon:
        return QStringLiteral(";");
    }
    return QStringLiteral(",");
}

// Empty for any text that is not exactly one of the raw values.
inline std::optional<CSVDelimiterOption> csvDelimiterOptionFromRawValue(const QString& raw) {
    for (auto option : allCSVDelimiterOptions) {
        if (raw == rawValue(option)) {
            return option;
        }
    }
    return std::nullopt;
}

} // namespace draftwell

Q_DECLARE_METATYPE(draftwell::CSVDelimiterOption)
