#include "app/comparison_board_model.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <cmath>

#include "app/comparison_board_report.h"
#include "tests/support/run_files.h"
#include "tests/support/service_fixture.h"

namespace draftwell::test {
namespace {

using namespace analysis;

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
    const RunRow& live = model.board().runs[1];
    EXPECT_TRUE(live.live);
    EXPECT_EQ(live.configuration, "B");
    EXPECT_EQ(live.stats.n, 3u);
    EXPECT_NEAR(live.stats.mean, 0.292, 1e-9);
    EXPECT_TRUE(live.midSeconds.has_value());
    ASSERT_TRUE(model.board().configuration("B")->onLaps);
    EXPECT_EQ(model.board().configuration("B")->onLaps->difference.verdict, Verdict::lower);

    service->allLapData().front()->use = false;
    service->updateSessionData();
    EXPECT_EQ(model.board().runs[1].stats.n, 2u);
    model.setExcluded(QStringLiteral("Run_001.csv"), true);
    EXPECT_EQ(model.board().configurations.size(), 1u);
    model.setExcluded(QStringLiteral("Run_001.csv"), false);
    model.setBaseline(QStringLiteral("B"));
    EXPECT_EQ(model.board().baseline, std::optional<std::string>("B"));
    model.setBaseline(QString());
    EXPECT_EQ(model.board().baseline, std::optional<std::string>("A"));

    service->stopLogging();
    ASSERT_EQ(model.board().runs.size(), 2u);
    EXPECT_FALSE(model.board().runs[1].live);
    EXPECT_EQ(model.board().runs[1].name, "Run_002.csv");
    EXPECT_EQ(model.board().runs[1].stats.n, 2u);
    EXPECT_GT(changes, 5);

