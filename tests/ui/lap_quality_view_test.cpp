// Doubtful laps, drift warnings and the CdA chart in both lap windows.
#include "tests/ui/ui_test.h"
#include "ui/quality_warning_banner.h"

#include <QAreaSeries>
#include <QLineSeries>
#include <QScatterSeries>

namespace draftwell::test {
namespace {

// The worked CdA example with calibration factors drifting away after lap 5:
// lap 5 is the outlier, and after lap 8 the calibration no longer holds.
constexpr double kCdA[] = {0.200, 0.201, 0.199, 0.200, 0.230, 0.202, 0.201, 0.200};
constexpr double kCal[] = {1.00, 1.01, 0.99, 1.00, 1.00, 1.06, 1.05, 1.07};

class LapQualityViewTest : public UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        main = &open<ContentView>(QSize(ContentView::kMinWidth, ContentView::kMinHeight), *service,
                                  WindowOpener{});
        popout = &open<LapDataPopoutView>(QSize(1000, 600), *service);
    }
    void ride(int from, int to) {
        for (int i = from; i < to; ++i) {
            completeLap({.lap = i + 1, .cdA = kCdA[i], .cal = kCal[i]});
        }
        refresh();
    }
    void refresh() {
        main->refreshNow();
        popout->refreshNow();
    }
    // The Check column of each lap, oldest first.
    static QStringList checks(const LapTableModel& model) {
        QStringList texts;
        for (int row = model.rowCount() - 1; row >= 0; --row) {
            texts.append(model.index(row, model.columnCount() - 1).data().toString());
        }
        return texts;
    }
    std::vector<QualityWarningBanner*> banners() const {
        return {main->warningBanner(), popout->warningBanner()};
    }
    std::vector<bool> bannersShown() const {
        return {main->warningBanner()->isVisible(), popout->warningBanner()->isVisible()};
    }

    ContentView* main = nullptr;
    LapDataPopoutView* popout = nullptr;
};

TEST_F(LapQualityViewTest, BothWindowsMarkTheDoubtfulLapAndChartTheRun) {
    ride(0, 6);
    // With its figure in the main window, naming the check in the large type.
    EXPECT_EQ(checks(*main->lapTable()->lapModel()),
              (QStringList{"", "", "", "", "\u26A0 CdA z +19.90", ""}));
    EXPECT_EQ(checks(*popout->lapTable()->lapModel()), (QStringList{"", "", "", "", "\u26A0 CdA", ""}));
    for (const LapTableModel* model : {main->lapTable()->lapModel(), popout->lapTable()->lapModel()}) {
        EXPECT_EQ(model->index(1, model->columnCount() - 1).data(Qt::ToolTipRole).toString(),
                  "Doubtful lap: CdA z +19.90");
        EXPECT_TRUE(model->index(1, 2).data(Qt::BackgroundRole).isValid()); // lap 5's row is tinted
        EXPECT_FALSE(model->index(0, 2).data(Qt::BackgroundRole).isValid());
    }
    EXPECT_TRUE(service->allLapData()[1]->use);
    EXPECT_TRUE(main->warningBanner()->isHidden());

    // Unticked, the lap is drawn hollow and keeps its ring.
    service->allLapData()[1]->use = false;
    service->updateSessionData();
    refresh();
    for (const CdAChartView* chart : {main->cdAChart(), popout->cdAChart()}) {
        EXPECT_EQ(chart->tickedSeries()->count(), 5);
        ASSERT_EQ(chart->untickedSeries()->count(), 1);
        EXPECT_EQ(chart->untickedSeries()->at(0), QPointF(5, service->allLapData()[1]->cdACal));
        EXPECT_EQ(chart->untickedSeries()->brush().style(), Qt::NoBrush);
        ASSERT_EQ(chart->flaggedSeries()->count(), 1);
        EXPECT_EQ(chart->flaggedSeries()->at(0).x(), 5);
        // The ticked laps' mean, as in the summary, inside its band.
        ASSERT_EQ(chart->meanSeries()->count(), 2);
        EXPECT_NEAR(chart->meanSeries()->at(0).y(), service->sessionSummary().cdACal, 1e-12);
        ASSERT_TRUE(chart->tickedStatistics().confidence);
        EXPECT_EQ(chart->bandSeries()->upperSeries()->at(0).y(), chart->tickedStatistics().confidence->high);
        EXPECT_EQ(chart->bandSeries()->lowerSeries()->at(0).y(), chart->tickedStatistics().confidence->low);
    }
    EXPECT_EQ(checks(*main->lapTable()->lapModel()).at(4).left(7), "\u26A0 CdA z");
}

TEST_F(LapQualityViewTest, CalibrationDriftWarningShowsInBothWindowsAndGoes) {
    ride(0, 7);
    EXPECT_EQ(bannersShown(), (std::vector{false, false}));
    ride(7, 8);
    EXPECT_EQ(bannersShown(), (std::vector{true, true}));
    for (const QualityWarningBanner* banner : banners()) {
        EXPECT_TRUE(
            banner->text().contains("Calibration drift: cal +6.00 %, last 3 laps vs calibration laps"))
            << banner->text().toStdString();
    }
    // The chart makes room for the warning in the lap data window.
    EXPECT_GE(popout->cdAChart()->y(), popout->warningBanner()->geometry().bottom());

    service->lapQuality().setLimits({.calDriftPercent = 8.0});
    refresh();
    EXPECT_EQ(bannersShown(), (std::vector{false, false}));
}

} // namespace
} // namespace draftwell::test
