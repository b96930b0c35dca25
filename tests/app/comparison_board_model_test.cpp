#include "app/comparison_board_model.h"

#include <QDir>

#include <gtest/gtest.h>

#include "app/comparison_board_report.h"
#include "tests/app/run_files.h"
#include "tests/support/service_fixture.h"

namespace draftwell::test {
namespace {

class ComparisonBoardModelTest : public ServiceFixture {};

// The run being logged joins the board as laps arrive and flags change, and
// its file takes its place once it stops.
TEST_F(ComparisonBoardModelTest, LiveRunJoinsTheBoardAndItsFileReplacesIt) {
    const QString folder = root.filePath("runs");
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(writeFile(QDir(folder).filePath("Run_001.csv"),
                          "05/12/26 14:03:27\nDescription: A\n"
                          "Flag,Lap,CdACal,Cal,CdARaw,Time,Dist,Speed,Power,Head,Chest\n"
                          "X,1,0.300000,1.000000,0.300000,60.000,500.000,30.000,250.00,90.0,100.0\n"
                          "X,2,0.302000,1.000000,0.302000,60.000,500.000,30.000,250.00,90.0,100.0\n"));
    makeService().setLogFolderPath(folder);
    service->setAutoCal(false);
    ComparisonBoardModel model(service.get());
    int changes = 0;
    QObject::connect(&model, &ComparisonBoardModel::boardChanged, [&] { ++changes; });
    ASSERT_EQ(model.board().runs.size(), 1u);

    service->setLogDescription(QStringLiteral(" B "));
    service->startLogging(false);
    for (int lap = 1; lap <= 3; ++lap) {
        completeLap({.lap = lap, .cdA = 0.29 + 0.001 * lap});
    }
    ASSERT_EQ(model.board().runs.size(), 2u);
    const analysis::RunRow& live = model.board().runs[1];
    EXPECT_TRUE(live.live);
    EXPECT_EQ(live.configuration, "B");
    EXPECT_EQ(live.stats.n, 3u);
    EXPECT_NEAR(live.stats.mean, 0.292, 1e-9);
    EXPECT_TRUE(live.midSeconds.has_value());
    ASSERT_TRUE(model.board().configuration("B")->onLaps);
    EXPECT_EQ(model.board().configuration("B")->onLaps->difference.verdict, analysis::Verdict::lower);

    service->allLapData().front()->use = false;
    service->updateSessionData();
    EXPECT_EQ(model.board().runs[1].stats.n, 2u);
    model.setExcluded(QStringLiteral("Run_001.csv"), true);
    EXPECT_EQ(model.board().configurations.size(), 1u);
    model.setExcluded(QStringLiteral("Run_001.csv"), false);

    service->stopLogging();
    ASSERT_EQ(model.board().runs.size(), 2u);
    EXPECT_FALSE(model.board().runs[1].live);
    EXPECT_EQ(model.board().runs[1].name, "Run_002.csv");
    EXPECT_EQ(model.board().runs[1].stats.n, 2u);
    EXPECT_GT(changes, 5);

    const QStringList lines = comparison_report::boardLines(model.board(), model.skipped());
    EXPECT_EQ(lines.front(), "Baseline: \"A\"");
    EXPECT_TRUE(lines.join(u'\n').contains(QStringLiteral("more laps of B, ")));
    const QString csv = comparison_report::boardCsv(model.board(), QStringLiteral(","));
    EXPECT_EQ(csv.count(u'\n'), 1 + 2 + 2);
}

} // namespace
} // namespace draftwell::test
