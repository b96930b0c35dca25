#include "analysis/lap_quality.h"

#include <gtest/gtest.h>

#include <vector>

namespace draftwell::analysis {
namespace {

std::vector<LapFigures> lapsWith(const std::vector<double>& values, double LapFigures::*field) {
    std::vector<LapFigures> laps(values.size(), LapFigures{0.3, 1.0, 40.0, true});
    for (std::size_t i = 0; i < values.size(); ++i) {
        laps[i].*field = values[i];
    }
    return laps;
}

std::vector<std::size_t> flaggedLaps(const RunQuality& q) {
    std::vector<std::size_t> flagged;
    for (std::size_t i = 0; i < q.laps.size(); ++i) {
        if (q.laps[i].any()) {
            flagged.push_back(i + 1);
        }
    }
    return flagged;
}

TEST(LapQualityTest, CdAOutlierByModifiedZScore) {
    const std::vector<double> cdA{0.200, 0.201, 0.199, 0.200, 0.230, 0.202};
    const RobustCentre centre = robustCentre(cdA);
    EXPECT_NEAR(centre.median, 0.2005, 1e-12);
    EXPECT_NEAR(centre.mad, 0.0010, 1e-12);
    const RunQuality q = assessRun(lapsWith(cdA, &LapFigures::cdACal), 5, {});
    EXPECT_EQ(flaggedLaps(q), std::vector<std::size_t>{5});
    ASSERT_TRUE(q.laps[4].outlierZ);
    EXPECT_NEAR(*q.laps[4].outlierZ, 19.90, 0.005);

    struct Case {
        const char* what;
        std::vector<double> cdA;
        std::vector<bool> counted;
    } const quiet[] = {
        {"four laps are too few", {0.200, 0.201, 0.199, 0.230}, {}},
        {"a MAD of 0 flags nothing", {0.200, 0.200, 0.200, 0.200, 0.230}, {}},
        {"fewer than five ticked laps",
         {0.200, 0.201, 0.199, 0.200, 0.230, 0.202},
         {true, true, false, true, true, false}},
    };
    for (const Case& c : quiet) {
        auto laps = lapsWith(c.cdA, &LapFigures::cdACal);
        for (std::size_t i = 0; i < c.counted.size(); ++i) {
            laps[i].counted = c.counted[i];
        }
        EXPECT_TRUE(flaggedLaps(assessRun(laps, 5, {})).empty()) << c.what;
    }
    // An unticked lap is still scored, so its reason stays visible.
    auto laps = lapsWith({0.200, 0.201, 0.199, 0.200, 0.230, 0.202, 0.201}, &LapFigures::cdACal);
    laps[4].counted = false;
    EXPECT_EQ(flaggedLaps(assessRun(laps, 5, {})), std::vector<std::size_t>{5});
}

TEST(LapQualityTest, PaceAgainstTheMedianSpeed) {
    const RunQuality q = assessRun(lapsWith({45.0, 45.2, 44.9, 45.1, 41.0, 45.0}, &LapFigures::speed), 5, {});
    EXPECT_EQ(flaggedLaps(q), std::vector<std::size_t>{5});
    ASSERT_TRUE(q.laps[4].pacePercent);
    EXPECT_NEAR(*q.laps[4].pacePercent, -8.89, 0.005);
    // The limit is a setting; two laps have no median to compare with;
    // a lap without a speed is not judged.
    EXPECT_TRUE(
        flaggedLaps(assessRun(lapsWith({45.0, 45.2, 41.0}, &LapFigures::speed), 5, {.pacePercent = 10}))
            .empty());
    EXPECT_TRUE(flaggedLaps(assessRun(lapsWith({45.0, 41.0}, &LapFigures::speed), 5, {})).empty());
    EXPECT_TRUE(flaggedLaps(assessRun(lapsWith({45.0, 45.2, 44.9, 0.0}, &LapFigures::speed), 5, {})).empty());
}

TEST(LapQualityTest, CalibrationDriftOfTheLastThreeLaps) {
    const std::vector<double> cal{1.00, 1.01, 0.99, 1.00, 1.00, 1.06, 1.05, 1.07};
    struct Case {
        std::size_t laps;
        std::optional<double> percent;
        bool exceeded;
    } const cases[] = {{5, std::nullopt, false}, {6, 2.00, false}, {7, 3.67, false}, {8, 6.00, true}};
    for (const Case& c : cases) {
        const auto laps = lapsWith(std::vector<double>(cal.begin(), cal.begin() + static_cast<long>(c.laps)),
                                   &LapFigures::cal);
        const RunQuality q = assessRun(laps, 5, {});
        ASSERT_EQ(q.calibrationDrift.has_value(), c.percent.has_value()) << c.laps;
        if (c.percent) {
            EXPECT_NEAR(q.calibrationDrift->percent, *c.percent, 0.005) << c.laps;
            EXPECT_EQ(q.calibrationDrift->exceeded, c.exceeded) << c.laps;
        }
    }
    EXPECT_FALSE(assessRun(lapsWith(cal, &LapFigures::cal), 0, {}).calibrationDrift);
}

// Reference figures computed independently with mpmath at 30 digits.
TEST(LapQualityTest, CdATrendWithItsInterval) {
    struct Case {
        std::vector<double> cdA;
        double slope, low, high, change;
        bool drifting;
    } const cases[] = {
        {{0.300, 0.302, 0.301, 0.305, 0.306, 0.308, 0.309, 0.312},
         0.00167857142857143,
         0.00131590706104900,
         0.00204123579609385,
         3.84772820302906,
         true},
        {{0.300, 0.303, 0.299, 0.302, 0.300, 0.301},
         -0.0000285714285714286,
         -0.00112009869109975,
         0.00106295583395689,
         -0.0474871388998813,
         false},
    };
    for (const Case& c : cases) {
        const RunQuality q = assessRun(lapsWith(c.cdA, &LapFigures::cdACal), 5, {});
        ASSERT_TRUE(q.trend && q.trend->fit.slopeConfidence && q.trend->fit.changePercent);
        EXPECT_NEAR(q.trend->fit.slope, c.slope, 1e-12);
        EXPECT_NEAR(q.trend->fit.slopeConfidence->low, c.low, 1e-9);
        EXPECT_NEAR(q.trend->fit.slopeConfidence->high, c.high, 1e-9);
        EXPECT_NEAR(*q.trend->fit.changePercent, c.change, 1e-9);
        EXPECT_EQ(q.trend->drifting, c.drifting);
    }
    // A change within the limit is no drift even when the slope is certain.
    const auto steady = lapsWith({0.300, 0.3001, 0.3002, 0.3003}, &LapFigures::cdACal);
    EXPECT_FALSE(assessRun(steady, 5, {}).trend->drifting);
}

} // namespace
} // namespace draftwell::analysis
