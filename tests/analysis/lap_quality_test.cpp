#include "analysis/lap_quality.h"

#include <gtest/gtest.h>

#include <vector>

namespace draftwell::analysis {
namespace {

std::vector<LapFigures> lapsWith(const std::vector<double>& values, double LapFigures::*field,
                                 const std::vector<bool>& counted = {}) {
    std::vector<LapFigures> laps(values.size(), LapFigures{0.3, 1.0, 40.0, true});
    for (std::size_t i = 0; i < values.size(); ++i) {
        laps[i].*field = values[i];
        laps[i].counted = i >= counted.size() || counted[i];
    }
    return laps;
}

// Numbers (from 1) of the laps flagged, and the flag's figure.
std::vector<std::pair<std::size_t, double>> flagged(const std::vector<LapFigures>& laps,
                                                    QualityLimits limits = {}) {
    const RunQuality q = assessRun(laps, 5, limits);
    std::vector<std::pair<std::size_t, double>> out;
    for (std::size_t i = 0; i < q.laps.size(); ++i) {
        if (q.laps[i].any()) {
            out.emplace_back(i + 1, q.laps[i].outlierZ.value_or(q.laps[i].pacePercent.value_or(0)));
        }
    }
    return out;
}

TEST(LapQualityTest, CdAOutliersByModifiedZScoreAndPaceAgainstTheMedianSpeed) {
    const std::vector<double> cdA{0.200, 0.201, 0.199, 0.200, 0.230, 0.202};
    const RobustCentre centre = robustCentre(cdA);
    EXPECT_NEAR(centre.median, 0.2005, 1e-12);
    EXPECT_NEAR(centre.mad, 0.0010, 1e-12);
    const auto cd = &LapFigures::cdACal;
    const auto speed = &LapFigures::speed;
    const struct {
        const char* what;
        std::vector<LapFigures> laps;
        QualityLimits limits;
        std::vector<std::pair<std::size_t, double>> flagged;
    } cases[] = {
        // clang-format off
        {"the outlier", lapsWith(cdA, cd), {}, {{5, 19.90}}},
        {"four laps are too few", lapsWith({0.200, 0.201, 0.199, 0.230}, cd), {}, {}},
        {"a MAD of 0 flags nothing", lapsWith({0.200, 0.200, 0.200, 0.200, 0.230}, cd), {}, {}},
        {"fewer than five ticked laps", lapsWith(cdA, cd, {true, true, false, true, true, false}), {}, {}},
        // An unticked lap is still scored, so its reason stays visible.
        {"an unticked outlier", lapsWith({0.200, 0.201, 0.199, 0.200, 0.230, 0.202, 0.201}, cd,
                                         {true, true, true, true, false}), {}, {{5, 39.7955}}},
        {"a slow lap", lapsWith({45.0, 45.2, 44.9, 45.1, 41.0, 45.0}, speed), {}, {{5, -8.89}}},
        {"within a wider pace limit", lapsWith({45.0, 45.2, 41.0}, speed), {.pacePercent = 10}, {}},
        {"two laps have no median to compare with", lapsWith({45.0, 41.0}, speed), {}, {}},
        {"a lap without a speed is not judged", lapsWith({45.0, 45.2, 44.9, 0.0}, speed), {}, {}},
        // clang-format on
    };
    for (const auto& c : cases) {
        const auto got = flagged(c.laps, c.limits);
        ASSERT_EQ(got.size(), c.flagged.size()) << c.what;
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].first, c.flagged[i].first) << c.what;
            EXPECT_NEAR(got[i].second, c.flagged[i].second, 0.005) << c.what;
        }
    }
}

TEST(LapQualityTest, CalibrationDriftOfTheLastThreeLaps) {
    const std::vector<double> cal{1.00, 1.01, 0.99, 1.00, 1.00, 1.06, 1.05, 1.07};
    const struct {
        std::size_t laps;
        std::optional<double> percent;
        bool exceeded;
    } cases[] = {{5, std::nullopt, false}, {6, 2.00, false}, {7, 3.67, false}, {8, 6.00, true}};
    for (const auto& c : cases) {
        const auto laps = lapsWith({cal.begin(), cal.begin() + static_cast<long>(c.laps)}, &LapFigures::cal);
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
    const struct {
        std::vector<double> cdA;
        double slope, low, high, change;
        bool drifting;
    } cases[] = {
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
    for (const auto& c : cases) {
        const RunQuality q = assessRun(lapsWith(c.cdA, &LapFigures::cdACal), 5, {});
        ASSERT_TRUE(q.trend && q.trend->fit.slopeConfidence && q.trend->fit.changePercent);
        EXPECT_NEAR(q.trend->fit.slope, c.slope, 1e-12);
        EXPECT_NEAR(q.trend->fit.slopeConfidence->low, c.low, 1e-9);
        EXPECT_NEAR(q.trend->fit.slopeConfidence->high, c.high, 1e-9);
        EXPECT_NEAR(*q.trend->fit.changePercent, c.change, 1e-9);
        EXPECT_EQ(q.trend->drifting, c.drifting);
    }
    // A change within the limit is no drift even when the slope is certain.
    EXPECT_FALSE(
        assessRun(lapsWith({0.300, 0.3001, 0.3002, 0.3003}, &LapFigures::cdACal), 5, {}).trend->drifting);
}

} // namespace
} // namespace draftwell::analysis
