#include "ui/comparison_window.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMenuBar>
#include <QTableWidget>

#include <gtest/gtest.h>

#include "app/ant_scanner_service.h"
#include "tests/ui/ui_test_support.h"
#include "ui/main_window.h"
#include "ui/window_opener.h"

namespace draftwell::test {
namespace {

void writeRun(const QString& folder, int number, const char* start, const char* description,
              std::initializer_list<double> laps) {
    QFile file(QDir(folder).filePath(QString::asprintf("Run_%03d.csv", number)));
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

// Baseline, change, baseline again, the baseline having moved by more than
// the change resolves.
TEST(ComparisonWindowTest, BoardOfAnABARideWithADriftedBaseline) {
    ServiceFixture fixture;
    const QString folder = fixture.logFolder();
    writeRun(folder, 1, "08/12/26 09:00:00", "A", {0.2500, 0.2510, 0.2490, 0.2505});
    writeRun(folder, 2, "08/12/26 09:20:00", "B", {0.2460, 0.2470, 0.2450, 0.2465});
    writeRun(folder, 3, "08/12/26 09:40:00", "A", {0.2540, 0.2550, 0.2530, 0.2545});
    ComparisonWindow window(fixture.service());
    window.show();

    EXPECT_EQ(window.windowTitle(), "Compare Configurations");
    EXPECT_EQ(window.table()->rowCount(), 2 + 3);
    EXPECT_FALSE(window.driftWarning()->isHidden());
    EXPECT_TRUE(window.driftWarning()->text().startsWith(
        QStringLiteral("Around Run_002.csv: baseline drift Run_001.csv → Run_003.csv: ")));
    EXPECT_TRUE(window.driftWarning()->text().endsWith(QStringLiteral("(WARNING: the baseline moved)")));
    EXPECT_TRUE(window.lapsNeeded()->text().contains(QStringLiteral(" more laps of B, ")));

    // Unticking the later baseline run leaves no drift to show.
    QTableWidgetItem* include = window.table()->item(2 + 2, 0);
    ASSERT_NE(include, nullptr);
    include->setCheckState(Qt::Unchecked);
    EXPECT_TRUE(window.model().isExcluded(QStringLiteral("Run_003.csv")));
    EXPECT_TRUE(window.driftWarning()->isHidden());

    const QString csv = QDir(folder).filePath(QStringLiteral("board.csv"));
    const QString png = QDir(folder).filePath(QStringLiteral("chart.png"));
    ASSERT_TRUE(window.exportCsv(csv));
    ASSERT_TRUE(window.saveChartPng(png));
    QFile exported(csv);
    ASSERT_TRUE(exported.open(QIODevice::ReadOnly));
    EXPECT_TRUE(exported.readLine().startsWith("Row,Name,Configuration,n,Mean"));
    EXPECT_FALSE(QImage(png).isNull());
}

TEST(ComparisonWindowTest, FileMenuOpensIt) {
    ServiceFixture fixture;
    QString opened;
    MainWindow main(fixture.service(), [&](const QString& id) { opened = id; });
    for (QAction* action : main.menuBar()->actions().front()->menu()->actions()) {
        if (action->text() == QStringLiteral("Compare Configurations...")) {
            action->trigger();
        }
    }
    EXPECT_EQ(opened, QString::fromLatin1(kComparisonWindowID));
}

} // namespace
} // namespace draftwell::test
