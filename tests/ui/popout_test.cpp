#include "app/ant_scanner_service.h"
#include "app/format_number.h"
#include "tests/ui/ui_test_support.h"
#include "ui/cda_chart_view.h"
#include "ui/lap_data_popout_view.h"
#include "ui/lap_table_model.h"
#include "ui/popout_brand_tile.h"
#include "ui/popout_lap_table.h"
#include "ui/popout_layout.h"
#include "ui/popout_metric_tile.h"
#include "ui/popout_weighted_row.h"
#include "ui/status_card.h"

#include <QHeaderView>
#include <QTest>

#include <gtest/gtest.h>

namespace draftwell::test {
namespace {

class PopoutTest : public ::testing::Test {
  protected:
    PopoutTest() : view(fixture.service()) {
        view.resize(PopoutLayout::kMinWidth, PopoutLayout::kMinHeight);
        view.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
    }

    QStringList metrics() {
        view.refreshNow();
        return {view.lapTimeTile()->value(), view.cdATile()->value(), view.lapTile()->value(),
                view.speedTile()->value(), view.powerTile()->value()};
    }
    LapTableModel& model() { return *view.lapTable()->lapModel(); }

    ServiceFixture fixture;
    LapDataPopoutView view;
};

TEST_F(PopoutTest, ShowsDashesAndAnEmptyTableWithoutLaps) {
    EXPECT_EQ(metrics(), (QStringList{"-", "-", "-", "-", "-"}));
    EXPECT_EQ(model().rowCount(), 0);
    QStringList headers;
    for (int c = 0; c < model().columnCount(); ++c) {
        headers.append(model().headerData(c, Qt::Horizontal).toString());
    }
    EXPECT_EQ(headers, (QStringList{"Lap", "CdACal", "Cal", "CdARaw", "Time", "Dist", "Speed", "Power",
                                    "Head", "Chest", "Check"}));
    EXPECT_EQ(view.lapTimeTile()->title(), "Lap Time");
    EXPECT_EQ(view.cdATile()->title(), "CdA");
    EXPECT_EQ(view.lapTile()->title(), "Lap");
    EXPECT_EQ(view.speedTile()->title(), "Speed");
    EXPECT_EQ(view.powerTile()->title(), "Power");
}

TEST_F(PopoutTest, ShowsTheLatestLapAndListsLapsNewestFirst) {
    fixture.completeLap(
        {.lap = 7, .cdA = 0.2841, .cal = 1.02, .lapTime = 62.5, .dist = 720.0, .riderPwr = 281.4});
    EXPECT_EQ(metrics(), (QStringList{"62.500", "0.284", "7", "41.5", "281.4"}));

    fixture.completeLap(
        {.lap = 8, .cdA = 0.3, .cal = 1.04, .lapTime = 60.0, .dist = 700.0, .riderPwr = 300.0});
    // The broadcast CdA, not the calibrated one.
    EXPECT_EQ(metrics(), (QStringList{"60.000", "0.300", "8", "42.0", "300.0"}));
    ASSERT_EQ(model().rowCount(), 2);
    ASSERT_EQ(fixture.service().allLapData().size(), 2u);
    EXPECT_EQ(model().index(0, 0).data().toString(), "8");
    EXPECT_EQ(model().index(1, 0).data().toString(), "7");
    EXPECT_EQ(model().index(0, 3).data().toString(), "0.300");
    EXPECT_NE(model().index(0, 1).data().toString(), "0.300");
    EXPECT_EQ(model().index(0, 1).data().toString(),
              formatNumber(fixture.service().allLapData()[0]->cdACal, 3));

    fixture.service().resetLaps();
    EXPECT_EQ(metrics(), (QStringList{"-", "-", "-", "-", "-"}));
    EXPECT_EQ(model().rowCount(), 0);
}

TEST_F(PopoutTest, MinimumSizeGivesTheDesignFigures) {
    const PopoutLayout layout = PopoutLayout::forSize(820, 420);
    EXPECT_DOUBLE_EQ(layout.avail, 400);
    EXPECT_DOUBLE_EQ(layout.tableHeight, 120);
    EXPECT_DOUBLE_EQ(layout.rowHeight, 132);
    EXPECT_DOUBLE_EQ(PopoutLayout::unit(800, 8), 156.8);
    EXPECT_NEAR(PopoutMetricTile::titleSize(156.8, 132), 17.248, 1e-9);
    EXPECT_NEAR(PopoutMetricTile::titleFontSize(156.8, 132), 14.488, 1e-3);
    EXPECT_NEAR(PopoutMetricTile::valueSize(156.8, 132), 81.536, 1e-9);
    EXPECT_NEAR(PopoutMetricTile::titleSize(313.6, 132), 23.76, 1e-9);
    EXPECT_NEAR(PopoutMetricTile::valueSize(313.6, 132), 116.16, 1e-9);

    // The widgets as laid out in a window of that size: the CdA chart takes
    // 36 % of the width beside the two tile rows, the table the full width.
    EXPECT_EQ(view.size(), QSize(820, 420));
    EXPECT_DOUBLE_EQ(PopoutLayout::chartWidth(800), 288);
    EXPECT_EQ(view.firstRow()->geometry(), QRect(10, 10, 504, 132));
    EXPECT_EQ(view.secondRow()->geometry(), QRect(10, 150, 504, 132));
    EXPECT_EQ(view.cdAChart()->geometry(), QRect(522, 10, 288, 272));
    EXPECT_EQ(view.lapTable()->geometry(), QRect(10, 290, 800, 120));
    const double unit = PopoutLayout::unit(504, 8);
    EXPECT_NEAR(view.brandTile()->width(), unit, 1);
    EXPECT_NEAR(view.lapTile()->width(), unit, 1);
    EXPECT_NEAR(view.speedTile()->width(), 2 * unit, 1);
    EXPECT_NEAR(view.powerTile()->x(), 3 * unit + 16, 1);
    EXPECT_EQ(view.lapTile()->height(), 132);
    EXPECT_NEAR(PopoutMetricTile::valueSize(view.speedTile()->width(), view.speedTile()->height()),
                PopoutMetricTile::valueSize(2 * unit, 132), 0.6);
}

TEST_F(PopoutTest, GrowsWithTheWindowAndKeepsThirtyPercentForTheTable) {
    view.resize(1640, 840);
    const PopoutLayout layout = PopoutLayout::forSize(1640, 840);
    EXPECT_DOUBLE_EQ(layout.tableHeight, 246);
    EXPECT_DOUBLE_EQ(layout.rowHeight, 279);
    ASSERT_TRUE(waitUntil([&] { return view.lapTable()->height() == 246; }));
    EXPECT_EQ(view.lapTile()->height(), 279);
    EXPECT_GT(PopoutMetricTile::valueSize(view.speedTile()->width(), view.speedTile()->height()), 116.16);
    // Below the minimum the floors hold.
    const PopoutLayout tiny = PopoutLayout::forSize(100, 10);
    EXPECT_DOUBLE_EQ(tiny.avail, 0);
    EXPECT_DOUBLE_EQ(tiny.tableHeight, 108);
    EXPECT_DOUBLE_EQ(tiny.rowHeight, 126);
    EXPECT_DOUBLE_EQ(PopoutLayout::unit(10, 8), 0);
    EXPECT_DOUBLE_EQ(PopoutMetricTile::titleSize(10, 10), 12);
    EXPECT_DOUBLE_EQ(PopoutMetricTile::valueSize(10, 10), 44);
}

TEST(StatusCardTest, TypeSizesFollowTheCardWithinTheirLimits) {
    EXPECT_DOUBLE_EQ(StatusCard::titleFontSize(200, 84), 84 * 0.16);
    EXPECT_DOUBLE_EQ(StatusCard::valueFontSize(200, 84), 84 * 0.28);
    EXPECT_DOUBLE_EQ(StatusCard::titleFontSize(1000, 1000), 16);
    EXPECT_DOUBLE_EQ(StatusCard::valueFontSize(1000, 1000), 34);
    EXPECT_DOUBLE_EQ(StatusCard::titleFontSize(50, 300), 11);
    EXPECT_DOUBLE_EQ(StatusCard::valueFontSize(50, 300), 18);

    StatusCard card(QStringLiteral("Connection"), 200);
    EXPECT_EQ(card.minimumSizeHint(), QSize(200, 84));
    card.setValue(QStringLiteral("Multiple Garmins"));
    card.resize(200, 84);
    // A long value still paints inside its card.
    const QImage picture = card.grab().toImage();
    EXPECT_EQ(picture.size(), QSize(200, 84) * picture.devicePixelRatio());
}

} // namespace
} // namespace draftwell::test
