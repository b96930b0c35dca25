#include <gtest/gtest.h>

#include <cmath>

#include "tests/app/run_files.h"
#include "tests/app/signal_recorder.h"
#include "tests/support/service_fixture.h"

namespace draftwell::test {
namespace {

using ServicePacketTest = ServiceFixture;
using ServiceResetTest = ServiceFixture;

class SessionDataTest : public ServiceFixture {
  protected:
    // Completes laps 1..n, oldest first, with the given (use, cdA, cal).
    struct Lap {
        bool use;
        double cdA;
        double cal;
    };
    void addLaps(std::initializer_list<Lap> laps) {
        int number = 1;
        for (const Lap& l : laps) {
            LapFigures f;
            f.lap = number++;
            f.cdA = l.cdA;
            f.cal = l.cal;
            completeLap(f);
        }
        // Flags are changed by the views after the laps arrived.
        const auto& all = service->allLapData();
        std::size_t i = all.size();
        for (const Lap& l : laps) {
            all[--i]->use = l.use;
        }
        service->updateSessionData();
    }
    const LapData& oldest(std::size_t k) const {
        const auto& all = service->allLapData();
        return *all[all.size() - 1 - k];
    }
};

TEST_F(ServicePacketTest, PagesUpdateTheLapProgress) {
    auto& s = makeService();
    LapFigures f;
    f.lap = 7;
    SignalRecorder recorder(s);
    sendPacket(page0(f));
    EXPECT_EQ(s.currentLapNumber(), "7");
    EXPECT_EQ(s.packetProgress(), "1/3");
    EXPECT_EQ(s.lapStatus(), "Invalid");
    EXPECT_FALSE(s.lapComplete());
    EXPECT_EQ(s.completedLapCount(), 0);
    EXPECT_EQ(recorder.emitted(),
              (QStringList{"currentLapNumberChanged", "packetProgressChanged", "lapStatusChanged",
                           "lapCompleteChanged", "completedLapCountChanged", "ridersChanged",
                           "followedRiderChanged"}));
    sendPacket(page1(f));
    EXPECT_EQ(s.lapStatus(), "Valid");
    EXPECT_EQ(s.packetProgress(), "2/3");
    EXPECT_TRUE(s.allLapData().empty());
}

TEST_F(ServicePacketTest, ThirdPagePublishesTheCompletedLap) {
    auto& s = makeService();
    LapFigures f;
    f.lap = 3;
    f.cdA = 0.3;
    f.cal = 1.2;
    sendPacket(page0(f));
    sendPacket(page1(f));
    SignalRecorder recorder(s);
    sendPacket(page2(f));
    EXPECT_TRUE(s.lapComplete());
    EXPECT_EQ(s.completedLapCount(), 1);
    ASSERT_EQ(s.allLapData().size(), 1u);
    EXPECT_EQ(s.allLapData()[0], s.lapAssembly().completedLaps()[0]); // the same object
    EXPECT_EQ(s.lastCompletedLap(),
              QString::fromStdString(LapAssemblyEngine::lapMessage(*s.allLapData()[0])));
    EXPECT_TRUE(s.lastCompletedLap().startsWith("Lap 3 complete CdA 0.3000 Cal 1.2000"));
    EXPECT_NEAR(s.allLapData()[0]->cdACal, 0.25, 1e-12);
    EXPECT_EQ(s.sessionSummary().lap, 1);
    EXPECT_EQ(recorder.count("allLapDataChanged"), 2); // published, then redrawn after calibration
    EXPECT_EQ(recorder.count("sessionDataChanged"), 1);
    EXPECT_TRUE(s.logs().isEmpty()); // the lap message is not a log line
}

TEST_F(ServicePacketTest, PayloadsThatDecodeToNothingChangeNothing) {
    auto& s = makeService();
    completeLap(LapFigures{});
    SignalRecorder recorder(s);
    sendPacket(QByteArray(7, '\0'));
    sendPacket(QByteArray());
    sendPacket(QByteArray::fromHex("C1FFFFFFFFFFFFFF")); // page 3
    EXPECT_TRUE(recorder.emitted().isEmpty()) << recorder.emitted().join(",").toStdString();
    EXPECT_EQ(s.packetProgress(), "3/3");
}

TEST_F(ServicePacketTest, DeviceNumberIsNotNeeded) {
    auto& s = makeService();
    bridge->packetHandler(page0(LapFigures{}), std::nullopt);
    EXPECT_EQ(s.packetProgress(), "1/3");
}

TEST_F(ServiceResetTest, ResetForgetsLapsButKeepsTheCurrentLap) {
    auto& s = makeService();
    LapFigures f;
    f.lap = 1;
    completeLap(f);
    f.lap = 2;
    completeLap(f);
    ASSERT_EQ(s.allLapData().size(), 2u);

    s.resetLaps();
    EXPECT_TRUE(s.allLapData().empty());
    EXPECT_EQ(s.lastCompletedLap(), "-");
    EXPECT_EQ(s.completedLapCount(), 0);
    EXPECT_EQ(s.currentLapNumber(), "2");
    EXPECT_TRUE(s.lapComplete());
    EXPECT_EQ(s.sessionSummary().lap, 0);

    completeLap(f); // lap 2 repeated: not added again
    EXPECT_TRUE(s.allLapData().empty());
    f.lap = 3;
    completeLap(f);
    ASSERT_EQ(s.allLapData().size(), 1u);
    EXPECT_EQ(s.allLapData()[0]->lap, 3);
    EXPECT_EQ(s.completedLapCount(), 1);
}

TEST_F(SessionDataTest, StartsWithOneZeroRecord) {
    auto& s = makeService();
    ASSERT_EQ(s.sessionData().size(), 1u);
    const LapData& r = s.sessionSummary();
    EXPECT_EQ(r.lap, 0);
    EXPECT_EQ(r.cdA, 0);
    EXPECT_EQ(r.cal, 0);
    EXPECT_EQ(r.cdACal, 0);
    EXPECT_EQ(r.speed, 0);
    EXPECT_FALSE(r.use);
}

TEST_F(SessionDataTest, CalibrationAveragesTheOldestSelectedLaps) {
    makeService().setCalLapCount(2);
    addLaps({{true, 0.300, 1.02}, {true, 0.310, 0.98}, {false, 0.290, 1.10}, {true, 0.305, 1.05}});
    const LapData& r = service->sessionSummary();
    EXPECT_EQ(r.lap, 3);
    EXPECT_NEAR(r.cdA, 0.305, 1e-9);
    EXPECT_NEAR(r.cal, 1.00, 1e-9);
    EXPECT_NEAR(r.cdACal, 0.305, 1e-9);
    EXPECT_FALSE(r.use);
    EXPECT_TRUE(r.pageState.isEmpty());
    for (std::size_t k = 0; k < 4; ++k) {
        EXPECT_NEAR(oldest(k).cdACal, oldest(k).cdA / 1.00, 1e-9) << k; // the unselected lap too
    }
}

TEST_F(SessionDataTest, OtherAveragesCoverEverySelectedLap) {
    auto& s = makeService();
    LapFigures a;
    a.lap = 1;
    a.lapTime = 60;
    a.dist = 500;
    a.head = 80;
    a.chest = 100;
    a.riderPwr = 200;
    LapFigures b = a;
    b.lap = 2;
    b.lapTime = 40;
    b.dist = 400;
    b.head = 90;
    b.chest = 120;
    b.riderPwr = 300;
    completeLap(a);
    completeLap(b);
    const LapData& r = s.sessionSummary();
    EXPECT_NEAR(r.lapTime, 50, 1e-9);
    EXPECT_NEAR(r.dist, 450, 1e-9);
    EXPECT_NEAR(r.head, 85, 1e-9);
    EXPECT_NEAR(r.chest, 110, 1e-9);
    EXPECT_NEAR(r.riderPwr, 250, 1e-9);
    // Mean of the lap speeds (30 and 36 km/h), not total distance over total time.
    EXPECT_NEAR(r.speed.value_or(0), 33, 1e-9);
}

TEST_F(SessionDataTest, AutoCalOffUsesTheRawCdA) {
    makeService().setAutoCal(false);
    addLaps({{true, 0.300, 1.5}, {true, 0.310, 0.5}});
    EXPECT_EQ(oldest(0).cdACal, oldest(0).cdA);
    EXPECT_EQ(oldest(1).cdACal, oldest(1).cdA);
    EXPECT_EQ(service->sessionSummary().cdACal, service->sessionSummary().cdA);
    EXPECT_NEAR(service->sessionSummary().cal, 1.0, 1e-9);
}

// The run file's rows, oldest lap first, split into their fields.
QList<QStringList> runRows(const QString& folder) {
    const QStringList lines = QString::fromUtf8(readFile(QDir(folder).filePath("Run_001.csv"))).split('\n');
    QList<QStringList> rows;
    for (qsizetype i = 3; i < lines.size(); ++i) {
        if (!lines[i].isEmpty()) {
            rows << lines[i].split(',');
        }
    }
    return rows;
}

TEST_F(SessionDataTest, AutoCalOffWithNoLapTickedStillUsesTheRawCdA) {
    auto& s = makeService();
    s.startLogging(false);
    addLaps({{false, 0.300, 1.2}, {false, 0.310, 1.2}});
    ASSERT_NE(oldest(0).cdACal, oldest(0).cdA); // calibrated while the laps were still ticked
    s.setAutoCal(false);
    s.stopLogging();
    EXPECT_EQ(s.sessionSummary().lap, 0);
    const QList<QStringList> rows = runRows(defaultFolder());
    ASSERT_EQ(rows.size(), 2);
    for (std::size_t k = 0; k < 2; ++k) {
        EXPECT_EQ(oldest(k).cdACal, oldest(k).cdA) << k;
        EXPECT_EQ(rows[k][2], rows[k][4]) << k; // CdACal, CdARaw
    }
}

TEST_F(SessionDataTest, LapWithoutTimeHasNoSpeedAndStaysOutOfTheMean) {
    auto& s = makeService();
    s.startLogging(false);
    LapFigures f;
    f.lapTime = 0;
    completeLap(f);
    EXPECT_EQ(s.lastCompletedLap(),
              QStringLiteral("Lap 1 complete CdA 0.3000 Cal 1.0000 Time 0.000s Dist 500.0 "
                             "Speed – RiderPwr 250.0 Head 90.0 Chest 100.0"));
    EXPECT_FALSE(oldest(0).speed.has_value());
    f.lap = 2;
    f.lapTime = 60;
    completeLap(f);
    EXPECT_EQ(s.sessionSummary().lap, 2);
    EXPECT_NEAR(s.sessionSummary().speed.value_or(0), 30.0, 1e-9); // the timed lap's 500 m in 60 s
    s.stopLogging();
    const QList<QStringList> rows = runRows(defaultFolder());
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0][7], QString());
    EXPECT_EQ(rows[1][7], QStringLiteral("30.000"));
}

