// Doubtful laps, drift warnings and the CdA chart in both lap windows, and
// their limits in the settings window.
#include "app/ant_scanner_service.h"
#include "tests/ui/ui_test_support.h"
#include "ui/cda_chart_view.h"
#include "ui/content_view.h"
#include "ui/lap_check_settings.h"
#include "ui/lap_data_popout_view.h"
#include "ui/lap_data_table.h"
#include "ui/lap_table_model.h"
#include "ui/popout_lap_table.h"
#include "ui/quality_warning_banner.h"
#include "ui/settings_window.h"

#include <QAreaSeries>
#include <QDoubleSpinBox>
#include <QLineSeries>
#include <QScatterSeries>
#include <QSettings>
#include <QTest>

#include <gtest/gtest.h>

namespace draftwell::test {
namespace {

// The worked CdA example with calibration factors drifting away after lap 5:
// lap 5 is the outlier, and after lap 8 the calibration no longer holds.
constexpr double kCdA[] = {0.200, 0.201, 0.199, 0.200, 0.230, 0.202, 0.201, 0.200};
constexpr double kCal[] = {1.00, 1.01, 0.99, 1.00, 1.00, 1.06, 1.05, 1.07};

class LapQualityViewTest : public ::testing::Test {
  protected:
    LapQualityViewTest() : main(fixture.service(), {}), popout(fixture.service()) {
        main.resize(ContentView::kMinWidth, ContentView::kMinHeight);
        popout.resize(1000, 600);
        main.show();
        popout.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&main) && QTest::qWaitForWindowExposed(&popout));
    }

    void ride(int laps) {
        for (int i = 0; i < laps; ++i) {
            fixture.completeLap({.lap = i + 1, .cdA = kCdA[i], .cal = kCal[i]});
        }
        main.refreshNow();
        popout.refreshNow();
    }
    // The Check column of each lap, oldest first.
    static QStringList checks(const LapTableModel& model) {
        QStringList texts;
        for (int row = model.rowCount() - 1; row >= 0; --row) {
            texts.append(model.index(row, model.columnCount() - 1).data().toString());
        }
        return texts;
    }

    ServiceFixture fixture;
    ContentView main;
    LapDataPopoutView popout;
};

TEST_F(LapQualityViewTest, BothWindowsMarkTheDoubtfulLapAndChartTheRun) {
    ride(6);
    // With its figure in the main window, naming the check in the large type.
    EXPECT_EQ(checks(*main.lapTable()->lapModel()), (QStringList{"", "", "", "", "\u26A0 CdA z +19.90", ""}));
    EXPECT_EQ(checks(*popout.lapTable()->lapModel()), (QStringList{"", "", "", "", "\u26A0 CdA", ""}));
    for (const LapTableModel* model : {main.lapTable()->lapModel(), popout.lapTable()->lapModel()}) {
        EXPECT_EQ(model->index(1, model->columnCount() - 1).data(Qt::ToolTipRole).toString(),
                  "Doubtful lap: CdA z +19.90");
        EXPECT_TRUE(model->index(1, 2).data(Qt::BackgroundRole).isValid()); // lap 5's row is tinted
        EXPECT_FALSE(model->index(0, 2).data(Qt::BackgroundRole).isValid());
    }
    EXPECT_TRUE(fixture.service().allLapData()[1]->use);
    EXPECT_TRUE(main.warningBanner()->isHidden());

    // Unticked, the lap is drawn hollow and keeps its ring.
    fixture.service().allLapData()[1]->use = false;
    fixture.service().updateSessionData();
    main.refreshNow();
    popout.refreshNow();
    for (const CdAChartView* chart : {main.cdAChart(), popout.cdAChart()}) {
        EXPECT_EQ(chart->tickedSeries()->count(), 5);
        ASSERT_EQ(chart->untickedSeries()->count(), 1);
        EXPECT_EQ(chart->untickedSeries()->at(0), QPointF(5, fixture.service().allLapData()[1]->cdACal));
        EXPECT_EQ(chart->untickedSeries()->brush().style(), Qt::NoBrush);
        ASSERT_EQ(chart->flaggedSeries()->count(), 1);
        EXPECT_EQ(chart->flaggedSeries()->at(0).x(), 5);
        // The ticked laps' mean, as in the summary, inside its band.
        ASSERT_EQ(chart->meanSeries()->count(), 2);
        EXPECT_NEAR(chart->meanSeries()->at(0).y(), fixture.service().sessionSummary().cdACal, 1e-12);
        ASSERT_TRUE(chart->tickedStatistics().confidence);
        EXPECT_EQ(chart->bandSeries()->upperSeries()->at(0).y(), chart->tickedStatistics().confidence->high);
        EXPECT_EQ(chart->bandSeries()->lowerSeries()->at(0).y(), chart->tickedStatistics().confidence->low);
    }
    EXPECT_EQ(checks(*main.lapTable()->lapModel()).at(4).left(7), "\u26A0 CdA z");
}

TEST_F(LapQualityViewTest, CalibrationDriftWarningShowsInBothWindowsAndGoes) {
    ride(7);
    EXPECT_TRUE(main.warningBanner()->isHidden());
    EXPECT_TRUE(popout.warningBanner()->isHidden());
    fixture.completeLap({.lap = 8, .cdA = kCdA[7], .cal = kCal[7]});
    main.refreshNow();
    popout.refreshNow();
    const QString warning = "Calibration drift: cal +6.00 %, last 3 laps vs calibration laps";
    for (const QualityWarningBanner* banner : {main.warningBanner(), popout.warningBanner()}) {
        EXPECT_TRUE(banner->isVisible());
        EXPECT_TRUE(banner->text().contains(warning)) << banner->text().toStdString();
    }
    // The chart makes room for the warning in the lap data window.
    EXPECT_GE(popout.cdAChart()->y(), popout.warningBanner()->geometry().bottom());

    fixture.service().lapQuality().setLimits({.calDriftPercent = 8.0});
    main.refreshNow();
    popout.refreshNow();
    EXPECT_TRUE(main.warningBanner()->isHidden());
    EXPECT_TRUE(popout.warningBanner()->isHidden());
}

TEST(LapCheckSettingsTest, LimitsAreShownAndStored) {
    ServiceFixture fixture;
    SettingsWindow window(fixture.service());
    window.show();
    auto* checks = window.findChild<LapCheckSettings*>();
    ASSERT_NE(checks, nullptr);
    struct Row {
        QDoubleSpinBox* field;
        double shown;
        double analysis::QualityLimits::*limit;
        const char* key;
    } const rows[] = {
        {checks->outlierField(), 3.5, &analysis::QualityLimits::outlierZ, ".outlierZLimit"},
        {checks->paceField(), 3.0, &analysis::QualityLimits::pacePercent, ".paceLimitPercent"},
        {checks->calDriftField(), 5.0, &analysis::QualityLimits::calDriftPercent, ".calDriftLimitPercent"},
        {checks->trendField(), 1.0, &analysis::QualityLimits::trendPercent, ".cdATrendLimitPercent"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.field->value(), row.shown) << row.key;
        row.field->setFocus();
        row.field->selectAll();
        QTest::keyClicks(row.field, QStringLiteral("7"));
        QTest::keyClick(row.field, Qt::Key_Return);
        EXPECT_EQ(fixture.service().lapQuality().limits().*row.limit, 7.0) << row.key;
        EXPECT_EQ(QSettings().value(QStringLiteral("com.draftwell.LapLogger") + row.key).toDouble(), 7.0);
    }
}

} // namespace
} // namespace draftwell::test
