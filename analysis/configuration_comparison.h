#pragma once

#include <cstddef>
#include <optional>

#include "analysis/sample_statistics.h"

namespace draftwell::analysis {

enum class Verdict { lower, higher, notResolved };

// "lower", "higher", "not resolved".
const char* verdictText(Verdict verdict);

// A test configuration against its baseline: test − baseline.
struct Difference {
    double delta = 0.0;   // m²
    double percent = 0.0; // of the baseline mean
    double standardError = 0.0;
    double degreesOfFreedom = 0.0;
    Interval confidence;
    Verdict verdict = Verdict::notResolved;
};

// The verdict of an interval of test − baseline: below 0 is lower drag.
Verdict verdictFor(const Interval& interval);

// Welch's difference of two means with Welch–Satterthwaite degrees of
// freedom. Empty when either side has fewer than two values or no spread at
// all (nothing to say how sure the difference is).
std::optional<Difference> welchDifference(const SampleStatistics& test, const SampleStatistics& baseline,
                                          double level = 0.95);

// Where the test sits in time between the baselines before and after it
// (0 at the first, 1 at the second), by mid-times in seconds.
double interpolationWeight(double beforeMid, double testMid, double afterMid);

// The test against the baseline interpolated between a run before and one
// after it: baseline (1 − w)·A1 + w·A2, whose uncertainty adds to the test's
// as SE² = sB²/nB + (1 − w)²·sA1²/nA1 + w²·sA2²/nA2.
std::optional<Difference> driftAdjustedDifference(const SampleStatistics& test,
                                                  const SampleStatistics& before,
                                                  const SampleStatistics& after, double weight,
                                                  double level = 0.95);

// Power for a drag-area change at a speed and air density: ½·ρ·ΔCdA·v³.
double wattsForCdA(double deltaCdA, double airDensity, double speedKmh);
double cdAForWatts(double watts, double airDensity, double speedKmh);

// Pooled SD of two samples; empty when they have fewer than three values in
// all or either has none.
std::optional<double> pooledSD(const SampleStatistics& a, const SampleStatistics& b);

// Smallest laps per configuration that resolve `target` m² with 80 % power
// at the 5 % level: n ≥ 2·((t0.975,2n−2 + t0.8,2n−2)·s/Δ)². Empty when s or
// the target is not a positive finite number, or the count is absurd.
std::optional<std::size_t> lapsPerConfiguration(double pooledSd, double target);

// Laps still to ride on each side for that count.
struct LapsStillNeeded {
    std::size_t perConfiguration = 0;
    std::size_t moreOfTest = 0;
    std::size_t moreOfBaseline = 0;
};

std::optional<LapsStillNeeded> lapsStillNeeded(double pooledSd, double target, std::size_t testLaps,
                                               std::size_t baselineLaps);

} // namespace draftwell::analysis
