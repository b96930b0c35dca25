#include "app/format_number.h"
#include "tests/ui/ui_test.h"
#include "ui/lap_columns.h"
#include "ui/popout_brand_tile.h"
#include "ui/popout_layout.h"
#include "ui/popout_weighted_row.h"

#include <QRegularExpression>

namespace draftwell::test {
namespace {

class PopoutTest : public UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        view = &open<LapDataPopoutView>(QSize(PopoutLayout::kMinWidth, PopoutLayout::kMinHeight), *service);
    }
    // Each tile's title and value.
    QStringList tiles() {
        view->refreshNow();
        QStringList texts;
        for (const PopoutMetricTile* tile :
             {view->lapTimeTile(), view->cdATile(), view->lapTile(), view->speedTile(), view->powerTile()}) {
            texts << tile->title() + ' ' + tile->value();
        }
        return texts;
    }
    LapTableModel& model() { return *view->lapTable()->lapModel(); }

    LapDataPopoutView* view = nullptr;
};

TEST_F(PopoutTest, ShowsTheLatestLapAndListsLapsNewestFirst) {
    const QStringList none{"Lap Time -", "CdA -", "Lap -", "Speed -", "Power -"};
    EXPECT_EQ(tiles(), none);
    EXPECT_EQ(headerTexts(model()), (QStringList{"Lap", "CdACal", "Cal", "CdARaw", "Time", "Dist", "Speed",
                                                 "Power", "Head", "Chest", "Check"}));

    completeLap({.lap = 7, .cdA = 0.2841, .cal = 1.02, .lapTime = 62.5, .dist = 720.0, .riderPwr = 281.4});
    EXPECT_EQ(tiles(), (QStringList{"Lap Time 62.500", "CdA 0.284", "Lap 7", "Speed 41.5", "Power 281.4"}));
    completeLap({.lap = 8, .cdA = 0.3, .cal = 1.04, .lapTime = 60.0, .dist = 700.0, .riderPwr = 300.0});
    // The broadcast CdA, not the calibrated one.
    EXPECT_EQ(tiles(), (QStringList{"Lap Time 60.000", "CdA 0.300", "Lap 8", "Speed 42.0", "Power 300.0"}));
    ASSERT_EQ(model().rowCount(), 2);
    EXPECT_EQ(model().index(0, 0).data().toString(), "8");
    EXPECT_EQ(model().index(1, 0).data().toString(), "7");
    EXPECT_EQ(model().index(0, 3).data().toString(), "0.300");
    EXPECT_EQ(model().index(0, 1).data().toString(), formatNumber(service->allLapData()[0]->cdACal, 3));

    service->resetLaps();
    EXPECT_EQ(tiles(), none);
    EXPECT_EQ(model().rowCount(), 0);
}

// At the minimum size the CdA chart takes 36 % of the width beside the two rows of tiles, the table the full
// width and 30 % of the height; larger, the table keeps its share, and below the minimum the floors hold.
TEST_F(PopoutTest, LayoutFollowsTheWindowAndKeepsItsFloors) {
    EXPECT_EQ(view->firstRow()->geometry(), QRect(10, 10, 504, 132));
    EXPECT_EQ(view->secondRow()->geometry(), QRect(10, 150, 504, 132));
    EXPECT_EQ(view->cdAChart()->geometry(), QRect(522, 10, 288, 272));
    EXPECT_EQ(view->lapTable()->geometry(), QRect(10, 290, 800, 120));
    const double unit = PopoutLayout::unit(504, 8);
    EXPECT_NEAR(view->brandTile()->width(), unit, 1);
    EXPECT_NEAR(view->lapTile()->width(), unit, 1);
    EXPECT_NEAR(view->speedTile()->width(), 2 * unit, 1);
    EXPECT_NEAR(view->powerTile()->x(), 3 * unit + 16, 1);
    EXPECT_NEAR(PopoutMetricTile::valueSize(view->speedTile()->width(), view->speedTile()->height()),
                PopoutMetricTile::valueSize(2 * unit, 132), 0.6);
    view->resize(1640, 840);
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->lapTable()->height() == 246; }));
    EXPECT_EQ(view->lapTile()->height(), 279);
    const PopoutLayout tiny = PopoutLayout::forSize(100, 10);
    EXPECT_EQ((std::vector<double>{tiny.avail, tiny.tableHeight, tiny.rowHeight,
                                   PopoutMetricTile::titleSize(10, 10), PopoutMetricTile::valueSize(10, 10)}),
              (std::vector<double>{0, 108, 126, 12, 44}));
}

// Every figure at either end of its broadcast range: no text anywhere reads as
// an infinite or undefined number.
QStringList modelTexts(const QAbstractItemModel& model) {
    QStringList texts;
    for (int r = 0; r < model.rowCount(); ++r) {
        for (int c = 0; c < model.columnCount(); ++c) {
            texts << model.data(model.index(r, c)).toString();
        }
    }
    return texts;
}

using ExtremeFiguresTest = UiTest;

TEST_F(ExtremeFiguresTest, NoTextShowsAnImpossibleNumber) {
    for (const int calLaps : {0, 5}) {
        windows.clear();
        makeService();
        service->setCalLapCount(calLaps);
        service->startLogging(false);
        LapDataPopoutView& popout = open<LapDataPopoutView>(QSize(), *service);
        QStringList texts;
        // Seven figures, each 0 or the largest value its page can carry.
        for (int mask = 0; mask < 128; ++mask) {
            const auto pick = [mask](int bit, double max) { return (mask >> bit & 1) ? max : 0.0; };
            completeLap({.lap = 1 + mask % 63,
                         .cdA = pick(0, 6.5535),
                         .cal = pick(1, 6.5535),
                         .lapTime = pick(2, 16777.215),
                         .dist = pick(3, 6553.5),
                         .head = pick(4, 6553.5),
                         .chest = pick(5, 6553.5),
                         .riderPwr = pick(6, 6553.5)});
            texts << service->lastCompletedLap();
            for (const LapColumn column : LapColumns::all) {
                texts << LapColumns::text(service->sessionSummary(), column);
            }
            popout.refreshNow();
            texts << popout.speedTile()->value() << popout.cdATile()->value();
        }
        LapTableModel table(true);
        table.setLaps(service->allLapData());
        texts << modelTexts(table) << modelTexts(*popout.lapTable()->lapModel());
        service->stopLogging();
        QFile csv(QDir(defaultFolder())
                      .filePath(QStringLiteral("Run_%1.csv").arg(calLaps ? 2 : 1, 3, 10, QChar('0'))));
        ASSERT_TRUE(csv.open(QIODevice::ReadOnly)) << csv.fileName().toStdString();
        texts << QString::fromUtf8(csv.readAll());
        EXPECT_EQ(texts.filter(QRegularExpression("(?i)inf|nan")), QStringList{}) << calLaps;
        EXPECT_TRUE(texts.contains("–")); // the speed of a lap without time
    }
}

} // namespace
} // namespace draftwell::test
