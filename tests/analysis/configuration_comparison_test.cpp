#include "analysis/comparison_board.h"
#include "analysis/configuration_comparison.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace draftwell::analysis {
namespace {

const std::vector<double> kA{0.2010, 0.2000, 0.1990, 0.2005, 0.1995};
const std::vector<double> kB{0.1970, 0.1980, 0.1960, 0.1975, 0.1965};

void expectDifference(const std::optional<Difference>& d, double delta, double se, double df, double low,
                      double high, Verdict verdict) {
    ASSERT_TRUE(d);
    EXPECT_NEAR(d->delta, delta, 1e-9);
    EXPECT_NEAR(d->standardError, se, 1e-9);
    EXPECT_NEAR(d->degreesOfFreedom, df, 1e-6);
    EXPECT_NEAR(d->confidence.low, low, 1e-8);
    EXPECT_NEAR(d->confidence.high, high, 1e-8);
    EXPECT_EQ(d->verdict, verdict);
}

RunInput run(const std::string& name, const std::string& configuration, double start,
             const std::vector<double>& laps) {
    RunInput r{name, configuration, start, {}};
    for (const double cdA : laps) {
        r.laps.push_back({true, cdA, 0.0});
    }
    return r;
}

TEST(ConfigurationComparisonTest, WorkedExample) {
    const auto d = welchDifference(describe(kB), describe(kA));
    expectDifference(d, -0.0030, 0.000500, 8.0, -0.004153, -0.001847, Verdict::lower);
    EXPECT_NEAR(d->percent, -1.50, 1e-9);
    EXPECT_NEAR(wattsForCdA(d->delta, 1.20, 50.0), -4.8225308642, 1e-9);
    EXPECT_NEAR(cdAForWatts(-4.8225308642, 1.20, 50.0), -0.0030, 1e-12);
    const auto needed = lapsStillNeeded(0.002, 0.002, 4, 10);
    ASSERT_TRUE(needed);
    EXPECT_EQ(needed->perConfiguration, 17u);
    EXPECT_EQ(needed->moreOfTest, 13u);
    EXPECT_EQ(needed->moreOfBaseline, 7u);
}

// Reference figures from mpmath at 30 digits (t quantiles by root-finding on
// the regularised incomplete beta function).
TEST(ConfigurationComparisonTest, IndependentReferenceValues) {
    const std::vector<double> a{0.3120, 0.3105, 0.3131, 0.3098, 0.3117, 0.3125, 0.3109};
    const std::vector<double> b{0.3071, 0.3102, 0.3055, 0.3089};
    const auto welch = welchDifference(describe(b), describe(a));
    expectDifference(welch, -0.003575, 0.00111810053641, 4.12562288301, -0.00664241877018, -0.00050758122982,
                     Verdict::lower);
    EXPECT_NEAR(welch->percent, -1.14767255217, 1e-9);

    const std::vector<double> a1{0.2510, 0.2490, 0.2505, 0.2495, 0.2500};
    const std::vector<double> test{0.2440, 0.2460, 0.2450, 0.2445, 0.2455, 0.2450};
    const std::vector<double> a2{0.2530, 0.2520, 0.2540, 0.2525};
    expectDifference(driftAdjustedDifference(describe(test), describe(a1), describe(a2), 0.4), -0.00615,
                     0.000396862696660, 11.3857841054, -0.00701989149891, -0.00528010850109, Verdict::lower);
    EXPECT_EQ(lapsPerConfiguration(0.0031, 0.0025), std::optional<std::size_t>(26));

    // The same drift case through the board: mid-times 0, 400 and 1000 s give w = 0.4.
    const ComparisonBoard board =
        buildComparisonBoard({run("1", "A", 0, a1), run("2", "B", 400, test), run("3", "A", 1000, a2)}, {});
    const RunRow& middle = board.runs[1];
    ASSERT_TRUE(middle.adjusted && middle.drift);
    EXPECT_NEAR(middle.adjusted->difference.delta, -0.00615, 1e-9);
    EXPECT_NEAR(middle.drift->weight, 0.4, 1e-12);
    EXPECT_NEAR(middle.drift->drift.delta, 0.002875, 1e-9);
    EXPECT_NEAR(middle.drift->drift.confidence.low, 0.00153420045517, 1e-8);
    EXPECT_TRUE(middle.drift->warning);
    EXPECT_TRUE(board.driftWarning);
    EXPECT_EQ(middle.adjusted->basis, Comparison::Basis::driftAdjusted);
}

TEST(ConfigurationComparisonTest, VerdictsAndMissingSpread) {
    struct Row {
        Interval interval;
        Verdict verdict;
    } const rows[] = {{{-2, -1}, Verdict::lower},
                      {{1, 2}, Verdict::higher},
                      {{-1, 1}, Verdict::notResolved},
                      {{0, 1}, Verdict::notResolved}};
    for (const Row& row : rows) {
        EXPECT_EQ(verdictFor(row.interval), row.verdict) << row.interval.low;
    }
    EXPECT_STREQ(verdictText(Verdict::notResolved), "not resolved");
    EXPECT_FALSE(welchDifference(describe(std::vector<double>{0.2}), describe(kA)));
    EXPECT_FALSE(
        welchDifference(describe(std::vector<double>{0.2, 0.2}), describe(std::vector<double>{0.3, 0.3})));
    EXPECT_FALSE(lapsPerConfiguration(0.0, 0.002));
    EXPECT_FALSE(lapsPerConfiguration(0.002, 0.0));
    EXPECT_FALSE(lapsPerConfiguration(1.0, 1e-6)); // beyond any day at the track
}

TEST(ComparisonBoardTest, BaselineRunMeansTargetsAndExclusion) {
    std::vector<RunInput> runs{run("1", "A", 0, kA), run("2", "B", 100, kB), run("3", "A", 200, kA),
                               run("4", "B", 300, {0.1990, 0.1985, 0.1995})};
    runs[1].laps.push_back({false, 0.5, 0.0}); // unticked: not counted
    ComparisonBoard board = buildComparisonBoard(runs, {});
    ASSERT_EQ(board.configurations.size(), 2u);
    EXPECT_EQ(board.baseline, std::optional<std::string>("A"));
    EXPECT_NEAR(*board.targetCdA, 0.002, 1e-12);
    const ConfigurationRow& b = *board.configuration("B");
    EXPECT_EQ(b.runs, 2u);
    EXPECT_EQ(b.laps.n, 8u);
    ASSERT_TRUE(b.onLaps && b.onRunMeans && b.needed);
    EXPECT_EQ(b.onRunMeans->basis, Comparison::Basis::runMeans);
    EXPECT_EQ(b.runMeans.n, 2u);
    EXPECT_NEAR(b.onRunMeans->difference.delta, (0.197 + 0.199) / 2 - 0.2, 1e-12);
    EXPECT_EQ(b.onLaps->difference.verdict, Verdict::lower);
    EXPECT_TRUE(board.runs[1].adjusted); // between the two A runs
    EXPECT_FALSE(board.runs[3].adjusted);

    BoardSettings settings;
    settings.baseline = "B";
    settings.targetWatts = 4.8225308642;
    settings.airDensity = 1.2;
    runs[2].excluded = true;
    board = buildComparisonBoard(runs, settings);
    EXPECT_EQ(board.baseline, std::optional<std::string>("B"));
    EXPECT_NEAR(*board.targetCdA, 0.003, 1e-9);
    EXPECT_EQ(board.configuration("A")->runs, 1u);
    EXPECT_FALSE(board.configuration("A")->onRunMeans);
    EXPECT_TRUE(board.configuration("A")->onLaps);
    EXPECT_TRUE(board.runs[2].excluded);
    EXPECT_TRUE(buildComparisonBoard({}, {}).configurations.empty());
}

} // namespace
} // namespace draftwell::analysis