TEST_F(SessionDataTest, CountAboveTheSelectedLapsUsesThemAll) {
    makeService().setCalLapCount(10);
    addLaps({{true, 0.3, 1.0}, {true, 0.3, 1.1}, {true, 0.3, 1.2}});
    EXPECT_NEAR(service->sessionSummary().cal, 1.1, 1e-9);
}

TEST_F(SessionDataTest, DeselectingTheOldestMovesTheWindow) {
    makeService().setCalLapCount(1);
    addLaps({{true, 0.3, 1.0}, {true, 0.3, 1.2}, {true, 0.3, 1.4}});
    EXPECT_NEAR(service->sessionSummary().cal, 1.0, 1e-9);
    service->allLapData().back()->use = false;
    service->updateSessionData();
    EXPECT_NEAR(service->sessionSummary().cal, 1.2, 1e-9);
    EXPECT_NEAR(oldest(0).cdACal, 0.25, 1e-9);
}

TEST_F(SessionDataTest, NoSelectedLapResetsTheSummaryAndKeepsLapValues) {
    makeService();
    addLaps({{true, 0.3, 1.2}, {true, 0.36, 1.2}});
    const double before0 = oldest(0).cdACal;
    const double before1 = oldest(1).cdACal;
    EXPECT_NEAR(before0, 0.25, 1e-9);
    for (const auto& lap : service->allLapData()) {
        lap->use = false;
    }
    SignalRecorder recorder(*service);
    service->updateSessionData();
    EXPECT_EQ(service->sessionSummary().lap, 0);
    EXPECT_EQ(service->sessionSummary().cdA, 0);
    EXPECT_EQ(oldest(0).cdACal, before0);
    EXPECT_EQ(oldest(1).cdACal, before1);
    EXPECT_EQ(recorder.count("sessionDataChanged"), 1);
    EXPECT_EQ(recorder.count("allLapDataChanged"), 1);
}

