#include "tests/ui/ui_test.h"

#include <QLabel>
#include <QTableWidget>

namespace draftwell::test {
namespace {

void writeRun(const QDir& folder, int number, const char* start, const char* description,
              std::initializer_list<double> laps) {
    QFile file(folder.filePath(QString::asprintf("Run_%03d.csv", number)));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(start) + "\nDescription: " + description +
               "\nFlag,Lap,CdACal,Cal,CdARaw,Time,Dist,Speed,Power,Head,Chest\n");
    int lap = 0;
    for (const double cdA : laps) {
        file.write(QStringLiteral("X,%1,%2,1.000000,%2,60.000,500.000,30.000,250.00,90.0,100.0\n")
                       .arg(++lap)
                       .arg(cdA, 0, 'f', 6)
                       .toUtf8());
    }
}

using ComparisonWindowTest = UiTest;

// Baseline, change, baseline again, the baseline having moved by more than
// the change resolves.
TEST_F(ComparisonWindowTest, BoardOfAnABARideWithADriftedBaseline) {
    const QDir folder(root.filePath("runs"));
    ASSERT_TRUE(folder.mkpath("."));
    service->setLogFolderPath(folder.path());
    writeRun(folder, 1, "08/12/26 09:00:00", "A", {0.2500, 0.2510, 0.2490, 0.2505});
    writeRun(folder, 2, "08/12/26 09:20:00", "B", {0.2460, 0.2470, 0.2450, 0.2465});
    writeRun(folder, 3, "08/12/26 09:40:00", "A", {0.2540, 0.2550, 0.2530, 0.2545});
    ComparisonWindow& window = open<ComparisonWindow>(QSize(), *service);

    EXPECT_EQ(window.windowTitle(), "Compare Configurations");
    EXPECT_EQ(window.table()->rowCount(), 2 + 3);
    EXPECT_FALSE(window.driftWarning()->isHidden());
    EXPECT_TRUE(window.driftWarning()->text().startsWith(
        "Around Run_002.csv: baseline drift Run_001.csv → Run_003.csv: "));
    EXPECT_TRUE(window.driftWarning()->text().endsWith("(WARNING: the baseline moved)"));
    EXPECT_TRUE(window.lapsNeeded()->text().contains(" more laps of B, "));

    // Unticking the later baseline run leaves no drift to show.
    QTableWidgetItem* include = window.table()->item(2 + 2, 0);
    ASSERT_NE(include, nullptr);
    include->setCheckState(Qt::Unchecked);
    EXPECT_TRUE(window.model().isExcluded("Run_003.csv"));
    EXPECT_TRUE(window.driftWarning()->isHidden());

    ASSERT_TRUE(window.exportCsv(folder.filePath("board.csv")));
    ASSERT_TRUE(window.saveChartPng(folder.filePath("chart.png")));
    QFile exported(folder.filePath("board.csv"));
    ASSERT_TRUE(exported.open(QIODevice::ReadOnly));
    EXPECT_TRUE(exported.readLine().startsWith("Row,Name,Configuration,n,Mean"));
    EXPECT_FALSE(QImage(folder.filePath("chart.png")).isNull());
}

} // namespace
} // namespace draftwell::test
