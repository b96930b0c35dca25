#include "analysis/sample_statistics.h"

#include <gtest/gtest.h>

#include <vector>

namespace draftwell::analysis {
namespace {

// Reference figures worked by hand and with a t table (t0.975,4 = 2.776445).
TEST(SampleStatisticsTest, DescribesARunOfLaps) {
    const std::vector<double> laps{0.2010, 0.2000, 0.1990, 0.2005, 0.1995};
    const SampleStatistics s = describe(laps);
    EXPECT_EQ(s.n, 5u);
    EXPECT_NEAR(s.mean, 0.2000, 1e-12);
    ASSERT_TRUE(s.sd && s.standardError && s.confidence);
    EXPECT_NEAR(*s.sd, 0.000790569, 1e-9);
    EXPECT_NEAR(*s.standardError, 0.000353553, 1e-9);
    EXPECT_NEAR(s.confidence->low, 0.2000 - 2.776445 * 0.000353553, 1e-8);
    EXPECT_NEAR(s.confidence->high, 0.2000 + 2.776445 * 0.000353553, 1e-8);
}

TEST(SampleStatisticsTest, OneOrNoValueHasNoSpread) {
    EXPECT_EQ(describe(std::vector<double>{}).n, 0u);
    const SampleStatistics one = describe(std::vector<double>{0.25});
    EXPECT_DOUBLE_EQ(one.mean, 0.25);
    EXPECT_FALSE(one.sd || one.standardError || one.confidence);
}

TEST(SampleStatisticsTest, TQuantilesMatchTables) {
    struct Row {
        double p, df, t;
    } const rows[] = {
        {0.975, 8, 2.306004}, {0.975, 1, 12.706205}, {0.8, 30, 0.853767}, {0.975, 7.5, 2.333040}};
    for (const Row& row : rows) {
        EXPECT_NEAR(studentTQuantile(row.p, row.df), row.t, 1e-5) << row.df;
    }
}

TEST(SampleStatisticsTest, MedianOfOddAndEvenCounts) {
    EXPECT_DOUBLE_EQ(median(std::vector<double>{3, 1, 2}), 2);
    EXPECT_DOUBLE_EQ(median(std::vector<double>{0.200, 0.201, 0.199, 0.200, 0.230, 0.202}), 0.2005);
    EXPECT_DOUBLE_EQ(median(std::vector<double>{}), 0);
}

} // namespace
} // namespace draftwell::analysis
