// The headless logger's run with the service and a scripted bridge.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>

#include "app/ant_scanner_service.h"
#include "bridge/program_identity.h"
#include "cli/headless_logger.h"
#include "cli/observed_scanner_bridge.h"
#include "tests/cli/fake_scanner_bridge.h"

namespace draftwell::test {
namespace {

class HeadlessLoggerTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // Keeps the settings of these runs away from the user's. One folder for
        // the whole process: QSettings resolves its location only once.
        configDir = new QTemporaryDir;
        qputenv("XDG_CONFIG_HOME", configDir->path().toUtf8());
        applyProgramIdentity(); // without an organisation QSettings refuses to read
    }
    static void TearDownTestSuite() {
        delete configDir;
        configDir = nullptr;
    }

    void SetUp() override {
        ASSERT_TRUE(configDir->isValid());
        QSettings().clear();
        ASSERT_TRUE(outputDir.isValid());
        auto fakeBridge = std::make_unique<FakeScannerBridge>();
        fake = fakeBridge.get();
        auto observedBridge = std::make_unique<ObservedScannerBridge>(std::move(fakeBridge));
        observed = observedBridge.get();
        service = std::make_unique<ANTScannerService>(std::move(observedBridge));
    }

    void run(CliOptions options) {
        if (!options.outputFolder) {
            options.outputFolder = outputDir.path();
        }
        logger = std::make_unique<HeadlessLogger>(*service, *observed, options,
                                                  [this](const QString& line) { printed << line; });
        QObject::connect(logger.get(), &HeadlessLogger::finished, [this](int code) { exitCode = code; });
        logger->start();
    }

