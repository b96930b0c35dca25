#pragma once

#include <cstddef>
#include <vector>

namespace draftwell::bench {

// Order statistics of a set of latencies in milliseconds (all 0 when empty).
struct LatencySummary {
    std::size_t count = 0;
    double median = 0;
    double p90 = 0;
    double p99 = 0;
    double max = 0;
    double mean = 0;

    // Nearest-rank percentiles: the p99 is a latency that was really seen.
    static LatencySummary of(std::vector<double> samples);
};

} // namespace draftwell::bench
