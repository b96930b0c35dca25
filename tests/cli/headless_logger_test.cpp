// The headless logger's run with the service and a scripted bridge.
#include <gtest/gtest.h>

#include <QDir>
#include <QRegularExpression>
#include <QTest>

#include <memory>
#include <optional>

#include "app/ant_scanner_service.h"
#include "cli/headless_logger.h"
#include "cli/observed_scanner_bridge.h"
#include "tests/support/isolated_environment.h"
#include "tests/support/qstring_printer.h"
#include "tests/support/run_files.h"
#include "tests/support/scripted_scanner_bridge.h"

namespace draftwell::test {
namespace {

CliOptions with(const std::function<void(CliOptions&)>& set) {
    CliOptions options;
    set(options);
    return options;
}

class HeadlessLoggerTest : public IsolatedEnvironment {
  protected:
    void SetUp() override {
        IsolatedEnvironment::SetUp();
        bridge->answerFromEventLoop = true;
        auto observedBridge =
            std::make_unique<ObservedScannerBridge>(std::make_unique<ScriptedScannerBridge>(bridge));
        observed = observedBridge.get();
        service = std::make_unique<ANTScannerService>(std::move(observedBridge));
    }
    void TearDown() override {
        logger.reset();
        service.reset();
        IsolatedEnvironment::TearDown();
    }

