#include <gtest/gtest.h>

#include "tests/support/service_fixture.h"

namespace draftwell::test {
namespace {

class LapQualityServiceTest : public ServiceFixture {
  protected:
    // Laps 1..n with these calibration factors and CdA, all at one pace.
    void addLaps(std::initializer_list<std::pair<double, double>> calAndCdA) {
        for (const auto& [cal, cdA] : calAndCdA) {
            completeLap({.lap = ++lapNumber, .cdA = cdA, .cal = cal});
        }
    }
    LapQualityMonitor& quality() { return service->lapQuality(); }
    qsizetype linesContaining(const QString& text) const {
        return service->messageLogs().filter(text).size();
    }
    int lapNumber = 0;
};

TEST_F(LapQualityServiceTest, CalibrationDriftWarnsAboveTheLimitAndGoesAgain) {
    makeService();
    addLaps(
        {{1.00, 0.30}, {1.01, 0.30}, {0.99, 0.30}, {1.00, 0.30}, {1.00, 0.30}, {1.06, 0.30}, {1.05, 0.30}});
    EXPECT_TRUE(quality().calibrationWarning().isEmpty()); // +3.67 %
    addLaps({{1.07, 0.30}});
    EXPECT_EQ(quality().calibrationWarning(),
              "Calibration drift: cal +6.00 %, last 3 laps vs calibration laps");
    EXPECT_EQ(linesContaining("Calibration drift: "), 1);
    // Nothing is recomputed silently: the laps keep their calibration.
    EXPECT_DOUBLE_EQ(service->sessionSummary().cal, 1.0);

    // A higher limit is stored, and the warning goes with a log line.
    quality().setLimits({.calDriftPercent = 7.0});
    EXPECT_TRUE(quality().calibrationWarning().isEmpty());
    EXPECT_EQ(linesContaining("Calibration drift no longer above 7.0 %."), 1);
    EXPECT_EQ(stored(".calDriftLimitPercent").toDouble(), 7.0);
    service.reset();
    makeService();
    EXPECT_EQ(service->lapQuality().limits().calDriftPercent, 7.0);
}

TEST_F(LapQualityServiceTest, ADriftingCdAWarnsWithItsFigure) {
    makeService();
    for (const double cdA : {0.300, 0.302, 0.301, 0.305, 0.306, 0.308, 0.309, 0.312}) {
        addLaps({{1.0, cdA}});
    }
    EXPECT_EQ(quality().trendWarning(), "CdA drifting: +3.85 % over 8 laps");
    EXPECT_EQ(quality().warnings(), QStringList{quality().trendWarning()});
    EXPECT_EQ(linesContaining("CdA drifting: +"), 1);
    service->resetLaps();
    EXPECT_TRUE(quality().warnings().isEmpty());
    EXPECT_EQ(linesContaining("CdA no longer drifting."), 1);
}

TEST_F(LapQualityServiceTest, AStoredLimitThatIsNoNumberFallsBack) {
    store(".outlierZLimit", "strict");
    makeService();
    EXPECT_EQ(quality().limits().outlierZ, 3.5);
    EXPECT_EQ(linesContaining("Setting com.draftwell.LapLogger.outlierZLimit is not a positive number"), 1);
}

} // namespace
} // namespace draftwell::test
