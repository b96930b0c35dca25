#include <gtest/gtest.h>

#include <cmath>

#include "tests/support/run_files.h"
#include "tests/support/service_fixture.h"
#include "tests/support/signal_recorder.h"

namespace draftwell::test {
namespace {

class ServiceLapsTest : public ServiceFixture {
  protected:
    LapData& oldest(std::size_t k) const {
        const auto& all = service->allLapData();
        return *all[all.size() - 1 - k];
    }
    // The run file's rows, oldest lap first, split into their fields.
    QList<QStringList> runRows() const {
        const QStringList lines = QString::fromUtf8(readFile(defaultFolder() + "/Run_001.csv")).split('\n');
        QList<QStringList> rows;
        for (qsizetype i = 3; i < lines.size(); ++i) {
            if (!lines[i].isEmpty()) {
                rows << lines[i].split(',');
            }
        }
        return rows;
    }
};

TEST_F(ServiceLapsTest, PagesUpdateTheLapProgressAndTheThirdPublishesTheLap) {
    auto& s = makeService();
    LapFigures f{.lap = 3, .cdA = 0.3, .cal = 1.2};
    SignalRecorder recorder(s);
    // A device number is not needed.
    const auto send = [&](const QByteArray& page) { bridge->packetHandler(page, std::nullopt); };
    const auto shown = [&] { return QStringList{s.currentLapNumber(), s.packetProgress(), s.lapStatus()}; };
    send(page0(f));
    EXPECT_EQ(shown(), (QStringList{"3", "1/3", "Invalid"}));
    EXPECT_FALSE(s.lapComplete());
    EXPECT_EQ(recorder.emitted(),
              (QStringList{"currentLapNumberChanged", "packetProgressChanged", "lapStatusChanged",
                           "lapCompleteChanged", "completedLapCountChanged", "ridersChanged",
                           "followedRiderChanged"}));
    send(page1(f));
    EXPECT_EQ(shown(), (QStringList{"3", "2/3", "Valid"}));
    EXPECT_TRUE(s.allLapData().empty());

    SignalRecorder third(s);
    send(page2(f));
    EXPECT_TRUE(s.lapComplete());
    EXPECT_EQ(s.completedLapCount(), 1);
    ASSERT_EQ(s.allLapData().size(), 1u);
    EXPECT_EQ(s.allLapData()[0], s.lapAssembly().completedLaps()[0]); // the same object
    EXPECT_TRUE(s.lastCompletedLap().startsWith("Lap 3 complete CdA 0.3000 Cal 1.2000"));
    EXPECT_NEAR(s.allLapData()[0]->cdACal, 0.25, 1e-12);
    EXPECT_EQ(third.count("allLapDataChanged"), 2); // published, then redrawn after calibration
    EXPECT_EQ(third.count("sessionDataChanged"), 1);
    EXPECT_TRUE(s.logs().isEmpty()); // the lap message is not a log line

    // Payloads that decode to nothing change nothing.
    SignalRecorder none(s);
    for (const QByteArray& payload :
         {QByteArray(7, '\0'), QByteArray(), QByteArray::fromHex("C1FFFFFFFFFFFFFF")}) {
        send(payload);
    }
    EXPECT_EQ(none.emitted(), QStringList{});
    EXPECT_EQ(shown(), (QStringList{"3", "3/3", "Valid"}));
}

// Laps arrive ticked; the views then set their flags. The summary and every
// lap's CdACal, on screen and in the run file, follow the settings.
TEST_F(ServiceLapsTest, CalibrationOfTheSummaryAndEveryLap) {
    struct Lap {
        bool use;
        double cdA, cal;
    };
    const double x = 0.3 / 1.1;
    const struct {
        const char* name;
        qint64 calLaps;
        bool autoCal, autoCalOffAfter;
        std::vector<Lap> laps; // oldest first
        qint64 n;
        double cdA, cal, cdACal;
        std::vector<double> lapCdACal;
    } cases[] = {
        // clang-format off
        {"the oldest ticked laps calibrate", 2, true, false,
         {{true, 0.300, 1.02}, {true, 0.310, 0.98}, {false, 0.290, 1.10}, {true, 0.305, 1.05}},
         3, 0.305, 1.00, 0.305, {0.300, 0.310, 0.290, 0.305}},
        {"auto calibration off", 5, false, false, {{true, 0.300, 1.5}, {true, 0.310, 0.5}},
         2, 0.305, 1.0, 0.305, {0.300, 0.310}},
        {"more laps asked for than ticked", 10, true, false, {{true, 0.3, 1.0}, {true, 0.3, 1.1}, {true, 0.3, 1.2}},
         3, 0.3, 1.1, x, {x, x, x}},
        {"an unticked oldest lap moves the window", 1, true, false,
         {{false, 0.3, 1.0}, {true, 0.3, 1.2}, {true, 0.3, 1.4}}, 2, 0.3, 1.2, 0.25, {0.25, 0.25, 0.25}},
        {"no calibration laps: zero, not infinity", 0, true, false, {{true, 0.3, 1.2}, {true, 0.36, 1.0}},
         2, 0.33, 0, 0, {0, 0}},
        {"a broadcast factor of 0", 5, true, false, {{true, 0.3, 0.0}}, 1, 0.3, 0, 0, {0}},
        {"no lap ticked keeps the lap values", 5, true, false, {{false, 0.3, 1.2}, {false, 0.36, 1.2}},
         0, 0, 0, 0, {0.25, 0.3}},
        {"auto calibration off with no lap ticked", 5, true, true, {{false, 0.3, 1.2}, {false, 0.31, 1.2}},
         0, 0, 0, 0, {0.3, 0.31}},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(defaultFolder()).removeRecursively();
        makeService().setCalLapCount(c.calLaps);
        service->setAutoCal(c.autoCal);
        service->startLogging(false);
        int number = 0;
        for (const Lap& l : c.laps) {
            completeLap({.lap = ++number, .cdA = l.cdA, .cal = l.cal});
        }
        for (std::size_t k = 0; k < c.laps.size(); ++k) {
            oldest(k).use = c.laps[k].use;
        }
        SignalRecorder recorder(*service);
        service->updateSessionData();
        EXPECT_EQ(recorder.count("sessionDataChanged"), 1);
        EXPECT_EQ(recorder.count("allLapDataChanged"), 1);
        if (c.autoCalOffAfter) {
            service->setAutoCal(false);
        }
        service->stopLogging();
        const LapData& r = service->sessionSummary();
        EXPECT_EQ(r.lap, c.n);
        EXPECT_NEAR(r.cdA, c.cdA, 1e-9);
        EXPECT_NEAR(r.cal, c.cal, 1e-9);
        EXPECT_NEAR(r.cdACal, c.cdACal, 1e-9);
        EXPECT_TRUE(std::isfinite(r.cdACal));
        EXPECT_FALSE(r.use);
        EXPECT_TRUE(r.pageState.isEmpty());
        const QList<QStringList> rows = runRows();
        ASSERT_EQ(rows.size(), static_cast<qsizetype>(c.laps.size()));
        for (std::size_t k = 0; k < c.laps.size(); ++k) {
            EXPECT_NEAR(oldest(k).cdACal, c.lapCdACal[k], 1e-9) << k;
            EXPECT_EQ(rows[k][2], QString::number(c.lapCdACal[k], 'f', 6)) << k;
        }
    }
}

TEST_F(ServiceLapsTest, AveragesOfTheOtherFiguresAndALapWithoutTime) {
    auto& s = makeService();
    EXPECT_EQ(s.sessionData().size(), 1u);
    EXPECT_EQ(s.sessionSummary().lap, 0);
    EXPECT_EQ(s.sessionSummary().speed, 0);
    s.startLogging(false);
    completeLap({.lap = 1, .lapTime = 60, .dist = 500, .head = 80, .chest = 100, .riderPwr = 200});
    completeLap({.lap = 2, .lapTime = 40, .dist = 400, .head = 90, .chest = 120, .riderPwr = 300});
    completeLap({.lap = 3, .lapTime = 0, .dist = 300, .head = 100, .chest = 110, .riderPwr = 250});
    EXPECT_EQ(s.lastCompletedLap(), "Lap 3 complete CdA 0.3000 Cal 1.0000 Time 0.000s Dist 300.0 Speed – "
                                    "RiderPwr 250.0 Head 100.0 Chest 110.0");
    EXPECT_FALSE(oldest(2).speed.has_value());
    const LapData& r = s.sessionSummary();
    // Speed: the mean of the timed laps' speeds (30 and 36 km/h), not total distance over total time.
    const std::vector<double> averages{r.lapTime, r.dist, r.head, r.chest, r.riderPwr, r.speed.value_or(0)};
    const std::vector<double> expected{100.0 / 3, 400, 90, 110, 250, 33};
    for (std::size_t i = 0; i < averages.size(); ++i) {
        EXPECT_NEAR(averages[i], expected[i], 1e-9) << i;
    }
    s.stopLogging();
    const QList<QStringList> rows = runRows();
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ((QStringList{rows[0][7], rows[1][7], rows[2][7]}), (QStringList{"30.000", "36.000", ""}));
}

// Lap quality: doubtful laps and drift warnings.
class LapQualityServiceTest : public ServiceFixture {
  protected:
    // Laps 1..n with these calibration factors and CdA, all at one pace.
    void addLaps(std::initializer_list<std::pair<double, double>> calAndCdA) {
        for (const auto& [cal, cdA] : calAndCdA) {
            completeLap({.lap = ++lapNumber, .cdA = cdA, .cal = cal});
        }
    }
    LapQualityMonitor& quality() { return service->lapQuality(); }
    qsizetype linesContaining(const QString& text) const {
        return service->messageLogs().filter(text).size();
    }
    int lapNumber = 0;
};

TEST_F(LapQualityServiceTest, CalibrationDriftWarnsAboveTheLimitAndGoesAgain) {
    makeService();
    addLaps(
        {{1.00, 0.30}, {1.01, 0.30}, {0.99, 0.30}, {1.00, 0.30}, {1.00, 0.30}, {1.06, 0.30}, {1.05, 0.30}});
    addLaps({{1.07, 0.30}}); // the warning's text and when it comes: the lap windows' test
    EXPECT_EQ(linesContaining("Calibration drift: cal +6.00 %"), 1);
    // Nothing is recomputed silently: the laps keep their calibration.
    EXPECT_DOUBLE_EQ(service->sessionSummary().cal, 1.0);

    // A higher limit is stored, and the warning goes with a log line.
    quality().setLimits({.calDriftPercent = 7.0});
    EXPECT_TRUE(quality().calibrationWarning().isEmpty());
    EXPECT_EQ(linesContaining("Calibration drift no longer above 7.0 %."), 1);
    EXPECT_EQ(stored(".calDriftLimitPercent").toDouble(), 7.0);
    service.reset();
    makeService();
    EXPECT_EQ(service->lapQuality().limits().calDriftPercent, 7.0);
}

TEST_F(LapQualityServiceTest, ADriftingCdAWarnsWithItsFigure) {
    makeService();
    for (const double cdA : {0.300, 0.302, 0.301, 0.305, 0.306, 0.308, 0.309, 0.312}) {
        addLaps({{1.0, cdA}});
    }
    EXPECT_EQ(quality().trendWarning(), "CdA drifting: +3.85 % over 8 laps");
    EXPECT_EQ(quality().warnings(), QStringList{quality().trendWarning()});
    EXPECT_EQ(linesContaining("CdA drifting: +"), 1);
    service->resetLaps();
    EXPECT_TRUE(quality().warnings().isEmpty());
    EXPECT_EQ(linesContaining("CdA no longer drifting."), 1);
}

TEST_F(LapQualityServiceTest, AStoredLimitThatIsNoNumberFallsBack) {
    store(".outlierZLimit", "strict");
    makeService();
    EXPECT_EQ(quality().limits().outlierZ, 3.5);
    EXPECT_EQ(linesContaining("Setting com.draftwell.LapLogger.outlierZLimit is not a positive number"), 1);
}

} // namespace
} // namespace draftwell::test
