#include "bench/latency_summary.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace draftwell::bench {

namespace {

double nearestRank(const std::vector<double>& sorted, double fraction) {
    const auto rank = static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(sorted.size())));
    return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

} // namespace

LatencySummary LatencySummary::of(std::vector<double> samples) {
    LatencySummary s;
    if (samples.empty()) {
        return s;
    }
    std::sort(samples.begin(), samples.end());
    s.count = samples.size();
    s.median = nearestRank(samples, 0.5);
    s.p90 = nearestRank(samples, 0.9);
    s.p99 = nearestRank(samples, 0.99);
    s.max = samples.back();
    s.mean = std::accumulate(samples.begin(), samples.end(), 0.0) / static_cast<double>(samples.size());
    return s;
}

} // namespace draftwell::bench
