#include "analysis/lap_quality.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace draftwell::analysis {

namespace {

double mean(std::span<const double> values) {
    return std::accumulate(values.begin(), values.end(), 0.0) / static_cast<double>(values.size());
}

} // namespace

RobustCentre robustCentre(std::span<const double> values) {
    RobustCentre centre;
    centre.median = median(values);
    std::vector<double> deviations;
    deviations.reserve(values.size());
    for (const double value : values) {
        deviations.push_back(std::abs(value - centre.median));
    }
    centre.mad = median(deviations);
    return centre;
}

std::optional<double> modifiedZScore(double value, const RobustCentre& centre) {
    if (!(centre.mad > 0.0)) {
        return std::nullopt;
    }
    return 0.6745 * (value - centre.median) / centre.mad;
}

std::optional<double> percentDifference(double value, double reference) {
    if (reference == 0.0) {
        return std::nullopt;
    }
    return 100.0 * (value - reference) / reference;
}

std::optional<LinearTrend> leastSquaresTrend(std::span<const double> values, double level) {
    if (values.size() < 2) {
        return std::nullopt;
    }
    LinearTrend trend;
    trend.n = values.size();
    const double n = static_cast<double>(values.size());
    const double xMean = (n - 1.0) / 2.0;
    const double yMean = mean(values);
    double sxx = 0.0;
    double sxy = 0.0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const double dx = static_cast<double>(i) - xMean;
        sxx += dx * dx;
        sxy += dx * (values[i] - yMean);
    }
    trend.slope = sxy / sxx;
    trend.intercept = yMean - trend.slope * xMean;
    if (yMean != 0.0) {
        trend.changePercent = 100.0 * trend.slope * (n - 1.0) / yMean;
    }
    if (values.size() >= 3) {
        double residuals = 0.0;
        for (std::size_t i = 0; i < values.size(); ++i) {
            const double r = values[i] - (trend.intercept + trend.slope * static_cast<double>(i));
            residuals += r * r;
        }
        const double se = std::sqrt(residuals / (n - 2.0) / sxx);
        const double half = tHalfWidth(se, n - 2.0, level);
        trend.slopeConfidence = Interval{trend.slope - half, trend.slope + half};
    }
    return trend;
}

RunQuality assessRun(std::span<const LapFigures> oldestFirst, std::size_t calibrationLapCount,
                     const QualityLimits& limits) {
    RunQuality quality;
    quality.laps.resize(oldestFirst.size());

    std::vector<double> cdACal;
    std::vector<double> cal;
    std::vector<double> speeds;
    for (const LapFigures& lap : oldestFirst) {
        if (!lap.counted) {
            continue;
        }
        cdACal.push_back(lap.cdACal);
        cal.push_back(lap.cal);
        // A lap without a speed says nothing about the pace of the others.
        if (lap.speed > 0.0) {
            speeds.push_back(lap.speed);
        }
    }

    const bool scoreCdA = cdACal.size() >= kOutlierMinimumLaps;
    const RobustCentre cdACentre = scoreCdA ? robustCentre(cdACal) : RobustCentre{};
    // Two laps have no middle to compare with: each would be the other's outlier.
    const bool scorePace = speeds.size() >= kPaceMinimumLaps;
    const double medianSpeed = scorePace ? median(speeds) : 0.0;
    for (std::size_t i = 0; i < oldestFirst.size(); ++i) {
        const LapFigures& lap = oldestFirst[i];
        LapFlags& flags = quality.laps[i];
        if (scoreCdA) {
            const auto z = modifiedZScore(lap.cdACal, cdACentre);
            if (z && std::abs(*z) > limits.outlierZ) {
                flags.outlierZ = z;
            }
        }
        if (scorePace && lap.speed > 0.0) {
            const auto pace = percentDifference(lap.speed, medianSpeed);
            if (pace && std::abs(*pace) > limits.pacePercent) {
                flags.pacePercent = pace;
            }
        }
    }

    // Drift needs laps beyond the calibration laps, and three to average.
    const std::size_t calLaps = std::min(calibrationLapCount, cal.size());
    if (calLaps > 0 && cal.size() > calLaps && cal.size() >= kRecentCalibrationLaps) {
        const double calibrationMean = mean(std::span(cal).first(calLaps));
        if (calibrationMean > 0.0) {
            CalibrationDrift drift;
            drift.calibrationMean = calibrationMean;
            drift.recentMean = mean(std::span(cal).last(kRecentCalibrationLaps));
            drift.percent = *percentDifference(drift.recentMean, calibrationMean);
            drift.exceeded = std::abs(drift.percent) > limits.calDriftPercent;
            quality.calibrationDrift = drift;
        }
    }

    if (cdACal.size() >= 3) {
        if (const auto fit = leastSquaresTrend(cdACal)) {
            CdATrend trend{*fit, false};
            trend.drifting = fit->slopeConfidence && !fit->slopeConfidence->contains(0.0) &&
                             fit->changePercent && std::abs(*fit->changePercent) > limits.trendPercent;
            quality.trend = trend;
        }
    }
    return quality;
}

} // namespace draftwell::analysis
