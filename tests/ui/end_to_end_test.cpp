#include "ant/usb/usb_device_kind.h"
#include "app/ant_scanner_service.h"
#include "bridge/ant_scanner_bridge.h"
#include "bridge/scanner_device_setup.h"
#include "bridge/scanner_program_options.h"
#include "sim/sim_device_kind.h"
#include "tests/ui/ui_test_support.h"
#include "ui/app_version.h"
#include "ui/content_view.h"
#include "ui/lap_data_popout_view.h"
#include "ui/lap_data_table.h"
#include "ui/lap_logger_app.h"
#include "ui/lap_table_model.h"
#include "ui/main_window.h"
#include "ui/popout_metric_tile.h"
#include "ui/rider_selector.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace draftwell::test {
namespace {

// The simulated Garmin finishes a lap every few seconds.
constexpr int kLapWaitMs = 30000;

QByteArrayList readLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll().split('\n');
}

TEST(EndToEndTest, SimulatedLapsReachTheTableAndStopLoggingWritesTheRun) {
    QTemporaryDir settingsDir;
    QTemporaryDir logDir;
    isolateSettings(settingsDir.path());
    ScannerProgramOptions options;
    options.simulate = true;
    const ScannerDeviceSetup devices(options);
    LapLoggerApp shell(std::make_unique<ANTScannerBridge>(options.networkKey));
    shell.start();
    ANTScannerService& service = shell.service();
    service.setLogFolderPath(logDir.path());
    ContentView& view = *shell.mainWindow()->content();
    LapTableModel& laps = *view.lapTable()->lapModel();

    QTest::mouseClick(view.openCloseButton(), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return view.openCloseButton()->text() == "Close"; }, 15000));
    ASSERT_TRUE(waitUntil([&] { return laps.rowCount() >= 1; }, kLapWaitMs));

    QTest::mouseClick(view.loggingButton(), Qt::LeftButton);
    ASSERT_NE(view.resetQuestion(), nullptr);
    for (QAbstractButton* b : view.resetQuestion()->buttons()) {
        if (b->text() == "No") {
            b->click();
        }
    }
    ASSERT_TRUE(service.isLogging());
    const int before = laps.rowCount();
    ASSERT_TRUE(waitUntil([&] { return laps.rowCount() > before; }, kLapWaitMs));

    QTest::mouseClick(view.loggingButton(), Qt::LeftButton);
    EXPECT_FALSE(service.isLogging());
    const QByteArrayList lines = readLines(QDir(logDir.path()).filePath(QStringLiteral("Run_001.csv")));
    // Start time, description, header, one row per lap, final line feed.
    EXPECT_EQ(lines.size(), 3 + laps.rowCount() + 1);

    QTest::mouseClick(view.openCloseButton(), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return !service.isOpen() && view.openCloseButton()->isEnabled(); }, 15000));
}

TEST(EndToEndTest, TwoSimulatedGarminsAreKeptApartAndTheRiderSelectorSwitchesBetweenThem) {
    using namespace std::chrono_literals;
    QTemporaryDir settingsDir;
    isolateSettings(settingsDir.path());
    antsim::Scenario scenario;
    scenario.transmitters = 2;
    scenario.broadcastPeriod = 100ms;
    scenario.lapInterval = 1500ms;
    scenario.lapIntervalStep = 500ms;
    scenario.firstLapStep = 20;
    const std::vector<USBDeviceKind> previousKinds = GetUSBDeviceKinds();
    SetUSBDeviceKinds({antsim::simDeviceKind(scenario)});
    struct RestoreKinds {
        const std::vector<USBDeviceKind>& kinds;
        ~RestoreKinds() { SetUSBDeviceKinds(kinds); }
    } restore{previousKinds};

    LapLoggerApp shell(std::make_unique<ANTScannerBridge>(kDefaultANTNetworkKey));
    shell.start();
    ANTScannerService& service = shell.service();
    ContentView& view = *shell.mainWindow()->content();
    QComboBox& riders = *view.riderSelector()->riderBox();
    const auto lapsOf = [&](std::uint16_t rider) {
        const RiderLane* lane = service.riderLanes().find(rider);
        return lane ? lane->assembly.completedLaps().size() : 0U;
    };
    QTest::mouseClick(view.openCloseButton(), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return lapsOf(12345) >= 1 && lapsOf(12346) >= 1; }, kLapWaitMs));
    ASSERT_EQ(riders.count(), 2);
    EXPECT_EQ(riders.itemText(0), "12345");
    EXPECT_EQ(riders.itemText(1), "12346");
    EXPECT_EQ(riders.currentIndex(), 0);
    // The second Garmin counts its laps from 21.
    for (const auto& lap : service.allLapData()) {
        EXPECT_LT(lap->lap, 21);
    }

    shell.openWindow(QString::fromLatin1(kLapDataWindowID));
    ASSERT_NE(shell.popout(), nullptr);
    riders.setCurrentIndex(1);
    EXPECT_EQ(service.followedRider(), std::optional<RiderKey>(12346));
    view.refreshNow();
    shell.popout()->refreshNow();
    EXPECT_EQ(shell.popout()->lapTile()->value(), QString::number(service.allLapData().front()->lap));
    EXPECT_EQ(view.lapTable()->lapModel()->rowCount(), static_cast<int>(lapsOf(12346)));
    EXPECT_GE(service.allLapData().front()->lap, 21);
    EXPECT_EQ(service.sessionSummary().lap, static_cast<qint64>(lapsOf(12346)));

    QLineEdit& name = *view.riderSelector()->nameField();
    QTest::keyClicks(&name, QStringLiteral("Ben"));
    QTest::keyClick(&name, Qt::Key_Return);
    EXPECT_EQ(riders.itemText(1), "12346 Ben");
    EXPECT_EQ(riders.currentIndex(), 1);

    QTest::mouseClick(view.openCloseButton(), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return !service.isOpen() && view.openCloseButton()->isEnabled(); }, 15000));
}

