#include <gtest/gtest.h>

#include <QDir>

#include "tests/support/run_files.h"
#include "tests/support/service_fixture.h"
#include "tests/support/signal_recorder.h"

namespace draftwell::test {
namespace {

constexpr std::uint16_t kAnna = 12345;
constexpr std::uint16_t kBen = 23456;
constexpr std::uint16_t kCleo = 345;

class ServiceRidersTest : public ServiceFixture {
  protected:
    void SetUp() override {
        ServiceFixture::SetUp();
        folder = root.filePath("runs");
        makeService().setLogFolderPath(folder);
    }

    static std::unique_ptr<ANTScannerService> another() {
        return std::make_unique<ANTScannerService>(quietScannerBridge());
    }

    // A run file without its start time.
    static QByteArray afterLine1(const QString& dir, const QString& name) {
        const QByteArray file = readFile(QDir(dir).filePath(name));
        return file.mid(file.indexOf('\n') + 1);
    }
    QByteArray afterLine1(const QString& name) const { return afterLine1(folder, name); }

    // What a run of this one rider alone writes, start time left out.
    QByteArray singleRiderRun(const RiderLaps& rider) {
        const QString alone = root.filePath(QStringLiteral("alone-%1").arg(++aloneRuns_));
        const auto reference = another();
        reference->setLogFolderPath(alone);
        reference->startLogging(false);
        for (const auto& [deviceNumber, payload] : interleavedPages({rider})) {
            reference->handlePacket(payload, deviceNumber);
        }
        reference->stopLogging();
        service->setLogFolderPath(folder);
        return afterLine1(alone, QStringLiteral("Run_001.csv"));
    }

    QString folder;

  private:
    int aloneRuns_ = 0;
};

TEST_F(ServiceRidersTest, InterleavedRidersEachGetTheirOwnLapsAndFile) {
    const struct {
        const char* name;
        std::vector<RiderLaps> riders;
    } cases[] = {
        {"same lap numbers", {{kAnna, lapsFrom(1, 3, 0.30, 90)}, {kBen, lapsFrom(1, 3, 0.25, 70)}}},
        {"a third rider mid-run",
         {{kAnna, lapsFrom(1, 4, 0.30, 90)},
          {kBen, lapsFrom(1, 4, 0.25, 70)},
          {kCleo, lapsFrom(1, 2, 0.35, 80), 5}}},
        {"pages without a device number",
         {{std::nullopt, lapsFrom(1, 3, 0.30, 90)}, {kBen, lapsFrom(1, 3, 0.25, 70)}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(folder).removeRecursively();
        makeService().setLogFolderPath(folder);
        service->startLogging(false);
        sendPages(interleavedPages(c.riders));
        // The first rider heard is followed; every lane keeps its own laps.
        EXPECT_EQ(service->followedRider(), std::optional<RiderKey>(c.riders.front().deviceNumber));
        EXPECT_EQ(service->completedLapCount(), static_cast<qint64>(c.riders.front().laps.size()));
        EXPECT_EQ(service->sessionSummary().lap, static_cast<qint64>(c.riders.front().laps.size()));
        std::vector<RiderKey> heard;
        for (const RiderLaps& r : c.riders) {
            heard.push_back(r.deviceNumber);
            EXPECT_EQ(service->riderLanes().find(r.deviceNumber)->assembly.completedLaps().size(),
                      r.laps.size());
        }
        EXPECT_EQ(service->riders(), heard);
        service->stopLogging();

        QStringList expectedFiles;
        for (const RiderLaps& r : c.riders) {
            const QString name = &r == &c.riders.front() ? LapCSVLogger::fileNameForRun(1)
                                                         : LapCSVLogger::fileNameForRider(1, r.deviceNumber);
            expectedFiles.append(name);
            EXPECT_EQ(afterLine1(name), singleRiderRun(r)) << name.toStdString();
        }
        expectedFiles.sort();
        EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), expectedFiles);
    }
}

// A rider chosen before being heard is covered by the headless logger's --rider test.
TEST_F(ServiceRidersTest, SwitchingTheFollowedRiderShowsTheirLaneAndKeepsTheFiles) {
    const std::vector<RiderLaps> riders{{kAnna, lapsFrom(1, 4, 0.30, 90)}, {kBen, lapsFrom(20, 4, 0.25, 70)}};
    const auto pages = interleavedPages(riders);
    const auto half = pages.begin() + static_cast<std::ptrdiff_t>(pages.size() / 2 + 1);
    service->startLogging(false);
    sendPages({pages.begin(), half});
    SignalRecorder recorder(*service);
    service->setFollowedRider(kBen);
    const LapAssemblyEngine& ben = service->riderLanes().find(kBen)->assembly;
    EXPECT_EQ(recorder.count("followedRiderChanged"), 1);
    EXPECT_EQ(service->allLapData(), ben.completedLaps());
    EXPECT_EQ(service->lastCompletedLap(),
              QString::fromStdString(LapAssemblyEngine::lapMessage(*ben.completedLaps().front())));
    EXPECT_EQ(service->currentLapNumber(), QString::number(ben.currentLapData()->lap));
    EXPECT_EQ(service->packetProgress(), QStringLiteral("%1/3").arg(ben.packetCount()));
    EXPECT_EQ(service->sessionSummary().lap, static_cast<qint64>(ben.completedLaps().size()));
    sendPages({half, pages.end()});
    EXPECT_EQ(service->allLapData().size(), 4U);
    EXPECT_EQ(service->allLapData().front()->lap, 23);
    service->stopLogging();
    // The files keep the riders they were opened for.
    EXPECT_EQ(afterLine1("Run_001.csv"), singleRiderRun(riders[0]));
    EXPECT_EQ(afterLine1("Run_001_rider-23456.csv"), singleRiderRun(riders[1]));
}

// What the lap properties show, to compare a service with one just built.
struct ShownLaps {
    QString currentLapNumber;
    QString packetProgress;
    QString lapStatus;
    bool lapComplete;
    qint64 completedLapCount;
    QString lastCompletedLap;
    std::size_t laps;
    qint64 summaryLaps;
    std::size_t riders;
    std::optional<RiderKey> followed;

