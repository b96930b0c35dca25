#pragma once

#include <QString>

#include <array>

#include "laps/lap_data.h"

namespace draftwell {

// The figures of a lap as the tables and the summary show them.
enum class LapColumn { lap, cdACal, cal, cdARaw, time, dist, speed, power, head, chest };

struct LapColumns {
    static constexpr std::array<LapColumn, 10> all{
        LapColumn::lap,  LapColumn::cdACal, LapColumn::cal,   LapColumn::cdARaw, LapColumn::time,
        LapColumn::dist, LapColumn::speed,  LapColumn::power, LapColumn::head,   LapColumn::chest};

    static QString header(LapColumn column);
    // Fraction digits shown; 0 for the whole lap number.
    static int fractionDigits(LapColumn column);
    static QString text(const LapData& lap, LapColumn column);
};

} // namespace draftwell
