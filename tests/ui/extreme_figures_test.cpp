// Every figure at either end of its broadcast range: no text anywhere reads as
// an infinite or undefined number.
#include "tests/ui/ui_test.h"
#include "ui/lap_columns.h"

#include <QRegularExpression>

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