class ProgramTest : public ::testing::Test {
  protected:
    ProgramTest() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), QDir(home.path()).filePath(QStringLiteral(".config")));
        env.remove(QStringLiteral("XDG_DOCUMENTS_DIR"));
        program.setProcessEnvironment(env);
        program.setProgram(QStringLiteral(LAP_LOGGER_PATH));
    }

    QTemporaryDir home;
    QProcess program;
};

TEST_F(ProgramTest, PrintsItsVersionWithoutADisplay) {
    QProcessEnvironment env = program.processEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    program.setProcessEnvironment(env);
    program.setArguments({QStringLiteral("--version")});
    program.start();
    ASSERT_TRUE(program.waitForFinished(30000));
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_TRUE(program.readAllStandardOutput().contains(AppVersion::current().toUtf8()));
}

TEST_F(ProgramTest, RunsWithTheVirtualStickAndWritesTheRunAtQuit) {
    const QString pictures = QDir(home.path()).filePath(QStringLiteral("pictures"));
    program.setArguments({QStringLiteral("--simulate"), QStringLiteral("--screenshot"), pictures});
    program.start();
    ASSERT_TRUE(program.waitForFinished(120000)) << program.readAllStandardError().toStdString();
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();

    const QImage main(QDir(pictures).filePath(QStringLiteral("main_window.png")));
    const QImage popout(QDir(pictures).filePath(QStringLiteral("lap_data_popout.png")));
    EXPECT_GE(main.width(), 1080);
    EXPECT_GE(main.height(), 760);
    EXPECT_EQ(popout.size(), QSize(820, 420));
    // The tour leaves logging on; quitting must still write the run.
    const QString run =
        QDir(home.path()).filePath(QStringLiteral("Documents/Draftwell Lap Logger/Run_001.csv"));
    EXPECT_GE(readLines(run).size(), 3 + 4 + 1) << run.toStdString();
}

TEST_F(ProgramTest, TerminationSignalStillWritesTheOpenRun) {
    const QString pictures = QDir(home.path()).filePath(QStringLiteral("pictures"));
    const QString run =
        QDir(home.path()).filePath(QStringLiteral("Documents/Draftwell Lap Logger/Run_001.csv"));
    program.setArguments({QStringLiteral("--simulate"), QStringLiteral("--screenshot"), pictures});
    program.start();
    ASSERT_TRUE(program.waitForStarted(30000));
    // The tour starts logging once a few laps are in; end the program then.
    ASSERT_TRUE(
        waitUntil([&] { return QFile::exists(run) || program.state() == QProcess::NotRunning; }, 90000));
    program.terminate();
    ASSERT_TRUE(program.waitForFinished(30000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
    const QByteArrayList lines = readLines(run);
    EXPECT_GE(lines.size(), 3 + 4 + 1);
    EXPECT_TRUE(lines.value(1).startsWith("Description: "));
}

} // namespace
} // namespace draftwell::test
