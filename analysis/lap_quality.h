#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "analysis/sample_statistics.h"

namespace draftwell::analysis {

// Median and median absolute deviation.
struct RobustCentre {
    double median = 0.0;
    double mad = 0.0;
};

RobustCentre robustCentre(std::span<const double> values);

// 0.6745 · (x − median) / MAD; empty when the MAD is 0.
std::optional<double> modifiedZScore(double value, const RobustCentre& centre);

// 100 · (value − reference) / reference; empty for a reference of 0.
std::optional<double> percentDifference(double value, double reference);

// Least-squares line through (i, values[i]), i = 0 … n − 1.
struct LinearTrend {
    std::size_t n = 0;
    double slope = 0.0;
    double intercept = 0.0;
    // Student-t interval of the slope with n − 2 degrees of freedom; needs
    // three or more points.
    std::optional<Interval> slopeConfidence;
    // slope · (n − 1) as a percentage of the mean value: how much the
    // fitted line changes from the first point to the last.
    std::optional<double> changePercent;
};

std::optional<LinearTrend> leastSquaresTrend(std::span<const double> values, double level = 0.95);

struct QualityLimits {
    double outlierZ = 3.5;
    double pacePercent = 3.0;
    double calDriftPercent = 5.0;
    double trendPercent = 1.0;
};

// One lap's figures as the checks read them.
struct LapFigures {
    double cdACal = 0.0;
    double cal = 0.0;
    double speed = 0.0;  // km/h; 0 when unknown
    bool counted = true; // ticked: part of the reference the checks compare with
};

// Why a lap looks doubtful; each figure is present only when its check fired.
struct LapFlags {
    std::optional<double> outlierZ;
    std::optional<double> pacePercent;

    bool any() const { return outlierZ || pacePercent; }
};

struct CalibrationDrift {
    double calibrationMean = 0.0;
    double recentMean = 0.0;
    double percent = 0.0;
    bool exceeded = false;
};

struct CdATrend {
    LinearTrend fit;
    bool drifting = false;
};

struct RunQuality {
    std::vector<LapFlags> laps; // one per input lap, same order
    std::optional<CalibrationDrift> calibrationDrift;
    std::optional<CdATrend> trend;
};

inline constexpr std::size_t kOutlierMinimumLaps = 5;
inline constexpr std::size_t kPaceMinimumLaps = 3;
inline constexpr std::size_t kRecentCalibrationLaps = 3;

// Checks a run, laps oldest first. The counted laps form the reference
// (median CdACal and MAD, median speed, the calibration laps being the
// oldest `calibrationLapCount` of them, the trend); every lap, counted or
// not, is scored against it.
RunQuality assessRun(std::span<const LapFigures> oldestFirst, std::size_t calibrationLapCount,
                     const QualityLimits& limits);

} // namespace draftwell::analysis
