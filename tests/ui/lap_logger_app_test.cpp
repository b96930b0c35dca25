#include "tests/support/scripted_scanner_bridge.h"
#include "tests/ui/ui_test.h"

#include <QAction>
#include <QMenuBar>

namespace draftwell::test {
namespace {

template <typename Window> int countOpen() {
    int count = 0;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        count += qobject_cast<Window*>(w) && w->isVisible() ? 1 : 0;
    }
    return count;
}

class LapLoggerAppTest : public IsolatedEnvironment {
  protected:
    void SetUp() override {
        IsolatedEnvironment::SetUp();
        shell = std::make_unique<LapLoggerApp>(std::make_unique<ScriptedScannerBridge>(bridge));
        shell->start();
    }
    void TearDown() override {
        shell.reset();
        IsolatedEnvironment::TearDown();
    }

    QAction* fileMenuItem(const QString& text) {
        for (QAction* item : shell->mainWindow()->menuBar()->actions().front()->menu()->actions()) {
            if (item->text() == text) {
                return item;
            }
        }
        return nullptr;
    }
    static QByteArrayList runFile(const QString& folder) {
        QFile file(QDir(folder).filePath("Run_001.csv"));
        return file.open(QIODevice::ReadOnly) ? file.readAll().split('\n') : QByteArrayList{};
    }

    std::shared_ptr<ScriptedScannerBridge::State> bridge = std::make_shared<ScriptedScannerBridge::State>();
    std::unique_ptr<LapLoggerApp> shell;
};

TEST_F(LapLoggerAppTest, MainWindowCarriesTheVersionInItsTitle) {
    ASSERT_NE(shell->mainWindow(), nullptr);
    EXPECT_EQ(shell->mainWindow()->windowTitle(), "Draftwell Lap Logger V" + AppVersion::current());
    EXPECT_EQ(MainWindow::titleFor(AppVersion::orDefault(QString())), "Draftwell Lap Logger V1.0");
    EXPECT_EQ(AppVersion::orDefault("  "), "1.0");
    EXPECT_EQ(AppVersion::orDefault("2.3"), "2.3");
    EXPECT_EQ(shell->mainWindow()->content()->size().expandedTo(QSize(1280, 860)), QSize(1280, 860));
    EXPECT_EQ(shell->mainWindow()->content()->minimumSize(), QSize(1080, 760));
}

// Each entry opens its window once, however often it is chosen; a closed window opens afresh.
TEST_F(LapLoggerAppTest, FileMenuOpensSingleWindowsWithoutShortcuts) {
    const struct {
        const char* entry;
        std::function<QWidget*()> window;
        std::function<int()> count;
        const char* title;
    } rows[] = {
        {"Open Popout", [&] { return shell->popout(); }, countOpen<LapDataPopoutView>, "Lap Data"},
        {"Settings...", [&] { return shell->settings(); }, countOpen<SettingsWindow>, "Application Settings"},
        {"Compare Configurations...", [&] { return shell->comparison(); }, countOpen<ComparisonWindow>,
         "Compare Configurations"},
    };
    for (const auto& row : rows) {
        QAction* entry = fileMenuItem(row.entry);
        ASSERT_NE(entry, nullptr) << row.entry;
        EXPECT_TRUE(entry->shortcut().isEmpty());
        entry->trigger();
        entry->trigger();
        EXPECT_EQ(row.count(), 1) << row.entry;
        ASSERT_NE(row.window(), nullptr);
        EXPECT_EQ(row.window()->windowTitle(), row.title);
    }
    QTest::mouseClick(shell->mainWindow()->content()->popoutButton(), Qt::LeftButton);
    EXPECT_EQ(countOpen<LapDataPopoutView>(), 1);
    EXPECT_EQ(shell->popout()->objectName(), "lap-data-popout");
    EXPECT_EQ(shell->popout()->size(), QSize(820, 420));
    shell->popout()->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return shell->popout() == nullptr; }));
    fileMenuItem("Open Popout")->trigger();
    EXPECT_EQ(countOpen<LapDataPopoutView>(), 1);
}

// Termination stops logging, writing the run once, and closes the stick, also when only the popout is left.
TEST_F(LapLoggerAppTest, TerminationWritesTheOpenRunAndClosesTheStick) {
    for (const bool onlyPopout : {false, true}) {
        SCOPED_TRACE(onlyPopout);
        // The old shell goes first: its service lets go of the bridge's handlers.
        shell.reset();
        shell = std::make_unique<LapLoggerApp>(std::make_unique<ScriptedScannerBridge>(bridge));
        const QString folder = root.filePath(onlyPopout ? "popout" : "main");
        ASSERT_TRUE(QDir().mkpath(folder));
        shell->service().setLogFolderPath(folder);
        shell->start();
        bridge->deliverLap({.lap = 1});
        bridge->deliverLap({.lap = 2});
        shell->service().setLogDescription("Quit test");
        shell->service().startLogging(false);
        shell->service().connect();
        ASSERT_FALSE(shell->service().openConButtonEnabled());
        if (onlyPopout) {
            shell->openWindow("lap-data-popout");
            shell->mainWindow()->close();
            ASSERT_TRUE(QTest::qWaitFor([&] { return shell->mainWindow() == nullptr; }));
            EXPECT_EQ(countOpen<LapDataPopoutView>(), 1);
        }
        const int closesBefore = bridge->synchronousCloses;
        shell->terminate();
        EXPECT_FALSE(shell->service().isLogging());
        EXPECT_EQ(bridge->synchronousCloses, closesBefore + 1);
        EXPECT_TRUE(shell->service().openConButtonEnabled());
        const QByteArrayList lines = runFile(folder);
        ASSERT_EQ(lines.size(), 6);
        EXPECT_EQ(lines[1], "Description: Quit test");
        // Once only, whatever else ends the shell afterwards.
        shell.reset();
        EXPECT_EQ(runFile(folder), lines);
    }
}

} // namespace
} // namespace draftwell::test
