#include "ui/lap_columns.h"

#include "app/format_number.h"

namespace draftwell {

QString LapColumns::header(LapColumn column) {
    switch (column) {
    case LapColumn::lap:
        return QStringLiteral("Lap");
    case LapColumn::cdACal:
        return QStringLiteral("CdACal");
    case LapColumn::cal:
        return QStringLiteral("Cal");
    case LapColumn::cdARaw:
        return QStringLiteral("CdARaw");
    case LapColumn::time:
        return QStringLiteral("Time");
    case LapColumn::dist:
        return QStringLiteral("Dist");
    case LapColumn::speed:
        return QStringLiteral("Speed");
    case LapColumn::power:
        return QStringLiteral("Power");
    case LapColumn::head:
        return QStringLiteral("Head");
    case LapColumn::chest:
        return QStringLiteral("Chest");
    }
    return {};
}

int LapColumns::fractionDigits(LapColumn column) {
    switch (column) {
    case LapColumn::lap:
        return 0;
    case LapColumn::cdACal:
    case LapColumn::cal:
    case LapColumn::cdARaw:
    case LapColumn::time:
        return 3;
    case LapColumn::dist:
    case LapColumn::speed:
    case LapColumn::power:
    case LapColumn::head:
    case LapColumn::chest:
        return 1;
    }
    return 0;
}

QString LapColumns::text(const LapData& lap, LapColumn column) {
    const int digits = fractionDigits(column);
    switch (column) {
    case LapColumn::lap:
        return QString::number(lap.lap);
    case LapColumn::cdACal:
        return formatNumber(lap.cdACal, digits);
    case LapColumn::cal:
        return formatNumber(lap.cal, digits);
    case LapColumn::cdARaw:
        return formatNumber(lap.cdA, digits);
    case LapColumn::time:
        return formatNumber(lap.lapTime, digits);
    case LapColumn::dist:
        return formatNumber(lap.dist, digits);
    case LapColumn::speed:
        return formatNumber(lap.speed, digits);
    case LapColumn::power:
        return formatNumber(lap.riderPwr, digits);
    case LapColumn::head:
        return formatNumber(lap.head, digits);
    case LapColumn::chest:
        return formatNumber(lap.chest, digits);
    }
    return {};
}

} // namespace draftwell
