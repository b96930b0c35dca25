#include "ant/usb/usb_device_kind.h"
#include "bridge/ant_scanner_bridge.h"
#include "sim/sim_device_kind.h"
#include "tests/support/run_files.h"
#include "tests/ui/ui_test.h"
#include "ui/rider_selector.h"

#include <QComboBox>
#include <QProcess>

namespace draftwell::test {
namespace {

// The simulated Garmins finish a lap every few seconds.
constexpr int kLapWaitMs = 30000;

QByteArrayList readLines(const QString& path) {
    return readFile(path).split('\n');
}

using EndToEndTest = IsolatedEnvironment;

// The desktop program in this process on the virtual stick with two Garmins: laps reach the table, kept apart
// by rider; the rider selector switches the windows between them; logging writes the run.
TEST_F(EndToEndTest, TwoSimulatedGarminsAreKeptApartAndTheRunIsWritten) {
    using namespace std::chrono_literals;
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
    service.setLogFolderPath(root.path());
    ContentView& view = *shell.mainWindow()->content();
    LapTableModel& laps = *view.lapTable()->lapModel();
    QComboBox& riders = *view.riderSelector()->riderBox();
    const auto lapsOf = [&](std::uint16_t rider) {
        const RiderLane* lane = service.riderLanes().find(rider);
        return lane ? lane->assembly.completedLaps().size() : 0U;
    };
    QTest::mouseClick(view.openCloseButton(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.openCloseButton()->text() == "Close"; }, 15000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return lapsOf(12345) >= 1 && lapsOf(12346) >= 1; }, kLapWaitMs));
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
    EXPECT_EQ(laps.rowCount(), static_cast<int>(lapsOf(12346)));
    EXPECT_GE(service.allLapData().front()->lap, 21);
    EXPECT_EQ(service.sessionSummary().lap, static_cast<qint64>(lapsOf(12346)));
    QLineEdit& name = *view.riderSelector()->nameField();
    QTest::keyClicks(&name, "Ben");
    QTest::keyClick(&name, Qt::Key_Return);
    EXPECT_EQ(riders.itemText(1), "12346 Ben");
    EXPECT_EQ(riders.currentIndex(), 1);

    QTest::mouseClick(view.loggingButton(), Qt::LeftButton);
    ASSERT_NE(view.resetQuestion(), nullptr);
    for (QAbstractButton* b : view.resetQuestion()->buttons()) {
        if (b->text() == "No") {
            b->click();
        }
    }
    ASSERT_TRUE(service.isLogging());
    const int before = laps.rowCount();
    ASSERT_TRUE(QTest::qWaitFor([&] { return laps.rowCount() > before; }, kLapWaitMs));
    QTest::mouseClick(view.loggingButton(), Qt::LeftButton);
    EXPECT_FALSE(service.isLogging());
    // Start time, description, header, one row per lap, final line feed.
    EXPECT_EQ(readLines(QDir(root.path()).filePath("Run_001.csv")).size(), 3 + laps.rowCount() + 1);

    QTest::mouseClick(view.openCloseButton(), Qt::LeftButton);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !service.isOpen() && view.openCloseButton()->isEnabled(); }, 15000));
}

// The program as its own process, with a home of its own.
class ProgramTest : public ::testing::Test {
  protected:
    ProgramTest() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("HOME", home.path());
        env.insert("XDG_CONFIG_HOME", home.filePath(".config"));
        env.remove("XDG_DOCUMENTS_DIR");
        program.setProcessEnvironment(env);
        program.setProgram(LAP_LOGGER_PATH);
    }
    // Each run in a home of its own under `home`.
    QString useHome(const QString& name) {
        QProcessEnvironment env = program.processEnvironment();
        env.insert("HOME", home.filePath(name));
        env.insert("XDG_CONFIG_HOME", home.filePath(name + "/.config"));
        program.setProcessEnvironment(env);
        return home.filePath(name + "/Documents/Draftwell Lap Logger/Run_001.csv");
    }

    QTemporaryDir home;
    QProcess program;
};

TEST_F(ProgramTest, PrintsItsVersionWithoutADisplay) {
    QProcessEnvironment env = program.processEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        env.remove(name);
    }
    program.setProcessEnvironment(env);
    program.setArguments({"--version"});
    program.start();
    ASSERT_TRUE(program.waitForFinished(30000));
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_TRUE(program.readAllStandardOutput().contains(AppVersion::current().toUtf8()));
}

// The screenshot tour on the virtual stick leaves logging on; quitting at its end, or a termination signal
// once the run is open, must still write the run.
TEST_F(ProgramTest, RunsWithTheVirtualStickAndWritesTheRunAtQuitOrTermination) {
    for (const bool terminate : {false, true}) {
        SCOPED_TRACE(terminate);
        const QString runFile = useHome(terminate ? "terminated" : "quit");
        const QString pictures = home.filePath(terminate ? "terminated/pictures" : "quit/pictures");
        program.setArguments({"--simulate", "--screenshot", pictures});
        program.start();
        if (terminate) {
            ASSERT_TRUE(program.waitForStarted(30000));
            ASSERT_TRUE(QTest::qWaitFor(
                [&] { return QFile::exists(runFile) || program.state() == QProcess::NotRunning; }, 90000));
            program.terminate();
        }
        ASSERT_TRUE(program.waitForFinished(120000)) << program.readAllStandardError().toStdString();
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
        const QByteArrayList lines = readLines(runFile);
        EXPECT_GE(lines.size(), 3 + 4 + 1);
        EXPECT_TRUE(lines.value(1).startsWith("Description: "));
        if (!terminate) {
            EXPECT_GE(QImage(QDir(pictures).filePath("main_window.png")).width(), 1080);
            EXPECT_GE(QImage(QDir(pictures).filePath("main_window.png")).height(), 760);
            EXPECT_EQ(QImage(QDir(pictures).filePath("lap_data_popout.png")).size(), QSize(820, 420));
        }
    }
}

} // namespace
} // namespace draftwell::test