TEST_F(SessionDataTest, ZeroAverageFactorGivesZeroNotInfinity) {
    makeService().setCalLapCount(0);
    addLaps({{true, 0.3, 1.2}, {true, 0.36, 1.0}});
    for (std::size_t k = 0; k < 2; ++k) {
        EXPECT_EQ(oldest(k).cdACal, 0) << k;
    }
    EXPECT_EQ(service->sessionSummary().cal, 0);
    EXPECT_EQ(service->sessionSummary().cdACal, 0);
    EXPECT_NEAR(service->sessionSummary().cdA, 0.33, 1e-9);

    // Laps that broadcast a factor of 0 behave the same.
    service->setCalLapCount(5);
    service->resetLaps();
    addLaps({{true, 0.3, 0.0}});
    EXPECT_EQ(service->allLapData()[0]->cdACal, 0);
    EXPECT_TRUE(std::isfinite(service->sessionSummary().cdACal));
}

TEST_F(SessionDataTest, UnchangedSettingsDoNotRecompute) {
    auto& s = makeService();
    addLaps({{true, 0.3, 1.0}});
    SignalRecorder recorder(s);
    s.setCalLapCount(5);
    s.setAutoCal(true);
    EXPECT_TRUE(recorder.emitted().isEmpty());
    EXPECT_FALSE(stored(".calLapCount").isValid());

    s.setCalLapCount(3);
    EXPECT_EQ(s.calLapCount(), 3);
    EXPECT_EQ(stored(".calLapCount").toLongLong(), 3);
    EXPECT_EQ(recorder.count("calLapCountChanged"), 1);
    EXPECT_EQ(recorder.count("sessionDataChanged"), 1);

    s.setAutoCal(false);
    EXPECT_FALSE(stored(".autoCal").toBool());
    EXPECT_EQ(recorder.count("sessionDataChanged"), 2);
}

TEST_F(SessionDataTest, NegativeCountIsStoredAsZero) {
    auto& s = makeService();
    s.setCalLapCount(-4);
    EXPECT_EQ(s.calLapCount(), 0);
    EXPECT_EQ(stored(".calLapCount").toLongLong(), 0);
}

} // namespace
} // namespace draftwell::test