    void run(CliOptions options) {
        options.outputFolder = output;
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
    // A run to its end, laps (number, Garmin) arriving once the stick is open, and then the stick going if
    // `unplug`; the exit status, or -1.
    int runToTheEnd(const CliOptions& options, const std::vector<std::pair<int, std::uint16_t>>& laps,
                    bool unplug = false) {
        run(options);
        if (!QTest::qWaitFor([this] { return service->isOpen(); }, 10000)) {
            return -1;
        }
        for (const auto& [lap, device] : laps) {
            EXPECT_FALSE(exitCode.has_value()) << "before lap " << lap;
            bridge->deliverLap({.lap = lap, .cdA = 0.300 + 0.01 * lap}, device);
        }
        if (unplug) {
            bridge->unplug();
        }
        return waitForExit() ? *exitCode : -1;
    }
    QByteArray read(const QString& name) const { return readFile(QDir(output).filePath(name)); }
    // Each run file and its number of laps.
    QMap<QString, qsizetype> runFiles() const {
        QMap<QString, qsizetype> rows;
        for (const QString& name : QDir(output).entryList({"*.csv"}, QDir::Files)) {
            rows[name] = read(name).count("\nX,");
        }
        return rows;
    }

    QString output = root.filePath("runs");
    std::shared_ptr<ScriptedScannerBridge::State> bridge = std::make_shared<ScriptedScannerBridge::State>();
    ObservedScannerBridge* observed = nullptr;
    std::unique_ptr<ANTScannerService> service;
    std::unique_ptr<HeadlessLogger> logger;
    QStringList printed;
    std::optional<int> exitCode;
};

TEST_F(HeadlessLoggerTest, StopsAtTheLapCountWritingTheFileThenTheSummaryThenClosing) {
    EXPECT_EQ(
        runToTheEnd(with([](CliOptions& o) { o.description = "Velodrome", o.laps = 2; }), {{1, 1}, {2, 1}}),
        0);
    EXPECT_EQ(bridge->closeRequests.size(), 1u);
    EXPECT_EQ(printed.filter(QRegularExpression("^Lap ")).size(), 2);
    EXPECT_TRUE(printed.join('\n').contains(
        QRegularExpression("Opened log file.\n[\\s\\S]*\nClosed log file.\n[\\s\\S]*Session summary: "
                           "Laps 2  CdACal [\\s\\S]*\nANT Channel closed")))
        << printed.join('\n').toStdString();
    EXPECT_EQ(runFiles(), (QMap<QString, qsizetype>{{"Run_001.csv", 2}}));
    EXPECT_TRUE(read("Run_001.csv").contains("\nDescription: Velodrome\n"));
}

TEST_F(HeadlessLoggerTest, RiderOptionFollowsOneGarminAndTheSummaryCountsEveryRider) {
    EXPECT_EQ(runToTheEnd(with([](CliOptions& o) { o.laps = 2, o.rider = 222; }),
                          {{1, 111}, {1, 222}, {2, 111}, {3, 111}, {2, 222}}),
              0);
    EXPECT_EQ(printed.filter(QRegularExpression("^Lap \\d complete")).size(), 2);
    EXPECT_TRUE(
        printed.join('\n').contains(QRegularExpression("\nSession summary: Laps 2  CdACal [^\n]*\nRider 111: "
                                                       "3 laps\nRider 222: 2 laps \\(followed\\)(\n|$)")))
        << printed.join('\n').toStdString();
    EXPECT_EQ(runFiles(), (QMap<QString, qsizetype>{{"Run_001.csv", 2}, {"Run_001_rider-111.csv", 3}}));
}

TEST_F(HeadlessLoggerTest, NoLogWritesNoFile) {
    EXPECT_EQ(runToTheEnd(with([](CliOptions& o) { o.laps = 1, o.noLog = true; }), {{1, 1}}), 0);
    EXPECT_TRUE(runFiles().isEmpty());
    EXPECT_FALSE(service->isLogging());
}

TEST_F(HeadlessLoggerTest, LostStickKeepsTheLapsAndExitsOne) {
    EXPECT_EQ(runToTheEnd({}, {{1, 1}}, true), 1);
    EXPECT_EQ(runFiles(), (QMap<QString, qsizetype>{{"Run_001.csv", 1}}));
    EXPECT_TRUE(printed.contains("ANT device removed."));
}

TEST_F(HeadlessLoggerTest, ReceivedDataLinesArePrintedUnchangedOnlyWithVerbose) {
    const QString rx = QStringLiteral("RX [01] [02] [03] [04] [05] [06] [07] [08]");
    run(with([](CliOptions& o) { o.verbose = true; }));
    ASSERT_TRUE(waitForOpen());
    bridge->log(rx);
    EXPECT_TRUE(printed.contains(rx));

    // A second logger on the same service, without --verbose.
    printed.clear();
    logger.reset();
    run(CliOptions{});
    bridge->log(rx);
    EXPECT_FALSE(printed.contains(rx));
}

TEST_F(HeadlessLoggerTest, SettingsOptionsReachTheServiceAndTheDurationEndsTheRun) {
    run(with([](CliOptions& o) {
        o.description = "Aero test", o.delimiter = CSVDelimiterOption::semicolon, o.calLaps = 3;
        o.autoCal = false, o.durationSeconds = 0.3;
    }));
    EXPECT_EQ(service->csvDelimiter(), ";");
    EXPECT_EQ(service->calLapCount(), 3);
    EXPECT_FALSE(service->autoCal());
    EXPECT_EQ(service->logDescription(), "Aero test");
    EXPECT_EQ(service->logFolderPath(), output);
    ASSERT_TRUE(waitForExit());
    EXPECT_EQ(*exitCode, 0);
    EXPECT_EQ(bridge->closeRequests.size(), 1u);
}

TEST_F(HeadlessLoggerTest, LapLinesCarryTheirDoubtsAndTheWarnings) {
    run(with([](CliOptions& o) { o.laps = 8; }));
    ASSERT_TRUE(waitForOpen());
    const double cdA[] = {0.200, 0.201, 0.199, 0.200, 0.230, 0.202, 0.224, 0.232};
    for (int lap = 1; lap <= 8; ++lap) {
        bridge->deliverLap({.lap = lap, .cdA = cdA[lap - 1]});
    }
    ASSERT_TRUE(waitForExit());
    const QStringList lapLines = printed.filter(QRegularExpression("^Lap \\d"));
    ASSERT_EQ(lapLines.size(), 8);
    // Nothing to say: the line is the lap message alone.
    for (int i : {0, 3, 5}) {
        EXPECT_TRUE(lapLines[i].endsWith(" Head 90.0 Chest 100.0")) << lapLines[i].toStdString();
    }
    EXPECT_TRUE(lapLines[4].endsWith("  Doubtful lap: CdA z +20.23")) << lapLines[4].toStdString();
    EXPECT_TRUE(lapLines[7].contains("  Doubtful lap: CdA z +")) << lapLines[7].toStdString();
    EXPECT_TRUE(lapLines[7].contains("  Warning: CdA drifting: +")) << lapLines[7].toStdString();
}

} // namespace
} // namespace draftwell::test
