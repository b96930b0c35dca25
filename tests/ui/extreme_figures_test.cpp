// Every figure at either end of its broadcast range: no text anywhere reads as
// an infinite or undefined number.
#include "app/ant_scanner_service.h"
#include "app/lap_csv_logger.h"
#include "tests/ui/ui_test_support.h"
#include "ui/lap_columns.h"
#include "ui/lap_data_popout_view.h"
#include "ui/lap_table_model.h"
#include "ui/popout_lap_table.h"
#include "ui/popout_metric_tile.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace draftwell::test {
namespace {

QStringList modelTexts(const QAbstractItemModel& model) {
    QStringList texts;
    for (int r = 0; r < model.rowCount(); ++r) {
        for (int c = 0; c < model.columnCount(); ++c) {
            texts << model.data(model.index(r, c)).toString();
        }
    }
    return texts;
}

TEST(ExtremeFigures, NoTextShowsAnImpossibleNumber) {
    for (const int calLaps : {0, 5}) {
        ServiceFixture fixture;
        ANTScannerService& service = fixture.service();
        service.setCalLapCount(calLaps);
        service.startLogging(false);
        LapDataPopoutView popout(service);
        LapTableModel table(true);
        QStringList texts;
        // Seven figures, each 0 or the largest value its page can carry.
        for (int mask = 0; mask < 128; ++mask) {
            const auto pick = [mask](int bit, double max) { return (mask >> bit & 1) ? max : 0.0; };
            fixture.completeLap({.lap = 1 + mask % 63,
                                 .cdA = pick(0, 6.5535),
                                 .cal = pick(1, 6.5535),
                                 .lapTime = pick(2, 16777.215),
                                 .dist = pick(3, 6553.5),
                                 .head = pick(4, 6553.5),
                                 .chest = pick(5, 6553.5),
                                 .riderPwr = pick(6, 6553.5)});
            texts << service.lastCompletedLap();
            for (const LapColumn column : LapColumns::all) {
                texts << LapColumns::text(service.sessionSummary(), column);
            }
            popout.refreshNow();
            texts << popout.speedTile()->value() << popout.cdATile()->value();
        }
        table.setLaps(service.allLapData());
        texts << modelTexts(table) << modelTexts(*popout.lapTable()->lapModel());
        service.stopLogging();
        QFile csv(QDir(fixture.logFolder()).filePath(QStringLiteral("Run_001.csv")));
        ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
        texts << QString::fromUtf8(csv.readAll());
        EXPECT_EQ(texts.filter(QRegularExpression(QStringLiteral("(?i)inf|nan"))), QStringList{}) << calLaps;
        EXPECT_TRUE(texts.contains(QStringLiteral("–"))); // the speed of a lap without time
    }
}

} // namespace
} // namespace draftwell::test