    bool waitForExit() {
        return QTest::qWaitFor([this] { return exitCode.has_value(); }, 10000);
    }
    bool waitForOpen() {
        return QTest::qWaitFor([this] { return service->isOpen() && service->isLogging(); }, 10000);
    }
    long indexOf(const QString& line) const { return static_cast<long>(printed.indexOf(line)); }
    QStringList csvFiles() const {
        return QDir(outputDir.path()).entryList({QStringLiteral("*.csv")}, QDir::Files);
    }
    QString csv(const QString& name) const {
        QFile file(QDir(outputDir.path()).filePath(name));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    static inline QTemporaryDir* configDir = nullptr;
    QTemporaryDir outputDir;
    FakeScannerBridge* fake = nullptr;
    ObservedScannerBridge* observed = nullptr;
    std::unique_ptr<ANTScannerService> service;
    std::unique_ptr<HeadlessLogger> logger;
    QStringList printed;
    std::optional<int> exitCode;
};

TEST_F(HeadlessLoggerTest, FailedOpenPrintsTheServiceLineAndExitsOne) {
    fake->openError = ScannerError{QStringLiteral("com.draftwell.LapLogger.ant"), 1, QStringLiteral("x")};
    run(CliOptions{});
    ASSERT_TRUE(waitForExit());
    EXPECT_EQ(*exitCode, 1);
    EXPECT_EQ(printed, QStringList{QStringLiteral("No ANT device found.\nTry replugging the ANT dongle.")});
    EXPECT_TRUE(csvFiles().isEmpty());
}

TEST_F(HeadlessLoggerTest, StopsAtTheLapCountWritingTheFileThenTheSummaryThenClosing) {
    CliOptions options;
    options.laps = 2;
    options.description = QStringLiteral("Velodrome");
    run(options);
    ASSERT_TRUE(waitForOpen());
    fake->deliverLap(1);
    EXPECT_FALSE(exitCode.has_value());
    fake->deliverLap(2);
    ASSERT_TRUE(waitForExit());
    EXPECT_EQ(*exitCode, 0);
    EXPECT_EQ(fake->closes, 1);

    const long opened = indexOf(QStringLiteral("Opened log file."));
    const long closedFile = indexOf(QStringLiteral("Closed log file."));
    const long channelClosed = indexOf(QStringLiteral("ANT Channel closed"));
    long summary = -1;
    long laps = 0;
    for (long i = 0; i < printed.size(); ++i) {
        summary = printed[i].startsWith(QStringLiteral("Session summary: Laps 2  CdACal ")) ? i : summary;
        laps += printed[i].startsWith(QStringLiteral("Lap ")) ? 1 : 0;
    }
    EXPECT_EQ(laps, 2);
    ASSERT_GE(opened, 0);
    EXPECT_LT(opened, closedFile);
    EXPECT_LT(closedFile, summary);
    EXPECT_LT(summary, channelClosed);

    ASSERT_EQ(csvFiles(), QStringList{QStringLiteral("Run_001.csv")});
    const QString text = csv(QStringLiteral("Run_001.csv"));
    EXPECT_TRUE(text.contains(QStringLiteral("Velodrome")));
    EXPECT_EQ(text.count(QStringLiteral("\nX,")), 2) << text.toStdString();
}

TEST_F(HeadlessLoggerTest, RiderOptionFollowsOneGarminAndTheSummaryCountsEveryRider) {
    CliOptions options;
    options.laps = 2;
    options.rider = 222;
    run(options);
    ASSERT_TRUE(waitForOpen());
    for (const auto& [lap, device] : {std::pair{1, 111}, {1, 222}, {2, 111}, {3, 111}, {2, 222}}) {
        EXPECT_FALSE(exitCode.has_value());
        fake->deliverLap(lap, static_cast<std::uint16_t>(device));
    }
    ASSERT_TRUE(waitForExit());
    EXPECT_EQ(printed.filter(QRegularExpression(QStringLiteral("^Lap \\d complete"))).size(), 2);
    const long summary = indexOf(QStringLiteral("Rider 111: 3 laps"));
    EXPECT_TRUE(printed.value(summary - 1).startsWith(QStringLiteral("Session summary: Laps 2  CdACal ")));
    EXPECT_EQ(printed.value(summary + 1), QStringLiteral("Rider 222: 2 laps (followed)"));
    EXPECT_EQ(csvFiles(),
              (QStringList{QStringLiteral("Run_001.csv"), QStringLiteral("Run_001_rider-111.csv")}));
    EXPECT_EQ(csv(QStringLiteral("Run_001.csv")).count(QStringLiteral("\nX,")), 2);
    EXPECT_EQ(csv(QStringLiteral("Run_001_rider-111.csv")).count(QStringLiteral("\nX,")), 3);
}

TEST_F(HeadlessLoggerTest, NoLogWritesNoFile) {
    CliOptions options;
    options.laps = 1;
    options.noLog = true;
    run(options);
    ASSERT_TRUE(QTest::qWaitFor([this] { return service->isOpen(); }, 10000));
    fake->deliverLap(1);
    ASSERT_TRUE(waitForExit());
    EXPECT_EQ(*exitCode, 0);
    EXPECT_TRUE(csvFiles().isEmpty());
    EXPECT_FALSE(service->isLogging());
}

TEST_F(HeadlessLoggerTest, LostStickKeepsTheLapsAndExitsOne) {
    run(CliOptions{});
    ASSERT_TRUE(waitForOpen());
    fake->deliverLap(1);
    fake->unplug();
    ASSERT_TRUE(waitForExit());
    EXPECT_EQ(*exitCode, 1);
    ASSERT_EQ(csvFiles().size(), 1);
    EXPECT_EQ(csv(csvFiles().front()).count(QStringLiteral("\nX,")), 1);
    EXPECT_GE(indexOf(QStringLiteral("ANT device removed.")), 0);
}

TEST_F(HeadlessLoggerTest, ReceivedDataLinesArePrintedUnchangedOnlyWithVerbose) {
    const QString rx = QStringLiteral("RX [01] [02] [03] [04] [05] [06] [07] [08]");
    CliOptions options;
    options.verbose = true;
    run(options);
    ASSERT_TRUE(waitForOpen());
    fake->deliverLog(rx);
    EXPECT_GE(indexOf(rx), 0);

    // A second service and logger on the same bridge, without --verbose.
    printed.clear();
    logger.reset();
    CliOptions quiet;
    run(quiet);
    fake->deliverLog(rx);
    EXPECT_LT(indexOf(rx), 0);
}

TEST_F(HeadlessLoggerTest, DurationEndsTheRun) {
    CliOptions options;
    options.durationSeconds = 0.3;
    run(options);
    ASSERT_TRUE(waitForExit());
    EXPECT_EQ(*exitCode, 0);
    EXPECT_EQ(fake->closes, 1);
}

TEST_F(HeadlessLoggerTest, SettingsOptionsReachTheService) {
    CliOptions options;
    options.delimiter = CSVDelimiterOption::semicolon;
    options.calLaps = 3;
    options.autoCal = false;
    options.description = QStringLiteral("Aero test");
    run(options);
    EXPECT_EQ(service->csvDelimiter(), QStringLiteral(";"));
    EXPECT_EQ(service->calLapCount(), 3);
    EXPECT_FALSE(service->autoCal());
    EXPECT_EQ(service->logDescription(), QStringLiteral("Aero test"));
    EXPECT_EQ(service->logFolderPath(), outputDir.path());
}

TEST_F(HeadlessLoggerTest, LapLinesCarryTheirDoubtsAndTheWarnings) {
    CliOptions options;
    options.laps = 8;
    run(options);
    ASSERT_TRUE(waitForOpen());
    const double cdA[] = {0.200, 0.201, 0.199, 0.200, 0.230, 0.202, 0.224, 0.232};
    for (int lap = 1; lap <= 8; ++lap) {
        fake->deliverLap(lap, cdA[lap - 1]);
    }
    ASSERT_TRUE(waitForExit());
    const QStringList lapLines = printed.filter(QRegularExpression(QStringLiteral("^Lap \\d")));
    ASSERT_EQ(lapLines.size(), 8);
    // Nothing to say: the line is the lap message alone.
    for (int i : {0, 3, 5}) {
        EXPECT_TRUE(lapLines[i].endsWith(QStringLiteral(" Head 90.0 Chest 95.0")))
            << lapLines[i].toStdString();
    }
    EXPECT_TRUE(lapLines[4].endsWith(QStringLiteral("  Doubtful lap: CdA z +20.23")))
        << lapLines[4].toStdString();
    EXPECT_TRUE(lapLines[7].contains(QStringLiteral("  Doubtful lap: CdA z +"))) << lapLines[7].toStdString();
    EXPECT_TRUE(lapLines[7].contains(QStringLiteral("  Warning: CdA drifting: +")))
        << lapLines[7].toStdString();
}

} // namespace
} // namespace draftwell::test
