#include "analysis/configuration_comparison.h"

#include <algorithm>
#include <cmath>

namespace draftwell::analysis {

namespace {

// One mean's share of a difference: its coefficient, variance and n.
struct Term {
    double coefficient;
    const SampleStatistics& sample;

    double variance() const { return coefficient * coefficient * *sample.sd * *sample.sd / sampleSize(); }
    double sampleSize() const { return static_cast<double>(sample.n); }
};

bool hasSpread(const SampleStatistics& s) {
    return s.n >= 2 && s.sd.has_value() && std::isfinite(*s.sd);
}

// Welch–Satterthwaite over any number of independent means.
template <std::size_t N>
std::optional<Difference> combine(double delta, double baselineMean, const Term (&terms)[N], double level) {
    double variance = 0.0;
    double denominator = 0.0;
    for (const Term& term : terms) {
        const double v = term.variance();
        variance += v;
        denominator += v * v / (term.sampleSize() - 1.0);
    }
    if (!(variance > 0.0) || !(denominator > 0.0) || !std::isfinite(variance)) {
        return std::nullopt;
    }
    Difference d;
    d.delta = delta;
    d.percent = baselineMean != 0.0 ? 100.0 * delta / baselineMean : 0.0;
    d.standardError = std::sqrt(variance);
    d.degreesOfFreedom = variance * variance / denominator;
    const double half = tHalfWidth(d.standardError, d.degreesOfFreedom, level);
    d.confidence = Interval{delta - half, delta + half};
    d.verdict = verdictFor(d.confidence);
    return d;
}

} // namespace

const char* verdictText(Verdict verdict) {
    switch (verdict) {
    case Verdict::lower:
        return "lower";
    case Verdict::higher:
        return "higher";
    case Verdict::notResolved:
        break;
    }
    return "not resolved";
}

Verdict verdictFor(const Interval& interval) {
    if (interval.high < 0.0) {
        return Verdict::lower;
    }
    if (interval.low > 0.0) {
        return Verdict::higher;
    }
    return Verdict::notResolved;
}

std::optional<Difference> welchDifference(const SampleStatistics& test, const SampleStatistics& baseline,
                                          double level) {
    if (!hasSpread(test) || !hasSpread(baseline)) {
        return std::nullopt;
    }
    const Term terms[] = {{1.0, test}, {1.0, baseline}};
    return combine(test.mean - baseline.mean, baseline.mean, terms, level);
}

double interpolationWeight(double beforeMid, double testMid, double afterMid) {
    const double span = afterMid - beforeMid;
    if (!(span > 0.0)) {
        return 0.5;
    }
    const double w = (testMid - beforeMid) / span;
    return w < 0.0 ? 0.0 : (w > 1.0 ? 1.0 : w);
}

std::optional<Difference> driftAdjustedDifference(const SampleStatistics& test,
                                                  const SampleStatistics& before,
                                                  const SampleStatistics& after, double weight,
                                                  double level) {
    if (!hasSpread(test) || !hasSpread(before) || !hasSpread(after)) {
        return std::nullopt;
    }
    const double baseline = (1.0 - weight) * before.mean + weight * after.mean;
    const Term terms[] = {{1.0, test}, {1.0 - weight, before}, {weight, after}};
    // A weight of exactly 0 or 1 leaves a term with no share; it adds nothing.
    if (weight <= 0.0 || weight >= 1.0) {
        const Term pair[] = {{1.0, test}, {1.0, weight <= 0.0 ? before : after}};
        return combine(test.mean - baseline, baseline, pair, level);
    }
    return combine(test.mean - baseline, baseline, terms, level);
}

double wattsForCdA(double deltaCdA, double airDensity, double speedKmh) {
    const double v = speedKmh / 3.6;
    return 0.5 * airDensity * deltaCdA * v * v * v;
}

double cdAForWatts(double watts, double airDensity, double speedKmh) {
    const double v = speedKmh / 3.6;
    const double perCdA = 0.5 * airDensity * v * v * v;
    return perCdA > 0.0 ? watts / perCdA : 0.0;
}

std::optional<double> pooledSD(const SampleStatistics& a, const SampleStatistics& b) {
    if (a.n == 0 || b.n == 0 || a.n + b.n < 3) {
        return std::nullopt;
    }
    const double sa = a.sd.value_or(0.0);
    const double sb = b.sd.value_or(0.0);
    const double na = static_cast<double>(a.n);
    const double nb = static_cast<double>(b.n);
    return std::sqrt(((na - 1.0) * sa * sa + (nb - 1.0) * sb * sb) / (na + nb - 2.0));
}

std::optional<std::size_t> lapsPerConfiguration(double pooledSd, double target) {
    const double ratio = pooledSd / std::fabs(target);
    if (!(pooledSd > 0.0) || !std::isfinite(ratio) || !(ratio > 0.0)) {
        return std::nullopt;
    }
    // Beyond this nobody rides it in a day; the figure would only mislead.
    constexpr double kMaxLaps = 100000;
    // t quantiles exceed the normal ones, so the count is at least the
    // normal-theory one: start there and walk up a few steps.
    const double z = 1.959963984540054 + 0.8416212335729143;
    const double normal = 2.0 * (z * ratio) * (z * ratio);
    if (normal > kMaxLaps) {
        return std::nullopt;
    }
    for (auto n = std::max<std::size_t>(2, static_cast<std::size_t>(normal));
         static_cast<double>(n) <= kMaxLaps; ++n) {
        const double df = 2.0 * static_cast<double>(n) - 2.0;
        const double t = studentTQuantile(0.975, df) + studentTQuantile(0.8, df);
        if (static_cast<double>(n) >= 2.0 * (t * ratio) * (t * ratio)) {
            return n;
        }
    }
    return std::nullopt;
}

std::optional<LapsStillNeeded> lapsStillNeeded(double pooledSd, double target, std::size_t testLaps,
                                               std::size_t baselineLaps) {
    const auto n = lapsPerConfiguration(pooledSd, target);
    if (!n) {
        return std::nullopt;
    }
    LapsStillNeeded result;
    result.perConfiguration = *n;
    result.moreOfTest = *n > testLaps ? *n - testLaps : 0;
    result.moreOfBaseline = *n > baselineLaps ? *n - baselineLaps : 0;
    return result;
}

} // namespace draftwell::analysis
