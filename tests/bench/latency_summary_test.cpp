#include <gtest/gtest.h>

#include <vector>

#include "bench/latency_summary.h"

namespace {

using draftwell::bench::LatencySummary;

TEST(LatencySummary, EmptySetIsAllZero) {
    const LatencySummary s = LatencySummary::of({});
    EXPECT_EQ(s.count, 0u);
    EXPECT_EQ(s.median, 0);
    EXPECT_EQ(s.p99, 0);
    EXPECT_EQ(s.max, 0);
}

TEST(LatencySummary, PercentilesAreSeenValuesWhateverTheOrder) {
    std::vector<double> samples;
    for (int i = 200; i >= 1; --i) {
        samples.push_back(i * 0.01); // 0.01 .. 2.00 ms, descending
    }
    const LatencySummary s = LatencySummary::of(samples);
    EXPECT_EQ(s.count, 200u);
    EXPECT_DOUBLE_EQ(s.median, 1.00); // rank 100
    EXPECT_DOUBLE_EQ(s.p99, 1.98);    // rank 198
    EXPECT_DOUBLE_EQ(s.max, 2.00);
    EXPECT_NEAR(s.mean, 1.005, 1e-9);
}

TEST(LatencySummary, OneSlowOutlierInAHundredDoesNotMoveTheP99) {
    std::vector<double> samples(99, 0.2);
    samples.push_back(50.0);
    const LatencySummary s = LatencySummary::of(samples);
    EXPECT_DOUBLE_EQ(s.p99, 0.2);
    EXPECT_DOUBLE_EQ(s.max, 50.0);
    samples.push_back(50.0); // two in 101: now above the 99th rank
    EXPECT_DOUBLE_EQ(LatencySummary::of(samples).p99, 50.0);
}

TEST(LatencySummary, SingleSampleIsEveryStatistic) {
    const LatencySummary s = LatencySummary::of({0.7});
    EXPECT_DOUBLE_EQ(s.median, 0.7);
    EXPECT_DOUBLE_EQ(s.p99, 0.7);
    EXPECT_DOUBLE_EQ(s.max, 0.7);
}

} // namespace