    // The report's text is checked on a board made by hand below, and in the comparison window.
    // Without a service the board reads the folder it is given.
    ComparisonBoardModel plain;
    plain.setFolder(folder);
    EXPECT_EQ(plain.board().runs.size(), 2u);
}

// A board made by hand, so the report's expected text follows from its
// figures alone.
SampleStatistics stats(std::size_t n, double mean, std::optional<double> sd = {}, double se = 0,
                       Interval ci = {}) {
    return {n, mean, sd, sd ? std::optional(se) : std::nullopt, sd ? std::optional(ci) : std::nullopt};
}

ComparisonBoard handMadeBoard() {
    using B = Comparison::Basis;
    const SampleStatistics a = stats(5, 0.2, 0.0008, 0.0004, {0.1989, 0.2011});
    ComparisonBoard b{{}, {}, "A", 0.002, 50, 1.2, true};
    // clang-format off
    b.runs = {{"Run_001.csv", "A", false, false, a, 1000.5, {}, {}},
              {"Run_002.csv", "B", true, false, stats(1, 0.197), {},
               Comparison{B::driftAdjusted, {-0.00615, -2.46, 0.0004, 11.4, {-0.00702, -0.00528}, Verdict::lower}, -9.89},
               BaselineDrift{"Run_001.csv", "Run_003.csv", 0.4,
                             {0.002875, 1.4, 0.0005, 7, {0.001534, 0.004216}, Verdict::higher}, true}},
              {"Run_003.csv", "A", false, true, stats(0, 0), {}, {},
               BaselineDrift{"Run_001.csv", "Run_004.csv", std::nan(""),
                             {-0.0001, 0, 0.0003, 7, {-0.0011, 0.0009}, Verdict::notResolved}, false}}};
    b.configurations = {
        {"A", true, 2, a, stats(2, 0.2), {}, {}, {}},
        {"B", false, 1, stats(1, 0.197), stats(1, 0.197),
         Comparison{B::laps, {-0.003, -1.5, 0.0005, 8, {-0.004153, -0.001847}, Verdict::lower}, -4.82},
         Comparison{B::runMeans, {-0.002, -1, 0.001, 2, {-0.0063, 0.0023}, Verdict::notResolved}, -3.21},
         LapsStillNeeded{17, 13, 7}},
        {"C", false, 1, stats(0, 0), stats(0, 0), {}, {}, {}}};
    // clang-format on
    return b;
}

const std::vector<SkippedRunFile> kSkipped{{"Run_009.csv", "empty"}};

TEST(ComparisonReportTest, BoardLines) {
    EXPECT_EQ(
        comparison_report::boardLines(handMadeBoard(), kSkipped),
        (QStringList{
            "Baseline: \"A\"", "At 50.0 km/h and 1.20 kg/m³; target difference 0.002000 m²",
            "WARNING: the baseline drifted between its runs; see the runs below.", "Runs:",
            "  Run_001.csv \"A\": n 5, mean 0.200000 m², SD 0.000800, SE 0.000400, 95 % CI [0.198900, "
            "0.201100]",
            "  Run_002.csv (excluded) \"B\": n 1, mean 0.197000 m²",
            "    vs interpolated baseline on drift-adjusted: Δ -0.006150 m² (-2.46 %), -9.89 W, SE "
            "0.000400, df 11.4, 95 % CI [-0.007020, -0.005280], lower",
            "    baseline drift Run_001.csv → Run_003.csv: 0.002875 m², 95 % CI [0.001534, 0.004216] "
            "(WARNING: the baseline moved)",
            "  Run_003.csv (live) \"A\": n 0",
            "    baseline drift Run_001.csv → Run_004.csv: -0.000100 m², 95 % CI [-0.001100, 0.000900]",
            "Configurations:",
            "  \"A\" (baseline), 2 run(s): n 5, mean 0.200000 m², SD 0.000800, SE 0.000400, 95 % CI "
            "[0.198900, 0.201100]",
            "  \"B\", 1 run(s): n 1, mean 0.197000 m²",
            "    vs baseline on laps: Δ -0.003000 m² (-1.50 %), -4.82 W, SE 0.000500, df 8.0, 95 % CI "
            "[-0.004153, -0.001847], lower",
            "    vs baseline on run means: Δ -0.002000 m² (-1.00 %), -3.21 W, SE 0.001000, df 2.0, 95 % "
            "CI [-0.006300, 0.002300], not resolved",
            "    Laps still needed: 13 more laps of B, 7 more of the baseline", "  \"C\", 1 run(s): n 0",
            "    vs baseline: not enough laps on both sides", "Skipped Run_009.csv: empty"}));
    EXPECT_EQ(comparison_report::boardLines({}, {}),
              (QStringList{"Baseline: none (no runs)", "At 0.0 km/h and 0.00 kg/m³; target difference none",
                           "Runs:", "Configurations:"}));
}

TEST(ComparisonReportTest, BoardCsv) {
    const QString header = "Row,Name,Configuration,n,Mean,SD,SE,CI low,CI high,Basis,Delta,Percent,Watts,df,"
                           "Delta CI low,Delta CI high,Verdict,More laps,More baseline laps\n";
    EXPECT_EQ(comparison_report::boardCsv(handMadeBoard(), ","),
              header +
                  "run,Run_001.csv,A,5,0.200000,0.000800,0.000400,0.198900,0.201100,,,,,,,,,,\n"
                  "run (excluded),Run_002.csv,B,1,0.197000,,,,,drift-adjusted,-0.006150,-2.46,-9.89,11.4,"
                  "-0.007020,-0.005280,lower,,\n"
                  "run,Run_003.csv,A,0,,,,,,,,,,,,,,,\n"
                  "baseline,A,A,5,0.200000,0.000800,0.000400,0.198900,0.201100,,,,,,,,,,\n"
                  "configuration,B,B,1,0.197000,,,,,laps,-0.003000,-1.50,-4.82,8.0,-0.004153,-0.001847,"
                  "lower,13,7\n"
                  "configuration run means,B,B,1,0.197000,,,,,run means,-0.002000,-1.00,-3.21,2.0,"
                  "-0.006300,0.002300,not resolved,,\n"
                  "configuration,C,C,0,,,,,,,,,,,,,,,\n"
                  "baseline drift,Run_001.csv → Run_003.csv,A,,0.002875,,0.000500,0.001534,0.004216,,,,,,,,,"
                  "warning,\n"
                  "baseline drift,Run_001.csv → Run_004.csv,A,,-0.000100,,0.000300,-0.001100,0.000900,,,,,,,"
                  ",,,\n");
    // Decimal commas with "," between fields are quoted, so rows keep their columns.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QStringList rows = comparison_report::boardCsv(handMadeBoard(), ",").split(u'\n');
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(
        rows[1],
        "run,Run_001.csv,A,5,\"0,200000\",\"0,000800\",\"0,000400\",\"0,198900\",\"0,201100\",,,,,,,,,,");
    EXPECT_EQ(comparison_report::boardCsv({}, ";"), QString(header).replace(u',', u';'));
}

TEST(ComparisonReportTest, BoardJson) {
    // Whitespace is left out in the comparison; %1 to %3 are the statistics of n 1, n 0 and n 5.
    const QString json = QStringLiteral(R"({"airDensity":1.2, "baseline":"A", "configurations":[
        {"baseline":true, "configuration":"A", "laps":%3, "lapsNeeded":null, "onLaps":null, "onRunMeans":null,
         "runMeans":{"ci":null, "mean":0.2, "n":2, "sd":null, "se":null}, "runs":2},
        {"baseline":false, "configuration":"B", "laps":%1,
         "lapsNeeded":{"moreOfBaseline":7, "moreOfTest":13, "perConfiguration":17},
         "onLaps":{"basis":"laps", "ci":[-0.004153,-0.001847], "delta":-0.003, "df":8, "percent":-1.5,
                   "se":0.0005, "verdict":"lower", "watts":-4.82},
         "onRunMeans":{"basis":"run means", "ci":[-0.0063,0.0023], "delta":-0.002, "df":2, "percent":-1,
                       "se":0.001, "verdict":"not resolved", "watts":-3.21}, "runMeans":%1, "runs":1},
        {"baseline":false, "configuration":"C", "laps":%2, "lapsNeeded":null, "onLaps":null, "onRunMeans":null,
         "runMeans":%2, "runs":1}],
      "driftWarning":true, "folder":"/runs", "runs":[
        {"adjusted":null, "configuration":"A", "drift":null, "excluded":false, "laps":%3, "live":false,
         "midTime":1000.5, "name":"Run_001.csv"},
        {"adjusted":{"basis":"drift-adjusted", "ci":[-0.00702,-0.00528], "delta":-0.00615, "df":11.4,
                     "percent":-2.46, "se":0.0004, "verdict":"lower", "watts":-9.89}, "configuration":"B",
         "drift":{"after":"Run_003.csv", "before":"Run_001.csv", "ci":[0.001534,0.004216], "delta":0.002875,
                  "df":7, "se":0.0005, "warning":true, "weight":0.4},
         "excluded":true, "laps":%1, "live":false, "midTime":null, "name":"Run_002.csv"},
        {"adjusted":null, "configuration":"A", "drift":{"after":"Run_004.csv", "before":"Run_001.csv",
         "ci":[-0.0011,0.0009], "delta":-0.0001, "df":7, "se":0.0003, "warning":false, "weight":null},
         "excluded":false, "laps":%2, "live":true, "midTime":null, "name":"Run_003.csv"}],
      "skipped":[{"file":"Run_009.csv", "reason":"empty"}], "speedKmh":50, "targetCdA":0.002})")
                             .arg(R"({"ci":null,"mean":0.197,"n":1,"sd":null,"se":null})",
                                  R"({"ci":null,"mean":null,"n":0,"sd":null,"se":null})",
                                  R"({"ci":[0.1989,0.2011],"mean":0.2,"n":5,"sd":0.0008,"se":0.0004})");
    const auto compact = [](const QByteArray& indented) {
        return QString::fromUtf8(QJsonDocument::fromJson(indented).toJson(QJsonDocument::Compact));
    };
    ASSERT_TRUE(QJsonDocument::fromJson(json.toUtf8()).isObject());
    EXPECT_EQ(compact(comparison_report::boardJson(handMadeBoard(), kSkipped, "/runs")),
              compact(json.toUtf8()));
    EXPECT_EQ(compact(comparison_report::boardJson({}, {}, "")),
              R"({"airDensity":0,"baseline":null,"configurations":[],"driftWarning":false,"folder":"",)"
              R"("runs":[],"skipped":[],"speedKmh":0,"targetCdA":null})");
}

} // namespace
} // namespace draftwell::test