    static ShownLaps of(const ANTScannerService& s) {
        return {s.currentLapNumber(),  s.packetProgress(),   s.lapStatus(),         s.lapComplete(),
                s.completedLapCount(), s.lastCompletedLap(), s.allLapData().size(), s.sessionSummary().lap,
                s.riders().size(),     s.followedRider()};
    }
    bool operator==(const ShownLaps&) const = default;
};

TEST_F(ServiceRidersTest, ForgettingRidersStartsTheLapsOverAsAtStartUp) {
    const ShownLaps atStartUp = ShownLaps::of(*service);
    LapFigures unfinished;
    unfinished.lap = 9;
    const struct {
        const char* name;
        std::vector<RiderPage> pages;
        std::optional<RiderKey> chosen;
    } cases[] = {
        {"nobody heard", {}, std::nullopt},
        {"two riders with laps",
         interleavedPages({{kAnna, lapsFrom(1, 2, 0.30, 90)}, {kBen, lapsFrom(1, 1, 0.25, 70)}}),
         std::nullopt},
        {"a lap under way and a rider chosen",
         {{kAnna, page0(unfinished)}, {kAnna, page1(unfinished)}},
         kBen},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        makeService().setLogFolderPath(folder);
        service->setRiderName(kAnna, QStringLiteral("Anna"));
        sendPages(c.pages);
        if (c.chosen) {
            service->setFollowedRider(*c.chosen);
        }
        SignalRecorder recorder(*service);
        ASSERT_TRUE(service->forgetRiders());
        EXPECT_EQ(ShownLaps::of(*service), atStartUp);
        EXPECT_EQ(recorder.count("ridersChanged"), 1);
        EXPECT_EQ(recorder.count("followedRiderChanged"), 1);
        EXPECT_GT(recorder.count("allLapDataChanged"), 0);
        EXPECT_EQ(service->riderName(kAnna), "Anna");
        // The next rider heard is followed, with only the laps heard since.
        sendPages(interleavedPages({{kBen, lapsFrom(4, 1, 0.25, 70)}}));
        EXPECT_EQ(service->riders(), (std::vector<RiderKey>{kBen}));
        EXPECT_EQ(service->followedRider(), std::optional<RiderKey>(kBen));
        ASSERT_EQ(service->allLapData().size(), 1U);
        EXPECT_EQ(service->allLapData().front()->lap, 4);
    }
}

TEST_F(ServiceRidersTest, RidersAreNotForgottenWhileLogging) {
    sendPages(interleavedPages({{kAnna, lapsFrom(1, 1, 0.30, 90)}}));
    service->startLogging(false);
    sendPages(interleavedPages({{kBen, lapsFrom(1, 1, 0.25, 70)}}));
    const ShownLaps before = ShownLaps::of(*service);
    SignalRecorder recorder(*service);
    EXPECT_FALSE(service->forgetRiders());
    EXPECT_EQ(ShownLaps::of(*service), before);
    EXPECT_TRUE(recorder.emitted().isEmpty());
    service->stopLogging();
    EXPECT_EQ(QDir(folder).entryList({"Run_001*"}), (QStringList{"Run_001.csv", "Run_001_rider-23456.csv"}));
    EXPECT_TRUE(service->forgetRiders());
    EXPECT_TRUE(service->riders().empty());
}

TEST_F(ServiceRidersTest, RiderNamesAreRememberedAndSeveralGarminsAreExplained) {
    service->setRiderName(kAnna, QStringLiteral("  Anna "));
    EXPECT_EQ(service->riderLabel(kAnna), "12345 Anna");
    EXPECT_EQ(service->riderLabel(kBen), "23456");
    EXPECT_EQ(service->riderLabel(std::nullopt), "No device number");
    const auto again = another();
    EXPECT_EQ(again->riderName(kAnna), "Anna");
    again->setRiderName(kAnna, QString());
    EXPECT_FALSE(stored(".riderNames").isValid());
    // Names of the wrong kind are reported, not used.
    store(".riderNames", QStringLiteral("Anna"));
    const auto garbled = another();
    EXPECT_EQ(garbled->riderName(kAnna), "");
    EXPECT_EQ(garbled->messageLogs().back(),
              "Setting com.draftwell.LapLogger.riderNames holds \"Anna\", which is not a "
              "list of rider names; no names are used.");

    bridge->statusHandler(true, true, true);
    EXPECT_EQ(service->messageLogs().back(),
              "Each Garmin's laps are kept apart: the rider followed is shown, "
              "and every rider's laps are logged to their own file.");
}

} // namespace
} // namespace draftwell::test
